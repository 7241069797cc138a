// The state file: where it lives, what may go into it, and saving it whole.
#pragma once

#include <pappl/pappl.h>

#include <string>

// The file the server keeps its printers, defaults and jobs in.
void SetStatePath(const std::string &path);
const std::string &StatePath();

// Saves the state now (one save at a time, written beside the file and
// renamed over it, readable by the server's user only), after putting right
// what only PAPPL's unchecked paths (web forms) could have stored: text with
// control characters, media names that are not ours, KT50 defaults out of
// range. True on success.
bool SaveStateNow(pappl_system_t *system);

// Sets a job's state message and keeps it with the state: PAPPL's state
// file has no place for it, and a job that ended before a restart would
// come back without its reason.
void SetJobMessage(pappl_job_t *job, const std::string &message);
// Gives the restored jobs their messages again (after papplSystemLoadState).
void RestoreJobMessages(pappl_system_t *system);

// The last save before the process ends: no save after it can undo what it
// wrote (a job's attribute file removed, say), as every later one waits.
bool SaveFinalState(pappl_system_t *system);

// papplSystemSetSaveCallback's form of SaveStateNow.
bool SaveStateCallback(pappl_system_t *system, void *data);

// Removes spool files no restored job refers to (a job that was being
// received when the server stopped); run after loading the state, before
// clients are served. The number removed.
int RemoveOrphanSpoolFiles(pappl_system_t *system, const std::string &spoolDir);

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

// papplSystemSetSaveCallback's form of SaveStateNow.
bool SaveStateCallback(pappl_system_t *system, void *data);

// Removes spool files no restored job refers to (a job that was being
// received when the server stopped); run after loading the state, before
// clients are served. The number removed.
int RemoveOrphanSpoolFiles(pappl_system_t *system, const std::string &spoolDir);

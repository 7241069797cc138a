// PAPPL 1.3.1 (Debian 12) faults the application works around by taking over
// a few of the library's own functions. libpappl calls each of them through
// its symbol table, so the definitions in pappl_fixes.cpp replace them for the
// library as well; the package depends on exactly this PAPPL version.
//
//   _papplJobProcess           Two threads could start the same job, or two
//                              jobs at once on one printer, and the newest
//                              queued job printed first. Now each printer's
//                              jobs run one at a time, oldest first, each once.
//   papplJobCancel,            A cancel landing between a job's choice and
//   papplPrinterCancelAllJobs  its start listed the job twice as completed.
//   _papplJobCopyDocumentData  Raster was streamed while another job printed
//                              ("busy"), and the failure path locked in an
//                              order that deadlocked against a state save.
//                              Every document is now spooled, and the state
//                              is saved before a job is acknowledged.
//   _papplCopyAttributes       Collections were shared between threads by an
//                              unlocked reference count (freed while in use).
//   _papplSystemProcessIPP,    Requests are checked before PAPPL reads them:
//   _papplPrinterProcessIPP,   control characters, KT50 setting values, and
//   _papplJobProcessIPP        the shutdown request (our own stop sequence).
#pragma once

#include <pappl/pappl.h>

#include <string>

// Whether every replaced function was found in the library; `missing` names
// the first one that was not.
bool PapplFixesInstalled(std::string &missing);

// Starts the queue of every printer once the system runs: jobs restored from
// the state file, including those a crash left "processing", print without
// waiting for a new job to arrive.
void StartRestoredQueues(pappl_system_t *system);

// Called by each document filter (and the print-file callback) as it
// returns: until PAPPL has given the job its final state, a cancel waits.
void JobFinishing();
// Calls JobFinishing when a filter returns, however it returns.
struct tagFILTERSCOPE {
  tagFILTERSCOPE() = default;
  tagFILTERSCOPE(const tagFILTERSCOPE &) = delete;
  tagFILTERSCOPE &operator=(const tagFILTERSCOPE &) = delete;
  ~tagFILTERSCOPE() { JobFinishing(); }
};

// Number of jobs being processed right now, and a wait (at most `timeoutMs`)
// for it to reach zero; true when it did.
int RunningJobCount();
bool WaitForRunningJobs(int timeoutMs);

// The sub-commands' connection to a running server (PAPPL's own lookup);
// null when none answers.
http_t *ConnectToServer(const char *baseName);

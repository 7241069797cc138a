// The application's system: where it listens, keeps its state and spools,
// what it refuses from clients, and the web page strings and footer.
#pragma once

#include <pappl/pappl.h>

#include <string>

#include "vantrex_version.h"

inline constexpr const char kAppName[] = "vantrex-printer-app";
inline constexpr const char kAppVersion[] = VANTREX_VERSION;  // the project version
inline constexpr const char kFooterHTML[] =
    "VANTREX KT50 printer application " VANTREX_VERSION;

// papplMainloop's system callback for the `server` sub-command.
pappl_system_t *SystemCallback(int num_options, cups_option_t *options, void *data);

// Whether a printer may be created on this device URI: socket://, usb://,
// and file:// only below the spool directory (symbolic links resolved).
bool IsAllowedDeviceURI(const std::string &uri, const std::string &spoolDir);
// True once the server has been told to stop (SIGTERM, SIGINT or the
// shutdown request).
bool StopRequested();
// Tells the server to stop: the job in progress ends aborted, queued jobs
// stay queued, the state is saved and the process ends within a second.
void RequestStop();
// The spool directory of the running system, symbolic links resolved.
const std::string &AppSpoolDir();

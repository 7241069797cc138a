// vantrex-printer-app: the KT50 as an IPP Everywhere printer. PAPPL's main
// loop gives the sub-commands (server, add, modify, submit, jobs, ...).
#include <libgen.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "driver.h"
#include "pappl_fixes.h"
#include "system.h"

namespace {

bool Is(const char *arg, std::string_view name) { return arg && name == arg; }

// Listing devices browses DNS-SD, which aborts PAPPL 1.3.1 when no mDNS
// daemon runs: say so instead.
bool DeviceListingWithoutMdns(int argc, char *argv[]) {
  struct stat info;
  return argc > 1 && Is(argv[1], "devices") && stat("/run/avahi-daemon/socket", &info) != 0;
}

// PAPPL 1.3.1 cannot change a printer's device and ignores -v for modify.
bool ModifiesDevice(int argc, char *argv[]) {
  if (argc < 2 || !Is(argv[1], "modify")) return false;
  for (int i = 2; i < argc; ++i)
    if (Is(argv[i], "-v") || std::strncmp(argv[i], "--device-uri", 12) == 0) return true;
  return false;
}

// The sub-commands that talk to a running server; PAPPL would start a
// private one when none answers (the system callback refuses that, but only
// after ten seconds of retries).
bool NeedsServer(int argc, char *argv[]) {
  constexpr const char *kServerCommands[] = {"add",      "autoadd", "cancel", "default",
                                             "delete",   "jobs",    "modify", "options",
                                             "printers", "status",  "submit"};
  if (argc < 2) return false;
  for (const char *command : kServerCommands)
    if (Is(argv[1], command)) return true;
  return false;
}

bool ServerAnswers(const char *argv0) {
  std::string path = argv0;
  http_t *http = ConnectToServer(basename(path.data()));
  if (!http) return false;
  httpClose(http);
  return true;
}

int Refuse(const char *message) {
  std::fprintf(stderr, "%s: %s\n", kAppName, message);
  return 1;
}

}  // namespace

int main(int argc, char *argv[]) {
  if (DeviceListingWithoutMdns(argc, argv))
    return Refuse("listing devices needs the mDNS daemon (avahi-daemon), which is not running.");
  if (ModifiesDevice(argc, argv))
    return Refuse("a printer's device cannot be changed; delete the printer and add it again.");
  if (NeedsServer(argc, argv) && !ServerAnswers(argv[0]))
    return Refuse(
        "the server is not running; start it first (\"vantrex-printer-app server\", "
        "or \"systemctl start vantrex-printer-app\").");
  return papplMainloop(argc, argv, kAppVersion, kFooterHTML, AppDriverCount(), AppDrivers(),
                       nullptr, DriverCallback, nullptr, nullptr, SystemCallback, nullptr, nullptr);
}

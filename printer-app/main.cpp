// vantrex-printer-app: the KT50 as an IPP Everywhere printer. PAPPL's main
// loop gives the sub-commands (server, add, modify, submit, jobs, ...).
#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "driver.h"
#include "system.h"

namespace {

// Listing devices browses DNS-SD, which aborts PAPPL 1.3.1 when no mDNS
// daemon runs: say so instead.
bool DeviceListingWithoutMdns(int argc, char *argv[]) {
  struct stat info;
  return argc > 1 && std::strcmp(argv[1], "devices") == 0 &&
         stat("/run/avahi-daemon/socket", &info) != 0;
}

}  // namespace

int main(int argc, char *argv[]) {
  if (DeviceListingWithoutMdns(argc, argv)) {
    std::fprintf(stderr,
                 "%s: listing devices needs the mDNS daemon (avahi-daemon), which is not "
                 "running.\n",
                 kAppName);
    return 1;
  }
  return papplMainloop(argc, argv, kAppVersion, kFooterHTML, AppDriverCount(), AppDrivers(),
                       nullptr, DriverCallback, nullptr, nullptr, SystemCallback, nullptr,
                       nullptr);
}

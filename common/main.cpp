// SPDX-License-Identifier: Apache-2.0
// vantrex-filter: a CUPS filter that turns a job's RGB CUPS raster into the
// KT50's command stream. Arguments: queue, job id, user, title, copies,
// options [, file].
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "options.h"
#include "rasterfront.h"
#include "vantrex_version.h"

int main(int argc, char *argv[]) {
  if (argc == 2 && strcmp(argv[1], "--version") == 0) {
    puts("vantrex-filter " VANTREX_VERSION);
    return 0;
  }
  if (argc != 6 && argc != 7) return 1;
  // A closed backend then shows as a write error instead of killing us.
  signal(SIGPIPE, SIG_IGN);
  struct sigaction cancel = {};
  cancel.sa_handler = [](int) { CancelFilterJob(); };
  cancel.sa_flags = 0;  // a read blocked on a stalled upstream filter must wake up
  sigaction(SIGTERM, &cancel, nullptr);
  static char outputBuffer[1 << 16];
  setvbuf(stdout, outputBuffer, _IOFBF, sizeof outputBuffer);

  cups_option_t *options = nullptr;
  const int n = cupsParseOptions(argv[5], 0, &options);
  // The queue's defaults (lpadmin -o, the web interface) live only in its PPD.
  const tagJOBSETTINGS s = GetJobSettings(n, options, OpenQueuePpd(getenv("PPD"), n, options).get());
  cupsFreeOptions(n, options);

  return SendPrinterCommand(argc, argv, s);
}

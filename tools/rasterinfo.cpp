// SPDX-License-Identifier: Apache-2.0
// vantrex-rasterinfo: lists the pages of a CUPS raster (size, bytes per line,
// bits, colour space) and reads every line through libcups, as the filter
// does, reporting a page that ends early. Reading alone is also the floor
// that the filter's own time is measured against.
//   vantrex-rasterinfo [file]     (standard input without a file)
//   vantrex-rasterinfo --version
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include <cups/raster.h>

#include "vantrex_version.h"

int main(int argc, char *argv[]) {
  if (argc > 2) {
    fprintf(stderr, "usage: vantrex-rasterinfo [file]\n       vantrex-rasterinfo --version\n");
    return 2;
  }
  if (argc == 2 && strcmp(argv[1], "--version") == 0) {
    puts("vantrex-rasterinfo " VANTREX_VERSION);
    return 0;
  }
  const int fd = argc == 2 ? open(argv[1], O_RDONLY) : STDIN_FILENO;
  if (fd < 0) {
    fprintf(stderr, "vantrex-rasterinfo: cannot open %s: %s\n", argv[1], strerror(errno));
    return 1;
  }
  cups_raster_t *ras = cupsRasterOpen(fd, CUPS_RASTER_READ);
  if (ras == nullptr) {
    fprintf(stderr, "vantrex-rasterinfo: not a CUPS raster stream\n");
    return 1;
  }
  cups_page_header2_t h;
  std::vector<unsigned char> line;
  int status = 0, page = 0;
  while (status == 0 && cupsRasterReadHeader2(ras, &h)) {
    ++page;
    printf("page %d: %u x %u, %u bytes per line, %u bits per pixel, colour space %d\n", page,
           h.cupsWidth, h.cupsHeight, h.cupsBytesPerLine, h.cupsBitsPerPixel,
           static_cast<int>(h.cupsColorSpace));
    line.resize(h.cupsBytesPerLine);
    for (unsigned y = 0; y < h.cupsHeight; ++y) {
      if (cupsRasterReadPixels(ras, line.data(), h.cupsBytesPerLine) != h.cupsBytesPerLine) {
        printf("page %d ends early: %u of %u lines\n", page, y, h.cupsHeight);
        status = 1;
        break;
      }
    }
  }
  printf("%d page(s)\n", page);
  cupsRasterClose(ras);
  if (fd != STDIN_FILENO) close(fd);
  return status;
}

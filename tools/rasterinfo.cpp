// SPDX-License-Identifier: Apache-2.0
// vantrex-rasterinfo: lists the pages of a CUPS raster (size, bytes per line,
// bits, colour space) and reads every line through libcups, as the filter
// does, reporting a page that ends early. Page headers are checked as the
// filter checks them: a page larger than the printer can take is reported
// and ends the listing, before libcups sizes a buffer or reads a line for
// it. Reading alone is also the floor that the filter's own time is
// measured against.
//   vantrex-rasterinfo [file]     (standard input without a file)
//   vantrex-rasterinfo --version
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "rasterheader.h"
#include "vantrex_version.h"

namespace {

ssize_t ReadFd(void *ctx, unsigned char *buffer, size_t length) {
  ssize_t n;
  do {
    n = read(*static_cast<int *>(ctx), buffer, length);
  } while (n < 0 && errno == EINTR);
  return n;
}

// Reads every line of the page; false when the page ends early.
bool ReadLines(cups_raster_t *ras, const cups_page_header2_t &h, int page) {
  std::vector<unsigned char> line(h.cupsBytesPerLine);
  for (unsigned y = 0; y < h.cupsHeight; ++y) {
    if (cupsRasterReadPixels(ras, line.data(), h.cupsBytesPerLine) != h.cupsBytesPerLine) {
      printf("page %d ends early: %u of %u lines\n", page, y, h.cupsHeight);
      return false;
    }
  }
  return true;
}

// Lists the pages; the exit status. A page whose header claims more than
// the printer can take is named, not counted, and ends the listing.
int ListPages(tagRASTERIN &raster) {
  cups_page_header2_t h;
  std::string error;
  int pages = 0;
  bool whole = true;
  while (whole && NextHeader(raster, h, pages + 1, error)) {
    printf("page %d: %u x %u, %u bytes per line, %u bits per pixel, colour space %d\n", pages + 1,
           h.cupsWidth, h.cupsHeight, h.cupsBytesPerLine, h.cupsBitsPerPixel,
           static_cast<int>(h.cupsColorSpace));
    if (std::string fault = PageSizeFault(h); !fault.empty()) {
      error = "page " + std::to_string(pages + 1) + ": " + fault;
      break;
    }
    whole = ReadLines(raster.ras, h, ++pages);
  }
  if (!error.empty()) printf("%s\n", error.c_str());
  printf("%d page(s)\n", pages);
  return whole && error.empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char *argv[]) {
  if (argc > 2) {
    fprintf(stderr, "usage: vantrex-rasterinfo [file]\n       vantrex-rasterinfo --version\n");
    return 2;
  }
  if (argc == 2 && strcmp(argv[1], "--version") == 0) {
    puts("vantrex-rasterinfo " VANTREX_VERSION);
    return 0;
  }
  int fd = argc == 2 ? open(argv[1], O_RDONLY) : STDIN_FILENO;
  if (fd < 0) {
    fprintf(stderr, "vantrex-rasterinfo: cannot open %s: %s\n", argv[1], strerror(errno));
    return 1;
  }
  int status = 1;
  {
    tagRASTERIN raster;
    std::string error;
    if (OpenRasterInput(raster, ReadFd, &fd, nullptr, error))
      status = ListPages(raster);
    else
      fprintf(stderr, "vantrex-rasterinfo: %s\n",
              error.empty() || error == "the input is not a CUPS raster stream"
                  ? "not a CUPS raster stream"
                  : error.c_str());
  }
  if (fd != STDIN_FILENO) close(fd);
  return status;
}

// vantrex-mkraster: writes a CUPS raster of sample chart pages (RGB, 8 bits
// per colour) for trying the filter.
//   vantrex-mkraster [-w width] [-h height] [-n pages] [-c] [-p] [-g] [-o file]
// Defaults: 4960 x 7016 pixels (A4 at 600 dpi), one page, uncompressed, to
// standard output. -c writes the compressed raster that RIPs produce. -p
// draws photo-like pages instead of the chart. -g writes the first page as a
// binary PGM of its luminance instead of a raster, for other programs.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "rasterwriter.h"

namespace {

int Usage() {
  fprintf(stderr, "usage: vantrex-mkraster [-w width] [-h height] [-n pages] [-c] [-p] [-g] [-o file]\n");
  return 2;
}

bool ReadCount(const char *text, uint32_t min, uint32_t max, uint32_t &out) {
  char *end = nullptr;
  const unsigned long value = strtoul(text, &end, 10);
  if (end == text || *end != '\0' || value < min || value > max) return false;
  out = static_cast<uint32_t>(value);
  return true;
}

// The page's luminance, 0 black to 255 white, as a binary PGM.
bool WritePgm(int fd, const vraster::tagRASTERPAGE &page) {
  FILE *out = fdopen(dup(fd), "wb");
  if (!out) return false;
  fprintf(out, "P5\n%u %u\n255\n", page.width, page.height);
  std::vector<uint8_t> rgb(3 * size_t{page.width}), gray(page.width);
  for (uint32_t y = 0; y < page.height; ++y) {
    std::fill(rgb.begin(), rgb.end(), uint8_t{0});
    page.fill(y, rgb);
    for (uint32_t x = 0; x < page.width; ++x) {
      const uint8_t *p = &rgb[3 * size_t{x}];
      gray[x] = static_cast<uint8_t>((2449 * p[0] + 4805 * p[1] + 938 * p[2]) >> 13);
    }
    fwrite(gray.data(), 1, gray.size(), out);
  }
  return fclose(out) == 0;
}

}  // namespace

int main(int argc, char *argv[]) {
  uint32_t width = 4960, height = 7016, pages = 1;
  bool compressed = false, photo = false, pgm = false;
  const char *output = nullptr;
  int opt;
  while ((opt = getopt(argc, argv, "w:h:n:cpgo:")) != -1) {
    switch (opt) {
      case 'w': if (!ReadCount(optarg, 1, 100000, width)) return Usage(); break;
      case 'h': if (!ReadCount(optarg, 1, 100000, height)) return Usage(); break;
      case 'n': if (!ReadCount(optarg, 0, 1000, pages)) return Usage(); break;
      case 'c': compressed = true; break;
      case 'p': photo = true; break;
      case 'g': pgm = true; break;
      case 'o': output = optarg; break;
      default: return Usage();
    }
  }
  if (optind != argc) return Usage();

  int fd = STDOUT_FILENO;
  if (output && (fd = open(output, O_WRONLY | O_CREAT | O_TRUNC, 0644)) < 0) {
    fprintf(stderr, "vantrex-mkraster: cannot create %s: %s\n", output, strerror(errno));
    return 1;
  }
  std::vector<vraster::tagRASTERPAGE> list;
  for (uint32_t n = 1; n <= pages; ++n) {
    list.push_back({width, height, CUPS_CSPACE_RGB, 8,
                    [width, height, n, photo](uint32_t row, std::span<uint8_t> line) {
                      if (photo)
                        vraster::PhotoLine(width, height, row, line);
                      else
                        vraster::ChartLine(width, height, n, row, line);
                    }});
  }
  const bool ok = pgm ? !list.empty() && WritePgm(fd, list.front())
                      : vraster::WriteRaster(fd, list, compressed);
  if (fd != STDOUT_FILENO && close(fd) != 0) return 1;
  if (!ok) fprintf(stderr, "vantrex-mkraster: writing the raster failed\n");
  return ok ? 0 : 1;
}

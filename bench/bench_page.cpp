// SPDX-License-Identifier: Apache-2.0
// vantrex-bench-page: times one full 9920 x 14645 page for screening codes 0
// (simple road), 3 (AM screen) and 4 (error diffusion) and prints each time
// with its ratio to a plain libcups read of the same raster, all in one run.
//
// Usage: vantrex-bench-page [--compressed] [--runs N] [--height H]
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "printcmd.h"
#include "rasterwriter.h"
#include "tools/tools.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
  bool compressed = false;
  int runs = 3;
  uint32_t height = kPageBitmapHeight;
};

// The raster of one chart page in a temporary file, removed on exit.
class RasterFile {
 public:
  RasterFile(uint32_t width, uint32_t height, bool compressed) {
    char name[] = "/tmp/vantrex-bench-XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) return;
    path_ = name;
    vraster::tagRASTERPAGE page;
    page.width = width;
    page.height = height;
    page.fill = [width, height](uint32_t row, std::span<uint8_t> line) {
      vraster::ChartLine(width, height, 1, row, line);
    };
    ok_ = vraster::WriteRaster(fd, std::span(&page, 1), compressed);
    close(fd);
  }
  ~RasterFile() {
    if (!path_.empty()) unlink(path_.c_str());
  }
  bool ok() const { return ok_; }
  const std::string &path() const { return path_; }

 private:
  std::string path_;
  bool ok_ = false;
};

// An open raster positioned at its first page.
struct Reader {
  int fd = -1;
  cups_raster_t *ras = nullptr;
  cups_page_header2_t header{};
  explicit Reader(const std::string &path) {
    fd = open(path.c_str(), O_RDONLY);
    if (fd >= 0) ras = cupsRasterOpen(fd, CUPS_RASTER_READ);
    if (ras && !cupsRasterReadHeader2(ras, &header)) {
      cupsRasterClose(ras);
      ras = nullptr;
    }
  }
  ~Reader() {
    if (ras) cupsRasterClose(ras);
    if (fd >= 0) close(fd);
  }
};

// One road over the page; returns the seconds it took, or -1 on failure.
double RunOnce(const std::string &path, int code, std::vector<uint8_t> &page) {
  const auto start = Clock::now();
  Reader r(path);
  if (!r.ras) return -1;
  const uint32_t bpl = r.header.cupsBytesPerLine;
  const int32_t width = static_cast<int32_t>(std::min<uint32_t>(r.header.cupsWidth, kPageBitmapWidth));
  std::vector<uint8_t> line(std::max<size_t>(bpl, 3u * static_cast<size_t>(width)), 255);
  std::fill(page.begin(), page.end(), 0);
  if (code == 3 || code == 4) {
    int32_t dropped = 0;
    if (!TavikImageProc(r.ras, line.data(), static_cast<int32_t>(bpl), static_cast<int32_t>(r.header.cupsWidth),
                        static_cast<int32_t>(r.header.cupsHeight), page.data(), code == 4 ? 1 : 0, 38,
                        37, 1, &dropped) ||
        dropped != 0)
      return -1;
  } else {
    for (uint32_t y = 0; y < r.header.cupsHeight; ++y) {
      if (cupsRasterReadPixels(r.ras, line.data(), bpl) != bpl) return -1;
      if (code == 0 && y < static_cast<uint32_t>(kPageBitmapHeight))
        ConvertLineBuffer24To01(page.data() + static_cast<size_t>(y) * kPageBitmapRowBytes, line.data(),
                                width, g_Dither_Nashi, static_cast<int32_t>(y), 1);
    }
  }
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double Best(const std::string &path, int code, int runs, std::vector<uint8_t> &page) {
  double best = -1;
  for (int i = 0; i < runs; ++i) {
    const double t = RunOnce(path, code, page);
    if (t < 0) return -1;
    if (best < 0 || t < best) best = t;
  }
  return best;
}

}  // namespace

int main(int argc, char **argv) {
  Options opt;
  for (int i = 1; i < argc; ++i) {
    if (!strcmp(argv[i], "--compressed")) {
      opt.compressed = true;
    } else if (!strcmp(argv[i], "--runs") && i + 1 < argc) {
      opt.runs = std::max(1, atoi(argv[++i]));
    } else if (!strcmp(argv[i], "--height") && i + 1 < argc) {
      opt.height = static_cast<uint32_t>(std::max(1, atoi(argv[++i])));
    } else {
      fprintf(stderr, "usage: %s [--compressed] [--runs N] [--height H]\n", argv[0]);
      return 2;
    }
  }
  RasterFile raster(kPageBitmapWidth, opt.height, opt.compressed);
  if (!raster.ok()) {
    fprintf(stderr, "vantrex-bench-page: cannot write the sample raster\n");
    return 1;
  }
  std::vector<uint8_t> page(kPageBitmapSize);
  // code -1: the plain read every road stands on.
  const int codes[] = {-1, 0, 3, 4};
  const char *names[] = {"libcups read only", "code 0 (simple road)", "code 3 (AM screen 38/37)",
                         "code 4 (error diffusion)"};
  double floor = 0;
  printf("page %d x %u, %s raster, best of %d runs\n", kPageBitmapWidth, opt.height,
         opt.compressed ? "compressed" : "uncompressed", opt.runs);
  for (int i = 0; i < 4; ++i) {
    const double t = Best(raster.path(), codes[i], opt.runs, page);
    if (t < 0) {
      fprintf(stderr, "vantrex-bench-page: %s failed\n", names[i]);
      return 1;
    }
    if (i == 0) floor = t;
    printf("%-26s %8.3f s  x%.2f\n", names[i], t, t / floor);
  }
  return 0;
}

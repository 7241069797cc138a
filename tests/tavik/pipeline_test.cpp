// SPDX-License-Identifier: Apache-2.0
// The image road in process: TavikImageProc over rasters written through
// libcups, checked against whole-page computations, and its guards against
// short lines, short reads, huge headers and memory that cannot be had.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <random>
#include <vector>

#include "failing_alloc.h"
#include "filter_support.h"
#include "printcmd.h"
#include "tavik/TAVIK_AmiTbl.h"
#include "tavik/TAVIK_Dither.h"
#include "tavik/TAVIK_MacLib.h"
#include "tavik_reference.h"

namespace {

using namespace tavik_test;

// A raster in a temporary file, opened for reading at its first page header.
class OpenRaster {
 public:
  explicit OpenRaster(const std::vector<uint8_t> &bytes) : file_(bytes) {
    fd_ = open(file_.path().c_str(), O_RDONLY);
    ras_ = cupsRasterOpen(fd_, CUPS_RASTER_READ);
  }
  ~OpenRaster() {
    if (ras_) cupsRasterClose(ras_);
    if (fd_ >= 0) close(fd_);
  }
  OpenRaster(const OpenRaster &) = delete;
  OpenRaster &operator=(const OpenRaster &) = delete;
  bool NextHeader() { return cupsRasterReadHeader2(ras_, &header_) != 0; }
  cups_raster_t *ras() const { return ras_; }
  const cups_page_header2_t &header() const { return header_; }

 private:
  vtest::TempFile file_;
  int fd_ = -1;
  cups_raster_t *ras_ = nullptr;
  cups_page_header2_t header_{};
};

struct Rendered {
  int ok = -1;
  int32_t dropped = -1;
  std::vector<uint8_t> bitmap;
  bool inked(int x, int y) const { return (bitmap[y * kRow + x / 8] >> (7 - x % 8)) & 1; }
};

struct Road {
  int32_t diffusion = 0, frequency = 150, angle = 30, mirror = 0;
  // Header values handed on instead of the raster's, when set.
  bool ownSize = false;
  int32_t width = 0, height = 0;
};

// Renders the first page of the raster; the line buffer is exactly one raster
// line long, so any read past it shows under AddressSanitizer.
Rendered RenderFirstPage(OpenRaster &raster, const Road &road, uint8_t fill = 0) {
  Rendered r;
  if (!raster.NextHeader()) return r;
  const cups_page_header2_t &h = raster.header();
  std::vector<uint8_t> line(h.cupsBytesPerLine);
  r.bitmap.assign(kRow * kH, fill);
  r.ok = TavikImageProc(raster.ras(), line.data(), static_cast<int32_t>(h.cupsBytesPerLine),
                        road.ownSize ? road.width : static_cast<int32_t>(h.cupsWidth),
                        road.ownSize ? road.height : static_cast<int32_t>(h.cupsHeight),
                        r.bitmap.data(), road.diffusion, road.frequency, road.angle,
                        road.mirror, &r.dropped);
  return r;
}

Rendered Render(const vtest::tagRASTERPAGE &page, const Road &road) {
  OpenRaster raster(vtest::MakeRaster(std::span(&page, 1)));
  return RenderFirstPage(raster, road);
}

// ------------------------------------------------------------ conversion --

TEST(ImageRoadLine, InkOfPrimariesAndGrays) {
  const uint8_t line[] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255, 0, 0, 0, 128, 128, 128};
  std::vector<uint8_t> row(8, 0xEE);
  Tavik_ConvertLine(row.data(), line, sizeof line, 6, 0);
  EXPECT_EQ(row, (std::vector<uint8_t>{179, 106, 226, 0, 255, 127, 0xEE, 0xEE}));
  std::vector<uint8_t> mirrored(6, 0xEE);
  Tavik_ConvertLine(mirrored.data(), line, sizeof line, 6, 1);
  EXPECT_EQ(mirrored, (std::vector<uint8_t>{127, 255, 0, 226, 106, 179}));
}

TEST(ImageRoadLine, NeverReadsPastTheLine) {
  // Seven bytes for a drawn width of four: two whole pixels, then a red byte
  // whose green and blue read as white; the fourth column keeps its 0.
  const std::vector<uint8_t> line{0, 0, 0, 0, 0, 0, 0};
  std::vector<uint8_t> row(4, 0);
  Tavik_ConvertLine(row.data(), line.data(), 7, 4, 0);
  const uint8_t cut = static_cast<uint8_t>(255 - ((4805 * 255 + 938 * 255) >> 13));
  EXPECT_EQ(row, (std::vector<uint8_t>{255, 255, cut, 0}));
  std::vector<uint8_t> mirrored(4, 0);
  Tavik_ConvertLine(mirrored.data(), line.data(), 7, 4, 1);
  EXPECT_EQ(mirrored, (std::vector<uint8_t>{0, cut, 255, 255}));
}

// ------------------------------------------------------------ whole page --

TEST(ImageRoadPage, WhiteStaysBlankBlackInksTheDrawnArea) {
  for (int32_t diffusion : {0, 1}) {
    const Road road{diffusion, 38, 37, 0};
    const Rendered white = Render(vtest::SolidPage(1000, 900, {255, 255, 255}), road);
    ASSERT_EQ(white.ok, 1);
    EXPECT_EQ(white.dropped, 0);
    for (uint8_t b : white.bitmap) ASSERT_EQ(b, 0) << "method " << diffusion;

    const Rendered black = Render(vtest::SolidPage(1001, 900, {0, 0, 0}), road);
    ASSERT_EQ(black.ok, 1);
    for (int y = 0; y < 902; ++y)
      for (int x = 0; x < 1010; ++x)
        ASSERT_EQ(black.inked(x, y), x < 1001 && y < 900)
            << "method " << diffusion << " at " << x << "," << y;
    size_t inkedBytes = 0;
    for (uint8_t b : black.bitmap) inkedBytes += b != 0;
    EXPECT_EQ(inkedBytes, 126u * 900u);  // nothing beyond the drawn area
  }
}

TEST(ImageRoadPage, AmScreenContinuesAcrossBands) {
  for (const auto &[f, a] : {std::pair{150, 30}, {38, 37}, {85, 45}, {200, 0}}) {
    const int w = 301, h = 1800;
    const Rendered r = Render(vtest::RgbPage(w, h, Pattern), Road{0, f, a, 0});
    ASSERT_EQ(r.ok, 1);
    const tagDEVDATA dev = ScreenFor(f, a);
    const Reference ref(w, h, Pattern, band_gamma_curve(0, static_cast<uint16_t>(f)));
    for (int y = 0; y < h + 2; ++y)
      for (int x = 0; x < w + 8; ++x) {
        const bool expected = x < w && y < h && ref.Am(dev, x, y);
        ASSERT_EQ(r.inked(x, y), expected) << f << "/" << a << " at " << x << "," << y;
      }
  }
}

TEST(ImageRoadPage, ErrorDiffusionContinuesAcrossBands) {
  const int w = 301, h = 1800;
  const Rendered r = Render(vtest::RgbPage(w, h, Pattern), Road{1, 150, 30, 0});
  ASSERT_EQ(r.ok, 1);
  const Reference ref(w, h, Pattern, gamma_curve_gosa);
  const std::vector<bool> expected = ref.Diffused();
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w + 8; ++x)
      ASSERT_EQ(r.inked(x, y), expected[y * kW + x]) << "at " << x << "," << y;
}

TEST(ImageRoadPage, FullHeightPageUsesEighteenBands) {
  // The band moves on by 845 lines 17 times, then holds the last 280.
  TavikBuffer<uint8_t> gray;
  ASSERT_TRUE(gray.Allocate(kTavikBandBufferSize));
  std::vector<uint8_t> bitmap(kRow * kH, 0xFF);
  tagBANDBITMAP band = Tavik_GrayBand(gray.get());
  const tagBANDBITMAP page = Tavik_PageBand(bitmap.data());
  tagDEVDATA dev{};
  ASSERT_EQ(Tavik_SetDevData(&dev, &band, 0, 200, 0, 600), 1);
  for (int i = 1; i <= 17; ++i) {
    EXPECT_EQ(band.bandNumber, i);
    EXPECT_EQ(band.bandTop, 845 * (i - 1));
    EXPECT_EQ(band.curBandLines, 845);
    gray.get()[0] = 255;  // one dot at the band's top-left corner
    Tavik_ProcessBand(&dev, &band, &page);
    EXPECT_EQ(gray.get()[0], 0);  // cleared for the next band
    EXPECT_EQ(bitmap[static_cast<size_t>(845 * (i - 1)) * kRow] & 0x80, 0);  // working polarity
  }
  EXPECT_EQ(band.bandTop, 14365);
  EXPECT_EQ(band.curBandLines, 280);
  EXPECT_EQ(band.remainingLines, 280);

  // And a real page of that height, narrow, diffused: every line lands on its row.
  std::mt19937 rng(11);
  std::vector<uint8_t> grays(16 * kH);
  for (auto &g : grays) g = static_cast<uint8_t>(rng());
  const auto pixel = [&](uint32_t x, uint32_t y) {
    const uint8_t g = grays[y * 16 + x];
    return vtest::RGB{g, g, g};
  };
  const Rendered r = Render(vtest::RgbPage(16, kH, pixel), Road{1, 38, 37, 0});
  ASSERT_EQ(r.ok, 1);
  const std::vector<bool> expected = Reference(16, kH, pixel, gamma_curve_gosa).Diffused();
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < 24; ++x)
      ASSERT_EQ(r.inked(x, y), expected[y * kW + x]) << "at " << x << "," << y;
}

bool NothingBelow(const Rendered &r, int rows) {
  return std::all_of(r.bitmap.begin() + static_cast<size_t>(rows) * kRow, r.bitmap.end(),
                     [](uint8_t b) { return b == 0; });
}

// Wide pages take the vector paths over the band width; tall ones cross
// every band border and end past the bitmap. Both roads, both mirror
// settings, against the whole-page computation.
TEST(ImageRoadPage, WideAndTallPagesMatchTheWholePage) {
  std::mt19937 rng(21);
  const struct {
    int w, h;
  } sizes[] = {{5000 + static_cast<int>(rng() % 4920), 1800}, {kW, 900}, {45, kH + 55}};
  for (const auto &size : sizes) {
    std::vector<uint8_t> grays(static_cast<size_t>(size.w) * size.h);
    for (auto &g : grays) g = static_cast<uint8_t>(rng());
    const auto pixel = [&](uint32_t x, uint32_t y) {
      const uint8_t g = grays[static_cast<size_t>(y) * size.w + x];
      return vtest::RGB{g, static_cast<uint8_t>(g ^ (x & 31)), static_cast<uint8_t>(255 - g)};
    };
    const vtest::tagRASTERPAGE page = vtest::RgbPage(size.w, size.h, pixel);
    const int drawn = std::min(size.h, kH);
    for (int32_t mirror : {0, 1}) {
      const auto seen = [&](uint32_t x, uint32_t y) { return pixel(mirror ? size.w - 1 - x : x, y); };
      const Rendered diffused = Render(page, Road{1, 100, 20, mirror});
      ASSERT_EQ(diffused.ok, 1);
      const std::vector<bool> expected = Reference(size.w, drawn, seen, gamma_curve_gosa).Diffused();
      for (int y = 0; y < drawn; ++y)
        for (int x = 0; x < kW; ++x)
          ASSERT_EQ(diffused.inked(x, y), expected[static_cast<size_t>(y) * kW + x])
              << size.w << " x " << size.h << " mirror " << mirror << " at " << x << "," << y;
      ASSERT_TRUE(NothingBelow(diffused, drawn));
      const Rendered screened = Render(page, Road{0, 133, 75, mirror});
      ASSERT_EQ(screened.ok, 1);
      const tagDEVDATA dev = ScreenFor(133, 75);
      const Reference ref(size.w, drawn, seen, band_gamma_curve(0, 133));
      const int checked = std::min(kW, (size.w + 15) & ~7);
      for (int y = 0; y < drawn; ++y) {
        for (int x = 0; x < checked; ++x)
          ASSERT_EQ(screened.inked(x, y), x < size.w && ref.Am(dev, x, y))
              << size.w << " x " << size.h << " mirror " << mirror << " at " << x << "," << y;
        const auto row = screened.bitmap.begin() + static_cast<size_t>(y) * kRow;
        ASSERT_TRUE(std::all_of(row + checked / 8, row + kRow, [](uint8_t b) { return b == 0; })) << y;
      }
      ASSERT_TRUE(NothingBelow(screened, drawn));
    }
  }
}

TEST(ImageRoadPage, LinesBeyondThePageAreReadAndDropped) {
  const vtest::tagRASTERPAGE pages[2] = {vtest::SolidPage(8, kH + 3, {0, 0, 0}),
                                         vtest::SolidPage(8, 2, {0, 0, 0})};
  OpenRaster raster(vtest::MakeRaster(pages));
  const Rendered r = RenderFirstPage(raster, Road{0, 100, 15, 0});
  ASSERT_EQ(r.ok, 1);
  EXPECT_EQ(r.dropped, 0);
  for (int y = 0; y < kH; ++y) ASSERT_EQ(r.bitmap[y * kRow], 0xFF) << y;
  ASSERT_TRUE(raster.NextHeader());  // positioned at the second page
  EXPECT_EQ(raster.header().cupsHeight, 2u);
}

TEST(ImageRoadPage, MirrorAndWidePages) {
  const auto dots = [](uint32_t x, uint32_t y) {
    const bool on = (y == 0 && x == 0) || (y == 1 && x == 899);
    return on ? vtest::RGB{0, 0, 0} : vtest::RGB{255, 255, 255};
  };
  for (int32_t diffusion : {0, 1}) {
    const Rendered r = Render(vtest::RgbPage(900, 2, dots), Road{diffusion, 60, 45, 1});
    ASSERT_EQ(r.ok, 1);
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 900; ++x)
        EXPECT_EQ(r.inked(x, y), (y == 0 && x == 899) || (y == 1 && x == 0)) << x << "," << y;
  }
  const auto edge = [](uint32_t x, uint32_t) {
    return x == 9919 || x == 9920 ? vtest::RGB{0, 0, 0} : vtest::RGB{255, 255, 255};
  };
  for (int32_t mirror : {0, 1}) {
    const Rendered r = Render(vtest::RgbPage(12000, 1, edge), Road{0, 60, 45, mirror});
    ASSERT_EQ(r.ok, 1);
    for (int x = 0; x < kW; ++x) EXPECT_EQ(r.inked(x, 0), x == (mirror ? 0 : 9919)) << x;
  }
}

// ------------------------------------------------------------ bad input --

TEST(ImageRoadGuards, LinesShorterOrLongerThanThreeBytesAPixel) {
  // One byte per pixel: 31 bytes carry ten whole pixels and a cut one.
  vtest::tagRASTERPAGE gray;
  gray.width = 31;
  gray.height = 3;
  gray.colorSpace = CUPS_CSPACE_W;
  gray.fill = [](uint32_t, std::span<uint8_t> line) { std::fill(line.begin(), line.end(), 0); };
  const Rendered r = Render(gray, Road{0, 38, 37, 0});
  ASSERT_EQ(r.ok, 1);
  const tagDEVDATA dev = ScreenFor(38, 37);
  const uint8_t cut = gamma_curve[255 - ((4805 * 255 + 938 * 255) >> 13)];
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 40; ++x) {
      bool expected = x < 10;
      if (x == 10) {
        expected = cut > dev.screenMatrix.get()[(y % dev.screenSize) * dev.screenSize + x];
      }
      EXPECT_EQ(r.inked(x, y), expected) << x << "," << y;
    }
  // Six bytes a pixel: the first 3 * width bytes are used.
  vtest::tagRASTERPAGE wide = vtest::SolidPage(20, 2, {0, 0, 0});
  wide.bitsPerColor = 16;
  wide.fill = [](uint32_t, std::span<uint8_t> line) { std::fill(line.begin(), line.end(), 0); };
  const Rendered w = Render(wide, Road{1, 38, 37, 0});
  ASSERT_EQ(w.ok, 1);
  for (int x = 0; x < 24; ++x) EXPECT_EQ(w.inked(x, 0), x < 20) << x;
}

TEST(ImageRoadGuards, ShortReadDropsTheRestAndReportsIt) {
  const vtest::tagRASTERPAGE page = vtest::SolidPage(100, 50, {0, 0, 0});
  std::vector<uint8_t> bytes = vtest::MakeRaster(std::span(&page, 1));
  bytes.resize(bytes.size() - 300 * 20 - 10);  // cut inside the 30th line from the end
  OpenRaster raster(bytes);
  const Rendered r = RenderFirstPage(raster, Road{1, 38, 37, 0});
  ASSERT_EQ(r.ok, 1);
  EXPECT_EQ(r.dropped, 21);
  for (int y = 0; y < 50; ++y) EXPECT_EQ(r.inked(5, y), y < 29) << y;
}

TEST(ImageRoadGuards, HugeHeaderValuesStayInsideTheBuffers) {
  // A header claiming 2^31 - 1 pixels and lines over a small raster: the page
  // is drawn 9920 wide from the line's own bytes, the rest is reported lost.
  const vtest::tagRASTERPAGE page = vtest::SolidPage(10, 4, {0, 0, 0});
  OpenRaster raster(vtest::MakeRaster(std::span(&page, 1)));
  Road road{0, 38, 37, 1};
  road.ownSize = true;
  road.width = INT32_MAX;
  road.height = INT32_MAX;
  const Rendered r = RenderFirstPage(raster, road);
  ASSERT_EQ(r.ok, 1);
  EXPECT_EQ(r.dropped, INT32_MAX - 4);
  for (int x = 0; x < kW; ++x) EXPECT_EQ(r.inked(x, 0), x >= kW - 10) << x;
  EXPECT_FALSE(r.inked(kW - 1, 4));

  // A negative height (a header height beyond 32 bits) is refused.
  OpenRaster again(vtest::MakeRaster(std::span(&page, 1)));
  road.height = -5;
  EXPECT_EQ(RenderFirstPage(again, road).ok, 0);
}

TEST(ImageRoadGuards, ScreenParametersTheConstructionCannotHold) {
  const vtest::tagRASTERPAGE page = vtest::SolidPage(10, 2, {0, 0, 0});
  for (const auto &[f, a] : {std::pair{10, 37}, {0, 37}, {2000, 37}, {100, -45}, {100, 200}}) {
    OpenRaster raster(vtest::MakeRaster(std::span(&page, 1)));
    const Rendered r = RenderFirstPage(raster, Road{0, f, a, 0}, 0x11);
    EXPECT_EQ(r.ok, 0) << f << "/" << a;
  }
  // Error diffusion does not use them.
  OpenRaster raster(vtest::MakeRaster(std::span(&page, 1)));
  EXPECT_EQ(RenderFirstPage(raster, Road{1, 0, -45, 0}).ok, 1);
}

TEST(ImageRoadGuards, MemoryThatCannotBeHadFailsThePage) {
  const vtest::tagRASTERPAGE page = vtest::SolidPage(10, 2, {0, 0, 0});
  // AM: band buffer, screen matrix, level table, supercell block.
  // Error diffusion: band buffer, error rows.
  const struct {
    int32_t diffusion;
    int nth;
  } cases[] = {{0, 1}, {0, 2}, {0, 3}, {0, 4}, {1, 1}, {1, 2}};
  for (const auto &c : cases) {
    OpenRaster raster(vtest::MakeRaster(std::span(&page, 1)));
    Tavik_FailAllocation(c.nth);
    const Rendered r = RenderFirstPage(raster, Road{c.diffusion, 150, 30, 0}, 0x11);
    Tavik_FailAllocation(0);
    EXPECT_EQ(r.ok, 0) << "method " << c.diffusion << " allocation " << c.nth;
    if (c.nth == 1) {
      for (int i = 0; i < kRow * kH; i += 4099) ASSERT_EQ(r.bitmap[i], 0x11);
    }
  }
  // The fifth allocation is past the set-up: the page renders.
  OpenRaster raster(vtest::MakeRaster(std::span(&page, 1)));
  Tavik_FailAllocation(5);
  const Rendered r = RenderFirstPage(raster, Road{0, 150, 30, 0});
  Tavik_FailAllocation(0);
  EXPECT_EQ(r.ok, 1);
}

TEST(ImageRoadGuards, SetDevDataKeepsTheFirstBandsBuffers) {
  uint8_t gray[1] = {0};
  tagBANDBITMAP band = Tavik_GrayBand(gray);
  tagDEVDATA dev{};
  ASSERT_EQ(Tavik_SetDevData(&dev, &band, 1, 38, 37, 600), 1);
  EXPECT_EQ(dev.errorBuffer.size(), 19846u);
  EXPECT_FALSE(dev.screenMatrix);
  const int8_t *rows = dev.errorBuffer.get();
  band.bandNumber = 2;
  band.curBandLines = 280;
  Tavik_FailAllocation(1);  // a later band allocates nothing
  EXPECT_EQ(Tavik_SetDevData(&dev, &band, 1, 38, 37, 600), 1);
  Tavik_FailAllocation(0);
  EXPECT_EQ(dev.errorBuffer.get(), rows);
  EXPECT_EQ(dev.bandRect.bottom, 279);
  EXPECT_EQ(dev.customScreen, 1);
  Tavik_ClearDevData(&dev);
  EXPECT_FALSE(dev.errorBuffer);
}

}  // namespace

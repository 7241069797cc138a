// SPDX-License-Identifier: Apache-2.0
// Round trips: rasters written through libcups go through the real filter,
// and the stream it writes is read back with the stream decoder.
#include <cups/raster.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "filter_support.h"
#include "kt50stream.h"
#include "reference.h"

namespace {

struct ChartPage {
  uint32_t width, height, number;
};

std::vector<uint8_t> ChartRaster(const std::vector<ChartPage> &pages, vtest::Compression c) {
  std::vector<vtest::tagRASTERPAGE> raster;
  for (const ChartPage &p : pages) {
    vtest::tagRASTERPAGE page;
    page.width = p.width;
    page.height = p.height;
    page.fill = [p](uint32_t row, std::span<uint8_t> line) {
      vraster::ChartLine(p.width, p.height, p.number, row, line);
    };
    raster.push_back(page);
  }
  return vtest::MakeRaster(raster, c);
}

// The chart rendered by the model, line by line (one ChartLine per row).
ref::Page RenderChart(const ChartPage &p, int code, bool mirror) {
  std::vector<uint8_t> line(3 * size_t{p.width});
  uint32_t cachedRow = UINT32_MAX;
  return ref::Render(p.width, p.height,
                     [&](uint32_t x, uint32_t y) {
                       if (y != cachedRow) {
                         vraster::ChartLine(p.width, p.height, p.number, y, line);
                         cachedRow = y;
                       }
                       return ref::Rgb{line[3 * x], line[3 * x + 1], line[3 * x + 2]};
                     },
                     code, mirror);
}

kt50::Stream Decode(const std::vector<uint8_t> &bytes) {
  kt50::Stream stream;
  kt50::DecodeError error{};
  EXPECT_TRUE(kt50::DecodeStream(bytes, stream, error))
      << "at " << error.offset << ": " << error.message;
  return stream;
}

class ChartRoundTrip : public ::testing::TestWithParam<int> {};

TEST_P(ChartRoundTrip, DecodedPagesMatchTheModelAndTheSettings) {
  const int code = GetParam();
  static const char *const names[] = {"TKScreeningNone", "TKScreeningRough", "TKScreeningFine",
                                      "", "", "TKScreeningSolid"};
  const std::vector<ChartPage> pages{{1200, 900, 1}, {3000, 400, 2}, {10100, 120, 3}};
  const std::string options = std::string("TKDotScreening=") + names[code] +
                              " TKWriteDensity=-07 TKAdjustLength=+250 TKWriteSpeed=2"
                              " TKWriteRepeat=1 TKLineEnhance=TKEnhanceBold2 TKLaneOverlap=-2"
                              " TKMirror=" + (code == 2 ? "TKMirrorON" : "TKMirrorOFF");
  const vtest::RunResult r =
      vtest::RunFilter(options, ChartRaster(pages, vtest::Compression::Compressed));
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  const kt50::Stream stream = Decode(r.out);
  ASSERT_TRUE(stream.hasHeader);
  EXPECT_EQ(stream.header.writeDensity, -7);
  EXPECT_EQ(stream.header.adjustLength, 250);
  EXPECT_EQ(stream.header.writeSpeed, 2);
  EXPECT_EQ(stream.header.writeRepeat, 1);
  EXPECT_EQ(stream.header.lineEnhance, 2);
  EXPECT_EQ(stream.header.laneOverlap, -2);
  ASSERT_EQ(stream.pages.size(), pages.size());
  for (size_t i = 0; i < pages.size(); ++i) {
    const ref::Page expected = RenderChart(pages[i], code, code == 2);
    const kt50::Page &page = stream.pages[i];
    EXPECT_EQ(page.width, expected.width);
    EXPECT_EQ(page.height, expected.height);
    EXPECT_FALSE(page.inkBeyondWidth);
    ASSERT_EQ(page.bitmap.size(), expected.bitmap.size());
    EXPECT_TRUE(page.bitmap == expected.bitmap) << "page " << i + 1;
    // The frame's corners are black and always inked.
    const int w = static_cast<int>(std::min<uint32_t>(pages[i].width, 9920));
    EXPECT_TRUE(page.inked(0, 0));
    EXPECT_TRUE(page.inked(w - 1, 0));
    EXPECT_FALSE(page.inked(w, 0));
  }
}

INSTANTIATE_TEST_SUITE_P(Codes, ChartRoundTrip, ::testing::Values(0, 1, 2, 5));

// Image road: whatever the screen, the job is a valid stream of the right
// pages, and white stays white.
TEST(ImageRoadRoundTrip, PagesKeepTheirGeometryAndWhiteStaysBlank) {
  const std::vector<ChartPage> pages{{2000, 1000, 1}, {700, 3000, 2}};
  for (const char *screening : {"TKScreeningFrequencyAngle", "TKScreeningErrorDiffusion"}) {
    const vtest::RunResult r = vtest::RunFilter(std::string("TKDotScreening=") + screening,
                                                ChartRaster(pages, vtest::Compression::None));
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    const kt50::Stream stream = Decode(r.out);
    ASSERT_EQ(stream.pages.size(), 2u);
    EXPECT_EQ(stream.pages[0].width, 2364);
    EXPECT_EQ(stream.pages[0].height, 2364);
    EXPECT_EQ(stream.pages[1].width, 2364);
    EXPECT_EQ(stream.pages[1].height, 3000);
    for (size_t i = 0; i < pages.size(); ++i) {
      const kt50::Page &page = stream.pages[i];
      const int w = static_cast<int>(pages[i].width), h = static_cast<int>(pages[i].height);
      EXPECT_FALSE(page.inkBeyondWidth);
      EXPECT_FALSE(page.lanes.empty());  // the black frame leaves ink
      // Nothing is inked right of or below the drawn area.
      for (int y = 0; y < page.height; y += 13)
        for (int x = w; x < page.width; x += 5) ASSERT_FALSE(page.inked(x, y)) << x << "," << y;
      for (int y = h; y < page.height; y += 3)
        for (int x = 0; x < page.width; x += 11) ASSERT_FALSE(page.inked(x, y)) << x << "," << y;
    }
  }
}

// vantrex-mkraster writes what it says: pages of the asked size that libcups
// reads back, and that the filter prints.
TEST(MkRaster, WritesReadableChartPages) {
  vtest::TempFile out;
  for (const char *compressed : {"", "-c"}) {
    std::vector<std::string> argv{VANTREX_MKRASTER_PATH, "-w", "640", "-h", "480", "-n", "3", "-o",
                                  out.path()};
    if (*compressed) argv.push_back(compressed);
    const vtest::RunResult made = vtest::RunProgram(argv, {});
    ASSERT_EQ(made.exitStatus, 0) << made.err;
    const int fd = open(out.path().c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    cups_raster_t *ras = cupsRasterOpen(fd, CUPS_RASTER_READ);
    ASSERT_NE(ras, nullptr);
    cups_page_header2_t header;
    std::vector<uint8_t> line(640 * 3);
    int pages = 0;
    while (cupsRasterReadHeader2(ras, &header)) {
      ++pages;
      EXPECT_EQ(header.cupsWidth, 640u);
      EXPECT_EQ(header.cupsHeight, 480u);
      EXPECT_EQ(header.cupsBitsPerPixel, 24u);
      EXPECT_EQ(header.cupsColorSpace, CUPS_CSPACE_RGB);
      for (uint32_t y = 0; y < header.cupsHeight; ++y) {
        ASSERT_EQ(cupsRasterReadPixels(ras, line.data(), header.cupsBytesPerLine), 640u * 3);
      }
    }
    cupsRasterClose(ras);
    close(fd);
    EXPECT_EQ(pages, 3);
    const vtest::RunResult r = vtest::RunProgram(
        {vtest::FilterPath(), "1", "u", "t", "1", "TKMirror=TKMirrorOFF", out.path()}, {});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    const kt50::Stream stream = Decode(r.out);
    ASSERT_EQ(stream.pages.size(), 3u);
    const ref::Page expected = RenderChart({640, 480, 3}, 0, false);
    EXPECT_TRUE(stream.pages[2].bitmap == expected.bitmap);
  }
  const vtest::RunResult bad = vtest::RunProgram({VANTREX_MKRASTER_PATH, "-w", "0"}, {});
  EXPECT_EQ(bad.exitStatus, 2);
}

}  // namespace

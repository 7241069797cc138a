// Whole jobs through the real vantrex-filter on the image road (screening
// codes 3 and 4), decoded and compared with whole-page computations.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "filter_support.h"
#include "kt50stream.h"
#include "tavik_reference.h"

namespace {

using namespace tavik_test;

struct Job {
  vtest::RunResult run;
  kt50::Stream stream;
  bool decoded = false;
};

Job RunJob(const std::string &options, const std::vector<vtest::tagRASTERPAGE> &pages) {
  Job job;
  job.run = vtest::RunFilter(options, vtest::MakeRaster(pages, vtest::Compression::Compressed));
  kt50::DecodeError error{};
  job.decoded = kt50::DecodeStream(job.run.out, job.stream, error);
  EXPECT_TRUE(job.decoded) << "offset " << error.offset << ": " << error.message;
  return job;
}

std::string AmOptions(int frequency, int angle) {
  char buf[160];
  snprintf(buf, sizeof buf,
           "TKDotScreening=TKScreeningFrequencyAngle TKDotScreeningFrequency=+%03d "
           "TKDotScreeningAngle=+%02d TKMirror=TKMirrorOFF",
           frequency, angle);
  return buf;
}
const std::string kDiffusion = "TKDotScreening=TKScreeningErrorDiffusion TKMirror=TKMirrorOFF";

TEST(ImageRoadJob, WhiteStaysBlankBlackInksEveryPixel) {
  for (const std::string &options : {AmOptions(38, 37), kDiffusion}) {
    const Job white = RunJob(options, {vtest::SolidPage(3000, 2000, {255, 255, 255})});
    EXPECT_EQ(white.run.exitStatus, 0) << white.run.err;
    ASSERT_EQ(white.stream.pages.size(), 1u);
    EXPECT_TRUE(white.stream.pages[0].lanes.empty()) << options;

    const Job black = RunJob(options, {vtest::SolidPage(3000, 2000, {0, 0, 0})});
    EXPECT_EQ(black.run.exitStatus, 0) << black.run.err;
    ASSERT_EQ(black.stream.pages.size(), 1u);
    const kt50::Page &page = black.stream.pages[0];
    EXPECT_EQ(page.width, 3000);
    EXPECT_EQ(page.height, 2364);
    for (int y = 0; y < 2364; ++y)
      for (int x = 0; x < 3008; ++x)
        ASSERT_EQ(page.inked(x, y), x < 3000 && y < 2000) << options << " at " << x << "," << y;
  }
}

// Grays whose ink values are the fixed points of the tone curves, so the
// expected dots follow from the values below alone.
const uint8_t kPinnedInks[] = {0, 1, 2, 3, 4, 16, 32, 48, 64, 80, 96, 112, 128,
                               144, 160, 176, 192, 208, 224, 240, 255};
// gamma_curve_141L_45d (122 to 169 lpi) and gamma_curve_gosa at those inks.
const uint8_t k141[] = {0, 1, 1, 1, 1, 4, 9, 15, 22, 30, 41, 52, 65,
                        79, 96, 116, 142, 173, 202, 229, 255};
const uint8_t kGosa[] = {0, 1, 1, 1, 1, 4, 9, 15, 22, 29, 37, 45, 53,
                         62, 72, 81, 91, 106, 126, 167, 255};

vtest::RGB PinnedGray(uint32_t x, uint32_t y) {
  const uint8_t ink = kPinnedInks[((x / 37) + (y / 53) * 3) % 21];
  const uint8_t g = static_cast<uint8_t>(255 - ink);  // R = G = B = g gives ink 255 - g
  return {g, g, g};
}

tagGAMMACURVE CurveThroughPins(const uint8_t (&values)[21]) {
  tagGAMMACURVE c{};
  for (int i = 0; i < 21; ++i) c[kPinnedInks[i]] = values[i];
  return c;
}

TEST(ImageRoadJob, AmScreenDotsAcrossBandBorders) {
  const int w = 2600, h = 1750;  // bands end at lines 845 and 1690
  const Job job = RunJob(AmOptions(150, 30), {vtest::RgbPage(w, h, PinnedGray)});
  EXPECT_EQ(job.run.exitStatus, 0) << job.run.err;
  ASSERT_EQ(job.stream.pages.size(), 1u);
  const kt50::Page &page = job.stream.pages[0];
  const tagDEVDATA dev = ScreenFor(150, 30);
  const Reference ref(w, h, PinnedGray, CurveThroughPins(k141));
  for (int y = 0; y < 2364; ++y)
    for (int x = 0; x < w + 8; ++x)
      ASSERT_EQ(page.inked(x, y), x < w && y < h && ref.Am(dev, x, y)) << x << "," << y;
}

TEST(ImageRoadJob, ErrorDiffusionAcrossBandBorders) {
  const int w = 2600, h = 1750;
  const Job job = RunJob(kDiffusion, {vtest::RgbPage(w, h, PinnedGray)});
  EXPECT_EQ(job.run.exitStatus, 0) << job.run.err;
  ASSERT_EQ(job.stream.pages.size(), 1u);
  const kt50::Page &page = job.stream.pages[0];
  const std::vector<bool> expected = Reference(w, h, PinnedGray, CurveThroughPins(kGosa)).Diffused();
  for (int y = 0; y < 2364; ++y)
    for (int x = 0; x < w + 8; ++x)
      ASSERT_EQ(page.inked(x, y), y < h && expected[y * kW + x]) << x << "," << y;
}

TEST(ImageRoadJob, MirroredByDefault) {
  const auto dot = [](uint32_t x, uint32_t y) {
    return x == 0 && y == 0 ? vtest::RGB{0, 0, 0} : vtest::RGB{255, 255, 255};
  };
  const Job job = RunJob("TKDotScreening=TKScreeningErrorDiffusion", {vtest::RgbPage(900, 3, dot)});
  ASSERT_EQ(job.stream.pages.size(), 1u);
  EXPECT_TRUE(job.stream.pages[0].inked(899, 0));
  EXPECT_FALSE(job.stream.pages[0].inked(0, 0));
}

TEST(ImageRoadJob, TruncatedPageIsReportedNotHidden) {
  const std::vector<vtest::tagRASTERPAGE> pages{vtest::SolidPage(100, 40, {0, 0, 0}),
                                                vtest::SolidPage(100, 40, {0, 0, 0})};
  std::vector<uint8_t> raster = vtest::MakeRaster(pages);
  raster.resize(raster.size() - 300 * 10);  // the second page loses its last ten lines
  const vtest::RunResult run = vtest::RunFilter(kDiffusion, raster);
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_NE(run.err.find("ERROR: raster ended early: page 2 has 30 of its 40 lines"), std::string::npos)
      << run.err;
  kt50::Stream stream;
  kt50::DecodeError error{};
  ASSERT_TRUE(kt50::DecodeStream(run.out, stream, error)) << error.message;
  ASSERT_GE(stream.pages.size(), 1u);
  for (int y = 0; y < 40; ++y) EXPECT_TRUE(stream.pages[0].inked(50, y)) << y;
}

}  // namespace

// The same pages with the same settings give the same bytes through
// vantrex-filter (24-bit RGB CUPS raster, TK job options) and through the
// printer application (8-bit gray PWG raster of the same gray values,
// kt50-... job attributes): every screening method, mirror on and off; and a
// colour picture (PNG) turns into ink by the filter's own rule on both roads.
#include <gtest/gtest.h>
#include <png.h>

#include <array>
#include <cstdio>
#include <string>

#include "app_support.h"
#include "filter_support.h"
#include "kt50stream.h"

namespace {

using apptest::AppServer;

struct tagCASE {
  const char *choice;   // the filter's choice name
  const char *keyword;  // the application's keyword
};

constexpr std::array<tagCASE, 6> kScreenings{{
    {"TKScreeningNone", "threshold"},
    {"TKScreeningRough", "rough"},
    {"TKScreeningFine", "fine"},
    {"TKScreeningFrequencyAngle", "frequency-angle"},
    {"TKScreeningErrorDiffusion", "error-diffusion"},
    {"TKScreeningSolid", "solid"},
}};

// Gradients across and down the page with a hashed noise on top.
uint8_t Pixel(uint32_t page, uint32_t x, uint32_t y, uint32_t w, uint32_t h) {
  uint32_t hash = (x * 73856093u) ^ (y * 19349663u) ^ (page * 83492791u);
  hash ^= hash >> 13;
  hash *= 0x5bd1e995u;
  hash ^= hash >> 15;
  const int noise = static_cast<int>(hash % 61) - 30;
  const int ramp = static_cast<int>(x * 200 / w + y * 55 / h);
  return static_cast<uint8_t>(std::clamp(ramp + noise, 0, 255));
}

// Sizes that are not multiples of 8, one wider than two lanes.
constexpr std::array<std::array<uint32_t, 2>, 3> kSizes{{{2603, 1201}, {5011, 733}, {1317, 1999}}};

std::vector<apptest::GrayPage> GrayPages() {
  std::vector<apptest::GrayPage> pages;
  for (uint32_t p = 0; p < kSizes.size(); ++p) {
    const uint32_t w = kSizes[p][0], h = kSizes[p][1];
    pages.push_back({w, h, [=](uint32_t x, uint32_t y) { return Pixel(p, x, y, w, h); }});
  }
  return pages;
}

std::vector<vtest::tagRASTERPAGE> RgbPages() {
  std::vector<vtest::tagRASTERPAGE> pages;
  for (uint32_t p = 0; p < kSizes.size(); ++p) {
    const uint32_t w = kSizes[p][0], h = kSizes[p][1];
    pages.push_back(vtest::RgbPage(w, h, [=](uint32_t x, uint32_t y) {
      const uint8_t g = Pixel(p, x, y, w, h);
      return vtest::RGB{g, g, g};
    }));
  }
  return pages;
}

class EquivalenceTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = new AppServer();
    dir_ = new apptest::TempDir();
    ASSERT_TRUE(apptest::WritePwgRaster(PwgPath(), GrayPages()));
    rgb_ = new std::vector<uint8_t>(vtest::MakeRaster(RgbPages()));
  }
  static void TearDownTestSuite() {
    delete server_;
    delete dir_;
    delete rgb_;
  }
  static std::string PwgPath() { return dir_->path() + "/pages.pwg"; }

  static AppServer *server_;
  static apptest::TempDir *dir_;
  static std::vector<uint8_t> *rgb_;
};

AppServer *EquivalenceTest::server_ = nullptr;
apptest::TempDir *EquivalenceTest::dir_ = nullptr;
std::vector<uint8_t> *EquivalenceTest::rgb_ = nullptr;

TEST_F(EquivalenceTest, SameBytesAsTheFilterForEveryScreeningAndMirror) {
  int n = 0;
  for (const tagCASE &screening : kScreenings) {
    for (bool mirror : {true, false}) {
      SCOPED_TRACE(std::string(screening.keyword) + (mirror ? " mirrored" : " not mirrored"));
      // Header values and the AM screen's parameters vary with the case too.
      const int density = (n % 5) * 4 - 8, frequency = 38 + 13 * n, angle = (7 * n) % 91;
      const std::string filterOptions = std::string("TKDotScreening=") + screening.choice +
                                        " TKMirror=" + (mirror ? "TKMirrorON" : "TKMirrorOFF") +
                                        " TKWriteDensity=" + std::to_string(density) +
                                        " TKWriteSpeed=" + std::to_string(n % 4) +
                                        " TKLaneOverlap=" + std::to_string(n % 7 - 3) +
                                        " TKAdjustLength=" + std::to_string(37 * n - 200) +
                                        " TKDotScreeningFrequency=" + std::to_string(frequency) +
                                        " TKDotScreeningAngle=" + std::to_string(angle);
      const vtest::RunResult filter =
          vtest::RunFilter(filterOptions, *rgb_, vtest::Input::NamedFile);
      ASSERT_EQ(filter.exitStatus, 0) << filter.err;

      const std::string jobName = "eq-" + std::to_string(n);
      const apptest::JobResult job =
          apptest::PrintFile(*server_, PwgPath(), "image/pwg-raster", jobName,
                             {{"kt50-dot-screening", screening.keyword},
                              {"kt50-mirror", mirror ? "true" : "false"},
                              {"kt50-write-density", std::to_string(density)},
                              {"kt50-write-speed", std::to_string(n % 4)},
                              {"kt50-lane-overlap", std::to_string(n % 7 - 3)},
                              {"kt50-adjust-length", std::to_string(37 * n - 200)},
                              {"kt50-screening-frequency", std::to_string(frequency)},
                              {"kt50-screening-angle", std::to_string(angle)}});
      ASSERT_EQ(job.state, IPP_JSTATE_COMPLETED) << job.message;
      const std::vector<uint8_t> app = apptest::ReadFile(server_->OutputPath(jobName));

      kt50::Stream stream;
      kt50::DecodeError error;
      ASSERT_TRUE(kt50::DecodeStream(app, stream, error)) << error.message;
      EXPECT_EQ(stream.pages.size(), kSizes.size());
      EXPECT_EQ(stream.header.writeDensity, density);
      EXPECT_GT(app.size(), 1000u);
      EXPECT_TRUE(app == filter.out)
          << "app " << app.size() << " bytes, filter " << filter.out.size() << " bytes";
      ++n;
    }
  }
}

// A colour PNG of exactly an A6 page at 600 dpi, printed unscaled, lies on
// the page pixel for pixel: the stream is the filter's for the same RGB.
bool WritePng(const std::string &path, uint32_t w, uint32_t h, const std::vector<uint8_t> &rgb) {
  FILE *out = std::fopen(path.c_str(), "wb");
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  const bool ok = out && info && !setjmp(png_jmpbuf(png));
  if (ok) {
    png_init_io(png, out);
    png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_pHYs(png, info, 23622, 23622, PNG_RESOLUTION_METER);  // 600 dpi
    png_write_info(png, info);
    for (uint32_t y = 0; y < h; ++y) png_write_row(png, &rgb[3 * size_t{w} * y]);
    png_write_end(png, info);
  }
  png_destroy_write_struct(&png, &info);
  return out && std::fclose(out) == 0 && ok;
}

TEST_F(EquivalenceTest, ColourPictureInkedByTheFiltersRuleOnBothRoads) {
  const uint32_t w = 2480, h = 3496;  // A6 at 600 dpi
  std::vector<uint8_t> rgb(3 * size_t{w} * h);
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x)
      for (uint32_t c = 0; c < 3; ++c)
        rgb[3 * (size_t{w} * y + x) + c] = Pixel(c, (x + 97 * c) % w, y, w, h);
  const std::string png = dir_->path() + "/colour.png";
  ASSERT_TRUE(WritePng(png, w, h, rgb));
  const std::vector<uint8_t> raster =
      vtest::MakeRaster(std::vector{vtest::RgbPage(w, h, [&](uint32_t x, uint32_t y) {
        const uint8_t *p = &rgb[3 * (size_t{w} * y + x)];
        return vtest::RGB{p[0], p[1], p[2]};
      })});
  for (const tagCASE &screening : {kScreenings[0], kScreenings[4]}) {
    SCOPED_TRACE(screening.keyword);
    const vtest::RunResult filter = vtest::RunFilter(
        std::string("TKDotScreening=") + screening.choice, raster, vtest::Input::NamedFile);
    ASSERT_EQ(filter.exitStatus, 0) << filter.err;
    const std::string jobName = std::string("colour-") + screening.keyword;
    const apptest::JobResult job = apptest::PrintFile(*server_, png, "image/png", jobName,
                                                      {{"kt50-dot-screening", screening.keyword},
                                                       {"media", "iso_a6_105x148mm"},
                                                       {"print-scaling", "none"}});
    ASSERT_EQ(job.state, IPP_JSTATE_COMPLETED) << job.message;
    EXPECT_TRUE(apptest::ReadFile(server_->OutputPath(jobName)) == filter.out);
  }
}

}  // namespace

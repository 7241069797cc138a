// The same pages with the same settings give the same bytes through
// vantrex-filter (24-bit RGB CUPS raster, TK job options) and through the
// printer application (8-bit gray PWG raster of the same gray values,
// kt50-... job attributes): every screening method, mirror on and off.
#include <gtest/gtest.h>

#include <array>
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
      const std::string filterOptions =
          std::string("TKDotScreening=") + screening.choice +
          " TKMirror=" + (mirror ? "TKMirrorON" : "TKMirrorOFF") +
          " TKWriteDensity=" + std::to_string(density) + " TKWriteSpeed=" + std::to_string(n % 4) +
          " TKLaneOverlap=" + std::to_string(n % 7 - 3) +
          " TKAdjustLength=" + std::to_string(37 * n - 200) +
          " TKDotScreeningFrequency=" + std::to_string(frequency) +
          " TKDotScreeningAngle=" + std::to_string(angle);
      const vtest::RunResult filter = vtest::RunFilter(filterOptions, *rgb_, vtest::Input::NamedFile);
      ASSERT_EQ(filter.exitStatus, 0) << filter.err;

      const std::string jobName = "eq-" + std::to_string(n);
      const apptest::JobResult job = apptest::PrintFile(
          *server_, PwgPath(), "image/pwg-raster", jobName,
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
      EXPECT_TRUE(app == filter.out) << "app " << app.size() << " bytes, filter "
                                     << filter.out.size() << " bytes";
      ++n;
    }
  }
}

}  // namespace

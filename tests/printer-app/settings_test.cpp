// The ten settings as printer defaults: set by IPP, applied to jobs that name
// none (PAPPL 1.3.1 does not pass them on by itself), saved in a state file
// only the server's user reads, and still there after a restart.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <thread>

#include "app_support.h"
#include "filter_support.h"
#include "kt50stream.h"

namespace {

using apptest::AppServer;

TEST(SettingsTest, DefaultsAreAppliedSavedAndKeptAcrossARestart) {
  AppServer server;
  apptest::TempDir dir;
  const uint32_t w = 2611, h = 411;
  const auto gray = [](uint32_t x, uint32_t y) { return static_cast<uint8_t>((x / 3 + y) % 256); };
  const std::string pwg = dir.path() + "/page.pwg";
  ASSERT_TRUE(apptest::WritePwgRaster(pwg, {{w, h, gray}}));
  const std::vector<uint8_t> rgb =
      vtest::MakeRaster(std::vector{vtest::RgbPage(w, h, [&](uint32_t x, uint32_t y) {
        const uint8_t g = gray(x, y);
        return vtest::RGB{g, g, g};
      })});
  const vtest::RunResult expected = vtest::RunFilter(
      "TKWriteDensity=-5 TKLaneOverlap=-3 TKDotScreening=TKScreeningErrorDiffusion "
      "TKMirror=TKMirrorOFF TKDotScreeningAngle=0",
      rgb);
  ASSERT_EQ(expected.exitStatus, 0) << expected.err;

  ASSERT_EQ(
      apptest::SetPrinterAttributes(server, {{"kt50-write-density-default", "-5"},
                                             {"kt50-lane-overlap-default", "-3"},
                                             {"kt50-dot-screening-default", "error-diffusion"},
                                             {"kt50-mirror-default", "false"},
                                             {"kt50-screening-angle-default", "0"}}),
      IPP_STATUS_OK);
  for (const char *phase : {"before-restart", "after-restart"}) {
    SCOPED_TRACE(phase);
    EXPECT_EQ(apptest::PrinterAttribute(server, "kt50-write-density-default"), "-5");
    EXPECT_EQ(apptest::PrinterAttribute(server, "kt50-screening-angle-default"), "0");
    const apptest::JobResult job = apptest::PrintFile(server, pwg, "image/pwg-raster", phase);
    ASSERT_EQ(job.state, IPP_JSTATE_COMPLETED) << job.message;
    EXPECT_TRUE(apptest::ReadFile(server.OutputPath(phase)) == expected.out);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // the state is saved each second
    server.Restart();
  }
  struct stat info {};
  ASSERT_EQ(stat((server.dir() + "/home/.config/vantrex-printer-app.state").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 077, 0u);

  // A job's own value wins over the default.
  const apptest::JobResult own =
      apptest::PrintFile(server, pwg, "image/pwg-raster", "own", {{"kt50-write-density", "3"}});
  ASSERT_EQ(own.state, IPP_JSTATE_COMPLETED) << own.message;
  kt50::Stream stream;
  kt50::DecodeError error;
  ASSERT_TRUE(kt50::DecodeStream(apptest::ReadFile(server.OutputPath("own")), stream, error));
  EXPECT_EQ(stream.header.writeDensity, 3);
  EXPECT_EQ(stream.header.laneOverlap, -3);
}

// Set-Printer-Attributes with a value the printer cannot take is refused,
// naming the attribute, and the stored default stays as it was.
TEST(SettingsTest, OutOfRangeDefaultsAreRefusedAndChangeNothing) {
  AppServer server;
  const apptest::Options refused{{"kt50-screening-angle-default", "400"},
                                 {"kt50-write-density-default", "-99"},
                                 {"kt50-dot-screening-default", "bogus"}};
  for (const auto &[name, value] : refused) {
    SCOPED_TRACE(name);
    const std::string before = apptest::PrinterAttribute(server, name);
    EXPECT_EQ(apptest::SetPrinterAttributes(server, {{name, value}}),
              IPP_STATUS_ERROR_ATTRIBUTES_OR_VALUES);
    EXPECT_EQ(apptest::PrinterAttribute(server, name), before);
  }
}

}  // namespace

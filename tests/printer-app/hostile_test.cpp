// What clients must not be able to do to the printer application: values the
// printer cannot take, cut or malformed raster, devices outside the allowed
// ones; and what a stop does to the job in progress. Raw streams pass.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app_support.h"
#include "filter_support.h"
#include "kt50stream.h"

namespace {

using apptest::AppServer;
using namespace std::chrono_literals;

apptest::GrayPage Ramp(uint32_t w, uint32_t h) {
  return {w, h, [=](uint32_t x, uint32_t y) { return static_cast<uint8_t>((x + 3 * y) % 256); }};
}

bool Refused(const apptest::JobResult &job) {
  return job.submitStatus > IPP_STATUS_OK_EVENTS_COMPLETE || job.state == IPP_JSTATE_ABORTED;
}

bool NothingPrinted(const AppServer &server, const std::string &jobName) {
  return apptest::ReadFile(server.OutputPath(jobName)).empty();
}

class HostileTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = new AppServer();
    dir_ = new apptest::TempDir();
    ASSERT_TRUE(apptest::WritePwgRaster(Pwg(), {Ramp(2501, 301), Ramp(2503, 297)}));
  }
  static void TearDownTestSuite() {
    delete server_;
    delete dir_;
  }
  static std::string Pwg() { return dir_->path() + "/ramp.pwg"; }
  // The server still prints a good job after whatever came before.
  static void ExpectStillServing(const std::string &jobName) {
    const apptest::JobResult job = apptest::PrintFile(*server_, Pwg(), "image/pwg-raster", jobName);
    EXPECT_EQ(job.state, IPP_JSTATE_COMPLETED) << job.message;
    EXPECT_FALSE(NothingPrinted(*server_, jobName));
  }

  static AppServer *server_;
  static apptest::TempDir *dir_;
};

AppServer *HostileTest::server_ = nullptr;
apptest::TempDir *HostileTest::dir_ = nullptr;

TEST_F(HostileTest, UnsupportedValuesAreRefusedAndPrintNothing) {
  const apptest::Options values{
      {"kt50-write-density", "99"},         {"kt50-write-density", "-17"},
      {"kt50-screening-angle", "91"},       {"kt50-screening-frequency", "37"},
      {"kt50-screening-frequency", "12abc"}, {"kt50-write-speed", "4"},
      {"kt50-lane-overlap", "+-1"},         {"kt50-dot-screening", "bogus-value"},
      {"kt50-dot-screening", "Error-Diffusion"}, {"kt50-line-enhance", std::string(300, 'b')},
      {"kt50-mirror", "maybe"},             {"kt50-adjust-length", "99999999999999999999"},
  };
  int n = 0;
  for (const auto &[name, value] : values) {
    SCOPED_TRACE(name + "=" + value.substr(0, 40));
    const std::string jobName = "bad-" + std::to_string(n++);
    const apptest::JobResult job =
        apptest::PrintFile(*server_, Pwg(), "image/pwg-raster", jobName, {{name, value}});
    EXPECT_TRUE(Refused(job)) << "state " << job.state;
    EXPECT_TRUE(NothingPrinted(*server_, jobName));
  }
  ExpectStillServing("after-bad-values");
}

TEST_F(HostileTest, CutRasterKeepsTheCompletePagesAndAbortsTheJob) {
  const std::vector<uint8_t> whole = apptest::ReadFile(Pwg());
  ASSERT_GT(whole.size(), 2000u);
  // Cut in the middle of the second page's lines.
  const std::vector<uint8_t> cut(whole.begin(), whole.end() - static_cast<long>(whole.size() / 4));
  const std::string path = dir_->path() + "/cut.pwg";
  apptest::WriteFile(path, cut);
  const apptest::JobResult job = apptest::PrintFile(*server_, path, "image/pwg-raster", "cut");
  EXPECT_EQ(job.state, IPP_JSTATE_ABORTED) << job.message;
  kt50::Stream stream;
  kt50::DecodeError error;
  ASSERT_TRUE(kt50::DecodeStream(apptest::ReadFile(server_->OutputPath("cut")), stream, error))
      << error.message;
  EXPECT_EQ(stream.pages.size(), 1u);  // the first page, whole; no half page
  ExpectStillServing("after-cut");
}

TEST_F(HostileTest, MalformedRasterAbortsTheJob) {
  std::vector<uint8_t> junk = {'R', 'a', 'S', '2'};
  for (int i = 0; i < 5000; ++i) junk.push_back(static_cast<uint8_t>(i * 37 + 11));
  const std::string path = dir_->path() + "/junk.pwg";
  apptest::WriteFile(path, junk);
  const apptest::JobResult job = apptest::PrintFile(*server_, path, "image/pwg-raster", "junk");
  EXPECT_TRUE(Refused(job)) << "state " << job.state;
  EXPECT_TRUE(NothingPrinted(*server_, "junk"));
  ExpectStillServing("after-junk");
}

TEST_F(HostileTest, RawStreamsPassThroughUnchanged) {
  const std::vector<uint8_t> raster = vtest::MakeRaster(std::vector{vtest::SolidPage(2480, 100, {0, 0, 0})});
  const vtest::RunResult filter = vtest::RunFilter("TKWriteDensity=7", raster);
  ASSERT_EQ(filter.exitStatus, 0) << filter.err;
  std::vector<uint8_t> stream = filter.out;
  stream.push_back(0x00);  // not ours to judge: the printer gets every byte
  const std::string path = dir_->path() + "/raw.kt50";
  apptest::WriteFile(path, stream);
  for (const char *format : {"application/vnd.vantrex-kt50", "application/octet-stream"}) {
    SCOPED_TRACE(format);
    const std::string jobName = std::string("raw-") + (format[12] == 'v' ? "typed" : "detected");
    const apptest::JobResult job = apptest::PrintFile(*server_, path, format, jobName,
                                                      {{"kt50-write-density", "-3"}});
    EXPECT_EQ(job.state, IPP_JSTATE_COMPLETED) << job.message;
    EXPECT_TRUE(apptest::ReadFile(server_->OutputPath(jobName)) == stream);
  }
}

TEST_F(HostileTest, DevicesOutsideTheAllowedOnesAreRefused) {
  const std::string spool = server_->dir() + "/spool";
  std::filesystem::create_directory_symlink("/tmp", spool + "/escape");
  const std::vector<std::string> refused{
      "file:///etc/kt50-device", "file://" + spool + "/escape/kt50-device",
      "file://" + spool + "/../kt50-device", "ipp://127.0.0.1:1/ipp/print", "lpd://127.0.0.1/q",
      "file://" + spool + "%2F..%2Fx"};
  int n = 0;
  for (const std::string &uri : refused) {
    SCOPED_TRACE(uri);
    EXPECT_NE(server_->RunCommand({"add", "-d", "X" + std::to_string(n++), "-m", "vantrex_kt50",
                                   "-v", uri}),
              0);
  }
  EXPECT_EQ(server_->RunCommand({"add", "-d", "Net", "-m", "vantrex_kt50", "-v",
                                 "socket://127.0.0.1:9"}),
            0);
  std::string printers;
  EXPECT_EQ(server_->RunCommand({"printers"}, &printers), 0);
  EXPECT_NE(printers.find("Net"), std::string::npos);
  EXPECT_EQ(printers.find("X"), std::string::npos) << printers;
}

bool Ended(int pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string field;
  for (int i = 0; i < 3 && stat >> field; ++i) {
  }
  return !stat || field == "Z";
}

// A long PDF job in progress when the server is told to stop: the job ends
// aborted at once, with whole pages only at the device.
TEST(StopTest, SigtermAbortsTheJobInProgressAndStops) {
  AppServer server;
  apptest::TempDir dir;
  {
    std::ofstream ps(dir.path() + "/long.ps");
    ps << "%!PS\n<< /PageSize [842 1191] >> setpagedevice\n"
          "1 1 60 { pop 0 1 99 { /i exch def i 100 div setgray 0 i 11.91 mul 842 11.91 rectfill }"
          " for showpage } for\n";
  }
  const std::string pdf = dir.path() + "/long.pdf";
  ASSERT_EQ(std::system(("gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pdfwrite -sOutputFile=" + pdf +
                         " " + dir.path() + "/long.ps").c_str()),
            0);
  const apptest::JobResult job = apptest::PrintFile(server, pdf, "application/pdf", "long", {}, 0);
  ASSERT_GT(job.id, 0);
  const std::string out = server.OutputPath("long");
  for (int i = 0; i < 600 && apptest::ReadFile(out).empty(); ++i) std::this_thread::sleep_for(50ms);
  ASSERT_FALSE(apptest::ReadFile(out).empty());

  const int pid = server.pid();
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(kill(pid, SIGTERM), 0);
  while (!Ended(pid) && std::chrono::steady_clock::now() - start < 20s) std::this_thread::sleep_for(10ms);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_TRUE(Ended(pid));
  // Rendering the remaining pages would take many seconds; a stop takes at
  // most the main loop's one-second tick (bound kept loose for busy machines).
  EXPECT_LT(took, 5s);

  kt50::Stream stream;
  kt50::DecodeError error;
  ASSERT_TRUE(kt50::DecodeStream(apptest::ReadFile(out), stream, error)) << error.message;
  EXPECT_GE(stream.pages.size(), 1u);
  EXPECT_LT(stream.pages.size(), 60u);
  EXPECT_NE(server.Log().find("[Job " + std::to_string(job.id) + "] Aborted"), std::string::npos);
}

}  // namespace

// SPDX-License-Identifier: Apache-2.0
// The test print panel's buttons against a raw queue of a private CUPS
// scheduler, and the version panel, which never touches the settings.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "cmnFilter.h"
#include "pde_host.h"
#ifdef VANTREX_HAVE_PRIVATE_CUPS
#include "private_cups.h"
#endif

using pde_test::runHost;

namespace {

namespace fs = std::filesystem;
const std::string kPrefix = "com.tavik.printsettings.VANTREX_KT50.";

TEST(OptionPDEPanel, ButtonsAndBoxCarryTheirTexts) {
  auto run = runHost({}, "show OptionPDE\nget OptionPDE TestBoxTitle\nget OptionPDE TestBoxGuide\n"
                         "get OptionPDE TestATitle\nget OptionPDE TestBTitle\n"
                         "get OptionPDE TestCTitle\nsave OptionPDE\nrestore OptionPDE\n"
                         "summary OptionPDE\nwrites\n");
  ASSERT_EQ(run.status, 0) << run.dump();
  for (const char *outlet : {"TestBoxTitle", "TestATitle", "TestBTitle", "TestCTitle"}) {
    std::string title = run[std::string("OptionPDE.") + outlet + ".title"];
    EXPECT_FALSE(title.empty()) << outlet;
    EXPECT_EQ(title.rfind("TK", 0), std::string::npos) << outlet << " left as its key";
  }
  EXPECT_FALSE(run["OptionPDE.TestBoxGuide.string"].empty());
  EXPECT_EQ(run["OptionPDE.summary"], "nil");
  EXPECT_TRUE(run.all("write").empty());
}

// Without a printer in the dialog there is no queue to send to: the
// failure is shown and the patched copy does not stay behind.
TEST(OptionPDEPanel, NoPrinterShowsTheFailureAndLeavesNoCopy) {
  std::string jobs = pde_test::makeTempDir(), tmp = pde_test::makeTempDir();
  std::string stored(reinterpret_cast<const char *>(g_JobHeader.data()), g_JobHeader.size());
  pde_test::writeFile(jobs + "/VANTREX_KT50Test_C.prn", stored + "payload");
  auto run = runHost({"--test-jobs", jobs, "--answer-alerts"},
                     "show OptionPDE\nclick OptionPDE TestCTitle\n", {"TMPDIR=" + tmp});
  ASSERT_EQ(run.status, 0) << run.dump();
  EXPECT_NE(run["alert"].find("Test print C could not be sent"), std::string::npos)
      << run.dump();
  EXPECT_TRUE(fs::is_empty(tmp));
}

TEST(VersionPDEPanel, ShowingSavingAndRestoringLeaveTheSettingsAlone) {
  auto run = runHost({"--set", "mirror=true"},
                     "show VersionPDE\nsave VersionPDE\nrestore VersionPDE\nshow VersionPDE\n"
                     "save VersionPDE\nsummary VersionPDE\nwrites\nstore\n");
  ASSERT_EQ(run.status, 0) << run.dump();
  EXPECT_EQ(run.all("VersionPDE.save"), (std::vector<std::string>{"1", "1"}));
  EXPECT_EQ(run["VersionPDE.restore"], "1");
  EXPECT_EQ(run["VersionPDE.summary"], "nil");
  // Only the host's own setting was ever written.
  EXPECT_EQ(run.all("write"), (std::vector<std::string>{"mirror"}));
  EXPECT_EQ(run.all("store[mirror]"), (std::vector<std::string>{"true"}));
}

#ifdef VANTREX_HAVE_PRIVATE_CUPS

class TestPrintButtons : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(cups_.ok()) << cups_.error();
    capture_ = cups_.captureDir() + "/raw.out";
    ASSERT_TRUE(cups_.addQueue("KT50raw", "", capture_)) << cups_.error();
    jobs_ = pde_test::makeTempDir();
    tmp_ = pde_test::makeTempDir();
  }

  pde_test::HostRun click(const char *button, const std::vector<std::string> &extra = {}) {
    std::vector<std::string> args{"--queue", "KT50raw", "--test-jobs", jobs_, "--answer-alerts"};
    args.insert(args.end(), extra.begin(), extra.end());
    return runHost(args, std::string("show OptionPDE\nclick OptionPDE ") + button + "\n",
                   {"CUPS_SERVER=" + cups_.server(), "TMPDIR=" + tmp_});
  }

  bool tmpIsEmpty() const { return fs::is_empty(tmp_); }

  vantrex::test::PrivateCups cups_{""};
  std::string capture_, jobs_, tmp_;
};

TEST_F(TestPrintButtons, ButtonASendsThePatchedStoredJobAsARawJob) {
  std::string stored(reinterpret_cast<const char *>(g_JobHeader.data()), g_JobHeader.size());
  for (int i = 0; i < 3000; ++i) stored += static_cast<char>(i * 7);
  pde_test::writeFile(jobs_ + "/VANTREX_KT50Test_A.prn", stored);
  auto run = click("TestATitle", {"--set", kPrefix + "TKWriteDensity=+05", "--set",
                                  kPrefix + "TKLaneOverlap=-3", "--set",
                                  kPrefix + "TKAdjustLength=-125"});
  ASSERT_EQ(run.status, 0) << run.dump();
  EXPECT_NE(run["alert"].find("Test print A was sent"), std::string::npos) << run.dump();
  ASSERT_EQ(cups_.waitForJob(1, 60), IPP_JSTATE_COMPLETED) << cups_.errorLog();
  std::string printed = pde_test::readFile(capture_);
  ASSERT_EQ(printed.size(), stored.size());
  EXPECT_EQ(static_cast<uint8_t>(printed[3]), 5);     // density
  EXPECT_EQ(static_cast<uint8_t>(printed[19]), 0xFD);  // first lane overlap choice: -3
  std::string expected = stored;
  SetPrintJobHeader(reinterpret_cast<uint8_t *>(expected.data()), 5, -125, 0, 0, 0, -3);
  EXPECT_EQ(printed, expected);
  EXPECT_TRUE(tmpIsEmpty()) << "the patched copy was left behind";
}

TEST_F(TestPrintButtons, MissingStoredJobShowsTheFailureAndSendsNothing) {
  auto run = click("TestBTitle");
  ASSERT_EQ(run.status, 0) << run.dump();
  EXPECT_NE(run["alert"].find("Test print B could not be sent"), std::string::npos)
      << run.dump();
  auto jobs = cups_.run({"lpstat", "-h", cups_.server(), "-W", "all", "-o"});
  EXPECT_EQ(jobs.output.find("KT50raw"), std::string::npos) << jobs.output;
  EXPECT_FALSE(fs::exists(capture_));
  EXPECT_TRUE(tmpIsEmpty());
}

// The folder of the stored jobs comes from the host program only: a folder
// named in the environment (VANTREX_TEST_JOB_DIR, once read by the plug-in)
// must not decide what a test print sends to the printer.
TEST_F(TestPrintButtons, EnvironmentDoesNotChooseTheStoredJobs) {
  std::string stored(reinterpret_cast<const char *>(g_JobHeader.data()), g_JobHeader.size());
  const std::string payload = "planted through the environment";
  pde_test::writeFile(jobs_ + "/VANTREX_KT50Test_A.prn", stored + payload);
  auto run = runHost({"--queue", "KT50raw", "--answer-alerts"},
                     "show OptionPDE\nclick OptionPDE TestATitle\n",
                     {"CUPS_SERVER=" + cups_.server(), "TMPDIR=" + tmp_,
                      "VANTREX_TEST_JOB_DIR=" + jobs_});
  ASSERT_EQ(run.status, 0) << run.dump();
  auto jobs = cups_.run({"lpstat", "-h", cups_.server(), "-W", "all", "-o"});
  if (jobs.output.find("KT50raw") != std::string::npos) cups_.waitForJob(1, 60);
  const std::string printed = fs::exists(capture_) ? pde_test::readFile(capture_) : "";
  EXPECT_EQ(printed.find(payload), std::string::npos) << run.dump();
}

#endif

}  // namespace

// SPDX-License-Identifier: Apache-2.0
// The test print end to end: stored jobs written here, the settings stored
// at the click, a raw job through a private CUPS scheduler, and what
// arrives at the queue's device.
#include <cups/cups.h>
#include <gtest/gtest.h>

#include <memory>

#include "TestJobs.h"
#include "TestPrintModel.h"
#include "TestPpd.h"
#include "private_cups.h"

using namespace dialog_model_test;
using vantrex::test::PrivateCups;
namespace fs = std::filesystem;

namespace {

class TestPrintThroughCups : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    cups_ = new PrivateCups("");
    if (cups_->ok()) cups_->useForThisProcess();
  }
  static void TearDownTestSuite() {
    delete cups_;
    cups_ = nullptr;
  }

  void SetUp() override {
    ASSERT_TRUE(cups_->ok()) << cups_->error();
    ASSERT_NE(ppd.get(), nullptr);
    ASSERT_TRUE(initPanelSettings(ppd.get(), s));
    fs::create_directory(tmp);
    fs::create_directory(jobs);
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    queue = "KT50_" + name;
    capture = cups_->captureDir() + "/" + name + ".out";
    ASSERT_TRUE(cups_->addQueue(queue, "", capture)) << cups_->error();
  }
  void TearDown() override { EXPECT_TRUE(isEmptyDir(tmp)) << "a temporary file remained"; }

  void storeJob(int index, const std::string &bytes) {
    writeFile(OptionPanel::storedTestJobPath(index, jobs.string()), bytes);
  }
  void storeSetting(const char *keyword, const char *value) {
    settings.setValue(fullSettingsKey(keyword), value);
  }
  OptionPanel::TestPrintResult click(int index, const std::string &titleFormat = "Test print %s") {
    TmpDirScope scope(tmp);
    return OptionPanel::runTestPrint(s, &settings, index, {queue, titleFormat, jobs.string()});
  }
  // Waits for the job and gives what reached the device.
  std::string arrived(int jobId) {
    const ipp_jstate_t state = cups_->waitForJob(jobId, 60);
    EXPECT_EQ(state, IPP_JSTATE_COMPLETED)
        << vantrex::test::JobStateName(state) << "\n" << cups_->errorLog();
    return readFile(capture);
  }
  int jobCount() {
    cups_job_t *list = nullptr;
    const int n = cupsGetJobs2(CUPS_HTTP_DEFAULT, &list, queue.c_str(), 0, CUPS_WHICHJOBS_ALL);
    cupsFreeJobs(n, list);
    return n;
  }
  std::string jobTitle(int jobId) {
    cups_job_t *list = nullptr;
    const int n = cupsGetJobs2(CUPS_HTTP_DEFAULT, &list, queue.c_str(), 0, CUPS_WHICHJOBS_ALL);
    std::string title = "<no such job>";
    for (int i = 0; i < n; ++i) {
      if (list[i].id == jobId) title = list[i].title ? list[i].title : "";
    }
    cupsFreeJobs(n, list);
    return title;
  }

  static PrivateCups *cups_;
  TestPpd ppd;
  PanelSettings s;
  MemoryPrintSettings settings;
  ScratchDir dir;
  fs::path tmp = dir.path() / "tmp";
  fs::path jobs = dir.path() / "jobs";
  std::string queue;
  std::string capture;
};

PrivateCups *TestPrintThroughCups::cups_ = nullptr;

}  // namespace

TEST_F(TestPrintThroughCups, ButtonBSendsThePatchedJob) {
  const std::string job = storedJobBytes(2500);
  storeJob(1, job);
  storeSetting(kWriteDensity, "-05");
  storeSetting(kAdjustLength, "+125");
  storeSetting(kWriteSpeed, "1");
  storeSetting(kWriteRepeat, "2");
  storeSetting(kLineEnhance, "TKEnhanceBold1");
  storeSetting(kLaneOverlap, "-3");  // the first choice
  const auto result = click(1);
  ASSERT_TRUE(result.success);
  EXPECT_STREQ(result.messageKey, "TKTestPrintMsgOk");
  EXPECT_EQ(result.identifier, "B");
  const std::string got = arrived(result.jobId);
  ASSERT_EQ(got.size(), job.size());
  EXPECT_EQ(got.substr(0, 3), job.substr(0, 3));
  EXPECT_EQ(got[3], '\xFB');
  EXPECT_EQ(got[7], 1);
  EXPECT_EQ(got[11], 2);
  EXPECT_EQ(got[15], 1);
  EXPECT_EQ(got[19], '\xFD');
  EXPECT_EQ(got[23], 0x7D);
  EXPECT_EQ(got[24], 0x00);
  EXPECT_EQ(got.substr(25), job.substr(25));
  EXPECT_EQ(jobTitle(result.jobId), "Test print B");
}

TEST_F(TestPrintThroughCups, EachClickReadsTheSettingsAfresh) {
  storeJob(0, storedJobBytes(300));
  storeSetting(kLaneOverlap, "-3");
  auto first = click(0);
  ASSERT_TRUE(first.success);
  EXPECT_EQ(arrived(first.jobId)[19], '\xFD');

  storeSetting(kLaneOverlap, "0");  // the fourth choice
  storeSetting(kAdjustLength, "-500");
  auto second = click(0);
  ASSERT_TRUE(second.success);
  const std::string got = arrived(second.jobId);
  ASSERT_GE(got.size(), 25u);
  EXPECT_EQ(got[19], 0);
  EXPECT_EQ(got[23], '\x0C');
  EXPECT_EQ(got[24], '\xFE');
}

TEST_F(TestPrintThroughCups, NoStoredSettingsGiveTheStartingValues) {
  storeJob(2, storedJobBytes(64));
  auto result = click(2);
  ASSERT_TRUE(result.success);
  const std::string got = arrived(result.jobId);
  ASSERT_EQ(got.size(), 64u);
  for (int offset : {3, 7, 11, 15, 19, 23, 24}) EXPECT_EQ(got[offset], 0) << offset;
}

TEST_F(TestPrintThroughCups, TenByteJobArrivesUnchanged) {
  const std::string job = storedJobBytes(10);
  storeJob(0, job);
  storeSetting(kWriteDensity, "+09");
  auto result = click(0);
  ASSERT_TRUE(result.success);
  EXPECT_EQ(arrived(result.jobId), job);
}

TEST_F(TestPrintThroughCups, EmptyJobIsRefusedByThePrintSystem) {
  // The copy of an empty stored job is made and submitted, but the
  // scheduler takes no document without data ("No file in print request"):
  // the job is cancelled, nothing reaches the device, and the panel reports
  // the failure instead of a success.
  storeJob(2, "");
  auto result = click(2);
  EXPECT_FALSE(result.success);
  EXPECT_EQ(result.jobId, 0);
  EXPECT_STREQ(result.messageKey, "TKTestPrintMsgNg");
  EXPECT_FALSE(fs::exists(capture));
}

TEST_F(TestPrintThroughCups, MissingJobSubmitsNothing) {
  const int before = jobCount();
  auto result = click(1);
  EXPECT_FALSE(result.success);
  EXPECT_EQ(result.jobId, 0);
  EXPECT_STREQ(result.messageKey, "TKTestPrintMsgNg");
  EXPECT_EQ(result.identifier, "B");
  EXPECT_EQ(jobCount(), before);
  EXPECT_FALSE(fs::exists(capture));
}

TEST_F(TestPrintThroughCups, UnknownQueueIsAFailure) {
  storeJob(0, storedJobBytes(40));
  queue = "NoSuchQueue";
  auto result = click(0);
  EXPECT_FALSE(result.success);
  EXPECT_STREQ(result.messageKey, "TKTestPrintMsgNg");
}

TEST_F(TestPrintThroughCups, HostileOrNonAsciiTitlesAreSafe) {
  storeJob(0, storedJobBytes(40));
  auto hostile = click(0, "%n%n%s%x");
  ASSERT_TRUE(hostile.success);
  arrived(hostile.jobId);
  EXPECT_EQ(jobTitle(hostile.jobId), "%n%nA%x");
  // A title without an ASCII form is left out; the job still prints.
  auto accented = click(0, "Pr\xC3\xBC" "fdruck %s");
  ASSERT_TRUE(accented.success);
  arrived(accented.jobId);
  EXPECT_EQ(jobTitle(accented.jobId).find("Pr"), std::string::npos);
}

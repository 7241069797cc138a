// SPDX-License-Identifier: Apache-2.0
// The test print's file handling without a print system: job names, the
// patched copy and its clean-up, the result key and the safe use of
// localised formats.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <cstring>

#include "TestJobs.h"
#include "TestPrintModel.h"
#include "TestPpd.h"

using namespace dialog_model_test;
namespace fs = std::filesystem;

TEST(FormatWithIdentifier, ReplacesOnlyTheFirstPercentS) {
  using OptionPanel::formatWithIdentifier;
  EXPECT_EQ(formatWithIdentifier("Test print %s", "B"), "Test print B");
  EXPECT_EQ(formatWithIdentifier("%s", "A"), "A");
  EXPECT_EQ(formatWithIdentifier("%s and %s", "C"), "C and %s");
  EXPECT_EQ(formatWithIdentifier("no identifier", "A"), "no identifier");
  EXPECT_EQ(formatWithIdentifier("", "A"), "");
}

TEST(FormatWithIdentifier, OtherPercentSequencesAreText) {
  using OptionPanel::formatWithIdentifier;
  EXPECT_EQ(formatWithIdentifier("%n%x %s %d%p", "B"), "%n%x B %d%p");
  EXPECT_EQ(formatWithIdentifier("100%% done: %s", "A"), "100% done: A");
  EXPECT_EQ(formatWithIdentifier("%%s is %s", "A"), "%s is A");
  EXPECT_EQ(formatWithIdentifier("trailing %", "A"), "trailing %");
  EXPECT_EQ(formatWithIdentifier("%1$s", "A"), "%1$s");
}

TEST(StoredTestJobPath, NamesInsideTheFolder) {
  using OptionPanel::storedTestJobPath;
  EXPECT_EQ(storedTestJobPath(0, "/srv/jobs"), "/srv/jobs/VANTREX_KT50Test_A.prn");
  EXPECT_EQ(storedTestJobPath(1, "/srv/jobs/"), "/srv/jobs/VANTREX_KT50Test_B.prn");
  EXPECT_EQ(storedTestJobPath(2, "rel"), "rel/VANTREX_KT50Test_C.prn");
  EXPECT_EQ(storedTestJobPath(3, "/srv"), "");
  EXPECT_EQ(storedTestJobPath(-1, "/srv"), "");
  const std::string folder = OptionPanel::defaultTestJobFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '/');
  EXPECT_EQ(storedTestJobPath(0), folder + "VANTREX_KT50Test_A.prn");
}

TEST(TestPrintMessageKey, OkOrNg) {
  EXPECT_STREQ(OptionPanel::testPrintMessageKey(true), "TKTestPrintMsgOk");
  EXPECT_STREQ(OptionPanel::testPrintMessageKey(false), "TKTestPrintMsgNg");
}

namespace {

class PatchedCopy : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_NE(ppd.get(), nullptr);
    ASSERT_TRUE(initPanelSettings(ppd.get(), s));
    fs::create_directory(tmp);
    fs::create_directory(jobs);
  }
  void TearDown() override {
    // No temporary file may remain, whatever the case did.
    EXPECT_TRUE(isEmptyDir(tmp));
  }
  void storeJob(int index, const std::string &bytes) {
    writeFile(OptionPanel::storedTestJobPath(index, jobs.string()), bytes);
  }
  // Runs the copy step and gives the copy's bytes, deleting the copy.
  std::optional<std::string> copyOf(int index) {
    char name[OptionPanel::kTempNameSize];
    std::memset(name, 'x', sizeof name);
    TmpDirScope scope(tmp);
    if (!OptionPanel::createTestPrintFileData(s, name, sizeof name, index, jobs.string())) {
      EXPECT_STREQ(name, "");
      return std::nullopt;
    }
    EXPECT_EQ(fs::path(name).parent_path(), tmp);
    std::string bytes = readFile(name);
    fs::remove(name);
    return bytes;
  }
  TestPpd ppd;
  PanelSettings s;
  ScratchDir dir;
  fs::path tmp = dir.path() / "tmp";
  fs::path jobs = dir.path() / "jobs";
};

}  // namespace

TEST_F(PatchedCopy, HeaderGetsTheSettingsAndTheRestIsCopied) {
  const std::string job = storedJobBytes(3000);  // three chunks
  storeJob(1, job);
  s.nWriteDensityChoice = -16;
  s.nAdjustLengthChoice = -500;
  s.nWriteSpeedChoice = 2;
  s.nWriteRepeatChoice = 3;
  s.nLineEnhanceChoice = 1;
  s.nLaneOverlapChoice = 0;  // first choice: -3
  auto copy = copyOf(1);
  ASSERT_TRUE(copy);
  ASSERT_EQ(copy->size(), job.size());
  std::string expected = job;
  expected[3] = '\xF0';
  expected[7] = 2;
  expected[11] = 3;
  expected[15] = 1;
  expected[19] = '\xFD';
  expected[23] = '\x0C';
  expected[24] = '\xFE';
  EXPECT_EQ(*copy, expected);
}

TEST_F(PatchedCopy, LaneOverlapIsPositionMinusThree) {
  storeJob(0, storedJobBytes(100));
  s.nLaneOverlapChoice = 3;
  auto copy = copyOf(0);
  ASSERT_TRUE(copy);
  EXPECT_EQ((*copy)[19], 0);
  s.nLaneOverlapChoice = 6;
  copy = copyOf(0);
  ASSERT_TRUE(copy);
  EXPECT_EQ((*copy)[19], 3);
  s.nAdjustLengthChoice = 500;
  copy = copyOf(0);
  ASSERT_TRUE(copy);
  EXPECT_EQ((*copy)[23], '\xF4');
  EXPECT_EQ((*copy)[24], '\x01');
}

TEST_F(PatchedCopy, ShortJobsAreCopiedUnchanged) {
  s.nWriteDensityChoice = 5;
  for (std::size_t size : {0u, 10u, 24u}) {
    SCOPED_TRACE(size);
    const std::string job = storedJobBytes(size);
    storeJob(2, job);
    auto copy = copyOf(2);
    ASSERT_TRUE(copy);
    EXPECT_EQ(*copy, job);
  }
  const std::string job = storedJobBytes(25);
  storeJob(2, job);
  auto copy = copyOf(2);
  ASSERT_TRUE(copy);
  ASSERT_EQ(copy->size(), 25u);
  EXPECT_EQ((*copy)[3], 5);
}

TEST_F(PatchedCopy, ChunkBoundariesChangeNothingAfterTheHeader) {
  for (std::size_t size : {1023u, 1024u, 1025u, 2048u, 2049u}) {
    SCOPED_TRACE(size);
    const std::string job = storedJobBytes(size);
    storeJob(0, job);
    auto copy = copyOf(0);
    ASSERT_TRUE(copy);
    ASSERT_EQ(copy->size(), size);
    EXPECT_EQ(copy->substr(25), job.substr(25));
    EXPECT_EQ((*copy)[19], 0);  // the default overlap position 3
  }
}

TEST_F(PatchedCopy, MissingStoredJobFailsAndLeavesNoFile) {
  EXPECT_FALSE(copyOf(1));
  EXPECT_FALSE(copyOf(7));
}

TEST_F(PatchedCopy, UnreadableStoredJobFailsAndLeavesNoFile) {
  // A folder where the job should be opens, but cannot be read.
  fs::create_directory(OptionPanel::storedTestJobPath(0, jobs.string()));
  EXPECT_FALSE(copyOf(0));
}

TEST_F(PatchedCopy, WriteErrorFailsAndLeavesNoFile) {
  storeJob(0, storedJobBytes(5000));
  // Files may grow to 1000 bytes only: the copy cannot be completed.
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 1000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const auto copy = copyOf(0);
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(copy) << "a truncated copy was reported as made";
}

TEST_F(PatchedCopy, NoDescriptorIsLeft) {
  storeJob(0, storedJobBytes(100));
  auto openDescriptors = [] {
    return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator());
  };
  const auto before = openDescriptors();
  for (int i = 0; i < 5; ++i) {
    ASSERT_TRUE(copyOf(0));
    EXPECT_FALSE(copyOf(1));
  }
  EXPECT_EQ(openDescriptors(), before);
}

TEST_F(PatchedCopy, TinyNameBufferIsRefused) {
  storeJob(0, storedJobBytes(40));
  TmpDirScope scope(tmp);
  EXPECT_FALSE(OptionPanel::createTestPrintFileData(s, nullptr, 0, 0, jobs.string()));
  char one[1] = {'x'};
  // cupsTempFd cannot build a name in one byte.
  EXPECT_FALSE(OptionPanel::createTestPrintFileData(s, one, sizeof one, 0, jobs.string()));
  EXPECT_EQ(one[0], '\0');
}

TEST_F(PatchedCopy, RunTestPrintWithoutAQueueFailsCleanly) {
  storeJob(1, storedJobBytes(100));
  MemoryPrintSettings settings;
  TmpDirScope scope(tmp);
  OptionPanel::TestPrintTarget target{"", "Test %s", jobs.string()};
  const auto result = OptionPanel::runTestPrint(s, &settings, 1, target);
  EXPECT_FALSE(result.success);
  EXPECT_EQ(result.jobId, 0);
  EXPECT_STREQ(result.messageKey, "TKTestPrintMsgNg");
  EXPECT_EQ(result.identifier, "B");
  // A queue name without an ASCII form is no printer either.
  target.queue = "Dr\xC3\xBC" "cker";
  EXPECT_FALSE(OptionPanel::runTestPrint(s, &settings, 1, target).success);
}

TEST_F(PatchedCopy, RunTestPrintReadsTheStoredSettingsFirst) {
  storeJob(0, storedJobBytes(30));
  MemoryPrintSettings settings;
  settings.setValue(fullSettingsKey(kWriteDensity), "+07");
  settings.setValue(fullSettingsKey(kLaneOverlap), "-3");
  s.nWriteDensityChoice = -2;
  TmpDirScope scope(tmp);
  OptionPanel::runTestPrint(s, &settings, 0, {"", "%s", jobs.string()});
  EXPECT_EQ(s.nWriteDensityChoice, 7);
  EXPECT_EQ(s.nLaneOverlapChoice, 0);
  // Settings missing from the store go back to their starting values.
  settings.erase(fullSettingsKey(kWriteDensity));
  OptionPanel::runTestPrint(s, &settings, 0, {"", "%s", jobs.string()});
  EXPECT_EQ(s.nWriteDensityChoice, 0);
}

TEST_F(PatchedCopy, RunTestPrintWithABadIndex) {
  MemoryPrintSettings settings;
  const auto result = OptionPanel::runTestPrint(s, &settings, 3, {"q", "%s", jobs.string()});
  EXPECT_FALSE(result.success);
  EXPECT_EQ(result.identifier, "");
  EXPECT_STREQ(result.messageKey, "TKTestPrintMsgNg");
}

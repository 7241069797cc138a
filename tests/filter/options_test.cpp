// SPDX-License-Identifier: Apache-2.0
// Job options: the option readers of the filter's entry, called directly.
// (The whole job, options included, is checked through the binary in
// job_test.cpp.)
#include <cups/cups.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <span>
#include <sstream>
#include <string>
#include <unistd.h>

#include "options.h"

namespace {

// Options parsed from CUPS option text, freed at the end of the test.
class Options {
 public:
  explicit Options(const std::string &text) { n_ = cupsParseOptions(text.c_str(), 0, &options_); }
  ~Options() { cupsFreeOptions(n_, options_); }
  int32_t Int(const tagINTOPTION &o) const {
    return GetOptionIntValue(n_, options_, o.keyword, o.min, o.max, o.def);
  }
  const char *Text(const char *keyword) const { return GetOptionStringValue(n_, options_, keyword); }
  int32_t Mirror() const {
    return GetOptionChoiceValue(n_, options_, kMirror, g_MirrorList, kMirrorDefault);
  }
  int32_t Screening() const {
    return GetOptionChoiceValue(n_, options_, kDotScreening, g_DotScreeningList,
                                kDotScreeningDefault);
  }
  int32_t Enhance() const {
    return GetOptionChoiceValue(n_, options_, kLineEnhance, g_LineEnhanceList,
                                kLineEnhanceDefault);
  }

 private:
  int n_ = 0;
  cups_option_t *options_ = nullptr;
};

std::string Full(const char *keyword) { return std::string(g_KeyPrefix) + "." + keyword; }

int32_t Density(const std::string &value) {
  return Options(std::string(kWriteDensity) + "='" + value + "'").Int(g_WriteDensityOption);
}

TEST(IntegerOptions, SyntaxesOfTheDialogAndThePpd) {
  EXPECT_EQ(Density("+05"), 5);
  EXPECT_EQ(Density("-05"), -5);
  EXPECT_EQ(Density("D05"), 5);
  EXPECT_EQ(Density("05"), 5);
  EXPECT_EQ(Density("M5"), 5);
  EXPECT_EQ(Density("M-5"), -5);  // letters skipped, then the sign counts
  EXPECT_EQ(Density("12abc"), 12);
  EXPECT_EQ(Density(" 7"), 7);
  EXPECT_EQ(Density("\t-3"), -3);
  EXPECT_EQ(Density("-16"), -16);
  EXPECT_EQ(Density("+16"), 16);
  EXPECT_EQ(Density("abc"), 0);
  EXPECT_EQ(Density("+-3"), 0);  // atoi reads no digits here
  EXPECT_EQ(Density("- 3"), 0);
}

TEST(IntegerOptions, OutOfRangeGivesTheDefaultNotTheBound) {
  EXPECT_EQ(Density("+17"), 0);
  EXPECT_EQ(Density("-17"), 0);
  const tagINTOPTION &f = g_DotScreeningFrequencyOption;
  const tagINTOPTION &a = g_DotScreeningAngleOption;
  EXPECT_EQ(Options("TKDotScreeningFrequency=abc").Int(f), 38);  // 0 is below 38
  EXPECT_EQ(Options("TKDotScreeningFrequency=+200").Int(f), 200);
  EXPECT_EQ(Options("TKDotScreeningFrequency=201").Int(f), 38);
  EXPECT_EQ(Options("").Int(a), 37);
  EXPECT_EQ(Options("TKDotScreeningAngle=+90").Int(a), 90);
  EXPECT_EQ(Options("TKDotScreeningAngle=+91").Int(a), 37);
  EXPECT_EQ(Options("TKDotScreeningAngle=+00").Int(a), 0);
  EXPECT_EQ(Options("TKAdjustLength=-500").Int(g_AdjustLengthOption), -500);
  EXPECT_EQ(Options("TKAdjustLength=+007").Int(g_AdjustLengthOption), 7);
  EXPECT_EQ(Options("TKAdjustLength=501").Int(g_AdjustLengthOption), 0);
}

// Numbers beyond 32 bits must not wrap into the range.
TEST(IntegerOptions, HugeNumbersAreOutOfRange) {
  EXPECT_EQ(Density("4294967301"), 0);   // 2^32 + 5
  EXPECT_EQ(Density("-4294967301"), 0);
  EXPECT_EQ(Density("99999999999999999999999999"), 0);
  EXPECT_EQ(Options("TKWriteSpeed=18446744073709551618").Int(g_WriteSpeedOption), 0);
}

TEST(OptionLookup, PrefixedKeyWinsOverBareKeyword) {
  const std::string both = Full(kWriteSpeed) + "=2 " + kWriteSpeed + "=3";
  EXPECT_EQ(Options(both).Int(g_WriteSpeedOption), 2);
  EXPECT_EQ(Options(std::string(kWriteSpeed) + "=3").Int(g_WriteSpeedOption), 3);
  EXPECT_STREQ(Options(std::string(kWriteSpeed) + "=x " + Full(kWriteSpeed) + "=y").Text(kWriteSpeed), "y");
  EXPECT_EQ(Options("").Text(kWriteSpeed), nullptr);
  // An out-of-range prefixed value still hides the bare one.
  EXPECT_EQ(Options(Full(kWriteRepeat) + "=9 " + kWriteRepeat + "=2").Int(g_WriteRepeatOption), 0);
}

TEST(ChoiceOptions, ExactNamesOnly) {
  EXPECT_EQ(Options("").Mirror(), 1);
  EXPECT_EQ(Options("TKMirror=TKMirrorOFF").Mirror(), 0);
  EXPECT_EQ(Options("TKMirror=TKMirrorON").Mirror(), 1);
  EXPECT_EQ(Options("TKMirror=tkmirroroff").Mirror(), 1);
  EXPECT_EQ(Options("TKMirror=TKMirrorOFFx").Mirror(), 1);
  EXPECT_EQ(Options("TKMirror=TKMirrorOF").Mirror(), 1);
  EXPECT_EQ(Options(Full(kMirror) + "=TKMirrorOFF TKMirror=TKMirrorON").Mirror(), 0);
  EXPECT_EQ(Options("TKDotScreening=TKScreeningSolid").Screening(), 5);
  EXPECT_EQ(Options("TKDotScreening=TKScreeningErrorDiffusion").Screening(), 4);
  EXPECT_EQ(Options("TKDotScreening=Solid").Screening(), 0);
  EXPECT_EQ(Options("TKLineEnhance=TKEnhanceBold2").Enhance(), 2);
  EXPECT_EQ(Options("TKLineEnhance=").Enhance(), 0);
}

}  // namespace

namespace {

std::array<int32_t, 10> Fields(const tagJOBSETTINGS &s) {
  return {s.writeDensity, s.adjustLength, s.writeSpeed, s.writeRepeat, s.lineEnhance,
          s.laneOverlap,  s.mirror,       s.dotScreening, s.frequency, s.angle};
}

tagJOBSETTINGS JobOnly(const std::string &text) {
  cups_option_t *options = nullptr;
  const int n = cupsParseOptions(text.c_str(), 0, &options);
  const tagJOBSETTINGS s = GetJobSettings(n, options, nullptr);
  cupsFreeOptions(n, options);
  return s;
}

// Our PPD with its "*DefaultKEY:" line rewritten, as lpadmin -o leaves a
// queue's copy, in a file removed at the end of the test.
class QueuePpd {
 public:
  QueuePpd(const std::string &keyword, const std::string &choice) {
    std::ifstream in(VANTREX_PPD_PATH);
    std::stringstream text;
    text << in.rdbuf();
    std::string ppd = text.str();
    const std::string line = "*Default" + keyword + ":";
    if (const size_t at = ppd.find(line); !keyword.empty() && at != std::string::npos)
      ppd.replace(at, ppd.find('\n', at) - at, line + " " + choice);
    char name[] = "/tmp/vantrex-options-XXXXXX";
    const int fd = mkstemp(name);
    path_ = name;
    if (fd >= 0) {
      EXPECT_EQ(write(fd, ppd.data(), ppd.size()), static_cast<ssize_t>(ppd.size()));
      close(fd);
    }
  }
  ~QueuePpd() { unlink(path_.c_str()); }
  // The queue's settings for a job with the given option text.
  tagJOBSETTINGS Settings(const std::string &jobText) const {
    cups_option_t *options = nullptr;
    const int n = cupsParseOptions(jobText.c_str(), 0, &options);
    PpdFile ppd = OpenQueuePpd(path_.c_str(), n, options);
    EXPECT_NE(ppd, nullptr) << path_;
    const tagJOBSETTINGS s = GetJobSettings(n, options, ppd.get());
    cupsFreeOptions(n, options);
    return s;
  }
  const std::string &path() const { return path_; }

 private:
  std::string path_;
};

constexpr std::array<const char *, 8> kPpdKeywords{
    kWriteSpeed,  kWriteRepeat,  kLineEnhance,           kLaneOverlap,
    kMirror,      kDotScreening, kDotScreeningFrequency, kDotScreeningAngle};

// Every choice of every PPD option, made the queue's default, gives what the
// same choice gives as a job option; a job option still wins over it.
TEST(QueueDefaults, EveryPpdChoiceAsQueueDefaultActsAsTheJobOption) {
  PpdFile original(ppdOpenFile(VANTREX_PPD_PATH));
  ASSERT_NE(original, nullptr);
  for (const char *keyword : kPpdKeywords) {
    const ppd_option_t *option = ppdFindOption(original.get(), keyword);
    ASSERT_NE(option, nullptr) << keyword;
    ASSERT_GT(option->num_choices, 1) << keyword;
    for (int i = 0; i < option->num_choices; ++i) {
      const std::string choice = option->choices[i].choice;
      const std::string other = option->choices[(i + 1) % option->num_choices].choice;
      SCOPED_TRACE(std::string(keyword) + "=" + choice);
      const QueuePpd queue(keyword, choice);
      const std::string asJob = std::string(keyword) + "=" + choice;
      EXPECT_EQ(Fields(queue.Settings("")), Fields(JobOnly(asJob)));
      const std::string otherJob = std::string(keyword) + "=" + other;
      EXPECT_EQ(Fields(queue.Settings(otherJob)), Fields(JobOnly(otherJob)));
      EXPECT_EQ(Fields(queue.Settings(Full(keyword) + "=" + other)), Fields(JobOnly(otherJob)));
    }
  }
}

TEST(QueueDefaults, JobValueThatIsNoChoiceFallsBackToTheQueue) {
  const QueuePpd mirrorOff(kMirror, "TKMirrorOFF");
  EXPECT_EQ(mirrorOff.Settings("").mirror, 0);
  EXPECT_EQ(mirrorOff.Settings("TKMirror=TKMirrorMaybe").mirror, 0);
  // libcups marks the job's choice whatever its letter case, so through the
  // queue's PPD the job still gets the choice it named.
  EXPECT_EQ(mirrorOff.Settings("TKMirror=tkmirroron").mirror, 1);
  EXPECT_EQ(mirrorOff.Settings("TKMirror=TKMirrorON").mirror, 1);
  const QueuePpd angle(kDotScreeningAngle, "45");
  EXPECT_EQ(angle.Settings("").angle, 45);
  EXPECT_EQ(angle.Settings("TKDotScreeningAngle=+91").angle, 45);
  EXPECT_EQ(angle.Settings("TKDotScreeningAngle=+00").angle, 0);
  // A default that is not a choice of the option is ignored by libcups'
  // marking; the PPD's first choice is then marked.
  const QueuePpd bogus(kDotScreening, "TKScreeningBogus");
  EXPECT_EQ(bogus.Settings("").dotScreening, 0);
}

TEST(QueueDefaults, NoPpdOrNoOptionInItKeepsTheBuiltInDefaults) {
  const std::array<int32_t, 10> builtIn{0, 0, 0, 0, 0, 0, 1, 0, 38, 37};
  EXPECT_EQ(Fields(JobOnly("")), builtIn);
  EXPECT_EQ(OpenQueuePpd(nullptr, 0, nullptr), nullptr);
  EXPECT_EQ(OpenQueuePpd("", 0, nullptr), nullptr);
  EXPECT_EQ(OpenQueuePpd("/nonexistent/queue.ppd", 0, nullptr), nullptr);
  // Our PPD as shipped: its defaults are the built-in ones.
  EXPECT_EQ(Fields(QueuePpd("", "").Settings("")), builtIn);
  // Density and length are no PPD options: only the job's options set them.
  EXPECT_EQ(QueuePpd(kMirror, "TKMirrorOFF").Settings("TKWriteDensity=-05").writeDensity, -5);
}

}  // namespace

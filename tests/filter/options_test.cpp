// SPDX-License-Identifier: Apache-2.0
// Job options: the option readers of the filter's entry, called directly.
// (The whole job, options included, is checked through the binary in
// job_test.cpp.)
#include <cups/cups.h>
#include <gtest/gtest.h>

#include <span>
#include <string>

#include "cmnFilter.h"

// Defined in common/main.cpp, built into this test.
const char *GetOptionStringValue(int numOptions, cups_option_t *options, const char *keyword);
int32_t GetOptionIntValue(int numOptions, cups_option_t *options, const char *keyword,
                          int32_t min, int32_t max, int32_t def);
int32_t GetOptionChoiceValue(int numOptions, cups_option_t *options, const char *keyword,
                             std::span<const tagCHOICE> list, int32_t def);

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

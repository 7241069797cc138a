// SPDX-License-Identifier: Apache-2.0
// Reading typed and stored numbers, and the texts numbers are written as.
#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>

#include "ValueText.h"

TEST(IntValueOf, ReadsLeadingSignedDecimal) {
  EXPECT_EQ(intValueOf("+05"), 5);
  EXPECT_EQ(intValueOf("-16"), -16);
  EXPECT_EQ(intValueOf("  \t-16x"), -16);
  EXPECT_EQ(intValueOf("3.7"), 3);
  EXPECT_EQ(intValueOf("+000"), 0);
  EXPECT_EQ(intValueOf("-050"), -50);
}

TEST(IntValueOf, NoLeadingNumberReadsZero) {
  EXPECT_EQ(intValueOf(""), 0);
  EXPECT_EQ(intValueOf("abc"), 0);
  EXPECT_EQ(intValueOf("+"), 0);
  EXPECT_EQ(intValueOf("x12"), 0);
  EXPECT_EQ(intValueOf("- 5"), 0);
}

TEST(IntValueOf, SaturatesInsteadOfWrapping) {
  EXPECT_EQ(intValueOf("99999999999"), INT_MAX);
  EXPECT_EQ(intValueOf("-99999999999"), INT_MIN);
  EXPECT_EQ(intValueOf("2147483647"), INT_MAX);
  EXPECT_EQ(intValueOf("-2147483648"), INT_MIN);
  // 2^32 + 5 must not wrap round to 5.
  EXPECT_EQ(intValueOf("4294967301"), INT_MAX);
}

TEST(DoubleValueOf, ReadsDecimalNumbers) {
  EXPECT_DOUBLE_EQ(doubleValueOf("1.25"), 1.25);
  EXPECT_DOUBLE_EQ(doubleValueOf("-0.5"), -0.5);
  EXPECT_DOUBLE_EQ(doubleValueOf(".5"), 0.5);
  EXPECT_DOUBLE_EQ(doubleValueOf("5."), 5.0);
  EXPECT_DOUBLE_EQ(doubleValueOf("  +2.5 mm"), 2.5);
  EXPECT_DOUBLE_EQ(doubleValueOf("1e2"), 100.0);
  EXPECT_DOUBLE_EQ(doubleValueOf("1.5E-1"), 0.15);
  // An "e" without digits ends the number before it.
  EXPECT_DOUBLE_EQ(doubleValueOf("3e"), 3.0);
  EXPECT_DOUBLE_EQ(doubleValueOf("3e+x"), 3.0);
}

TEST(DoubleValueOf, NonNumbersReadZero) {
  EXPECT_EQ(doubleValueOf(""), 0.0);
  EXPECT_EQ(doubleValueOf("."), 0.0);
  EXPECT_EQ(doubleValueOf("-"), 0.0);
  EXPECT_EQ(doubleValueOf("abc"), 0.0);
  EXPECT_EQ(doubleValueOf("inf"), 0.0);
  EXPECT_EQ(doubleValueOf("nan"), 0.0);
  EXPECT_EQ(doubleValueOf("TKDotScreeningWidthAdjustValue"), 0.0);
  // Hexadecimal is not read: "0x10" is the number 0 followed by text.
  EXPECT_EQ(doubleValueOf("0x10"), 0.0);
}

TEST(DoubleValueOf, HugeAndTinyStayFinite) {
  EXPECT_EQ(doubleValueOf("1e999"), DBL_MAX);
  EXPECT_EQ(doubleValueOf("-1e999"), -DBL_MAX);
  EXPECT_EQ(doubleValueOf(std::string(400, '9')), DBL_MAX);
  EXPECT_EQ(doubleValueOf("1e-999"), 0.0);
  EXPECT_EQ(doubleValueOf("0.000001e-999"), 0.0);
  EXPECT_TRUE(std::isfinite(doubleValueOf("1e99999999999999999999")));
}

TEST(TypedAdjustLength, TimesHundredTruncatedTowardZero) {
  int32_t v = 0;
  ASSERT_TRUE(typedAdjustLength("1.25", v));
  EXPECT_EQ(v, 125);
  ASSERT_TRUE(typedAdjustLength("-0.5", v));
  EXPECT_EQ(v, -50);
  ASSERT_TRUE(typedAdjustLength("5.009", v));
  EXPECT_EQ(v, 500);
  ASSERT_TRUE(typedAdjustLength("5.01", v));
  EXPECT_EQ(v, 501);
  ASSERT_TRUE(typedAdjustLength("-5.009", v));
  EXPECT_EQ(v, -500);
  ASSERT_TRUE(typedAdjustLength("garbage", v));
  EXPECT_EQ(v, 0);
}

TEST(TypedAdjustLength, RefusesWhatDoesNotFitInt32) {
  int32_t v = 77;
  EXPECT_FALSE(typedAdjustLength("1e20", v));
  EXPECT_FALSE(typedAdjustLength("-1e999", v));
  EXPECT_EQ(v, 77);
}

TEST(SettingTexts, SignedWithFixedDigits) {
  EXPECT_EQ(writeDensitySettingText(0), "+00");
  EXPECT_EQ(writeDensitySettingText(5), "+05");
  EXPECT_EQ(writeDensitySettingText(-5), "-05");
  EXPECT_EQ(writeDensitySettingText(-16), "-16");
  EXPECT_EQ(writeDensitySettingText(16), "+16");
  EXPECT_EQ(adjustLengthSettingText(0), "+000");
  EXPECT_EQ(adjustLengthSettingText(7), "+007");
  EXPECT_EQ(adjustLengthSettingText(25), "+025");
  EXPECT_EQ(adjustLengthSettingText(-50), "-050");
  EXPECT_EQ(adjustLengthSettingText(-500), "-500");
  EXPECT_EQ(dotScreeningFrequencySettingText(38), "+038");
  EXPECT_EQ(dotScreeningFrequencySettingText(200), "+200");
  EXPECT_EQ(dotScreeningAngleSettingText(0), "+00");
  EXPECT_EQ(dotScreeningAngleSettingText(37), "+37");
  EXPECT_EQ(dotScreeningAngleSettingText(90), "+90");
}

TEST(SettingTexts, ExtremeValuesDoNotOverflow) {
  EXPECT_EQ(writeDensitySettingText(INT_MIN), "-2147483648");
  EXPECT_EQ(adjustLengthText(INT_MIN), "-21474836.48");
}

TEST(ShownTexts, LengthAsPercentWithTwoDecimals) {
  EXPECT_EQ(adjustLengthText(-125), "-1.25");
  EXPECT_EQ(adjustLengthText(5), "0.05");
  EXPECT_EQ(adjustLengthText(-5), "-0.05");
  EXPECT_EQ(adjustLengthText(0), "0.00");
  EXPECT_EQ(adjustLengthText(500), "5.00");
  EXPECT_EQ(adjustLengthText(-500), "-5.00");
  EXPECT_EQ(writeDensityText(-16), "-16");
  EXPECT_EQ(writeDensityText(3), "3");
}

TEST(IsAsciiText, RejectsHighBytesAndNul) {
  EXPECT_TRUE(isAsciiText("TKMirrorOFF"));
  EXPECT_TRUE(isAsciiText(""));
  EXPECT_FALSE(isAsciiText("TKMirror\xC3\xA9"));
  EXPECT_FALSE(isAsciiText(std::string("TKMirrorOFF\0x", 13)));
}

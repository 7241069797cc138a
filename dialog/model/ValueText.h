// SPDX-License-Identifier: Apache-2.0
// Conversions between the panels' numbers and the texts they are stored and
// shown as. The readers behave like the toolkit's intValue / doubleValue on a
// text field or a stored value, so the model reads typed and stored text the
// way the panels on the platform do.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Leading white space skipped, optional sign, decimal digits up to the first
// other character; 0 when there are none. Saturates at the int32 limits.
int32_t intValueOf(std::string_view text);

// Leading white space skipped, optional sign, digits with an optional
// fraction and exponent; 0.0 when there is no leading number. Never infinite
// or NaN ("inf", "nan" and hexadecimal forms are not numbers here).
double doubleValueOf(std::string_view text);

// Whether every byte is 7-bit ASCII and none is NUL, i.e. the text has an
// ASCII C string form.
bool isAsciiText(std::string_view text);

// Settings texts written into the print settings.
std::string writeDensitySettingText(int32_t value);        // "%c%02d": +00, +05, -16
std::string adjustLengthSettingText(int32_t value);        // "%c%03d": +000, +025, -500
std::string dotScreeningFrequencySettingText(int32_t value);  // "+%03d": +038
std::string dotScreeningAngleSettingText(int32_t value);      // "+%02d": +00, +37

// Texts shown in the panels.
std::string writeDensityText(int32_t value);  // "%d": the density entry field
std::string adjustLengthText(int32_t value);  // -125 -> "-1.25", 5 -> "0.05", 0 -> "0.00"

// A typed length text as hundredths of a percent: the number times 100,
// truncated toward zero. Nothing when the result does not fit in int32.
// (Range checks against -500..500 are the caller's.)
bool typedAdjustLength(std::string_view text, int32_t &hundredths);

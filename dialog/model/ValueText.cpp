// SPDX-License-Identifier: Apache-2.0
#include "ValueText.h"

#include <charconv>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <system_error>

namespace {

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}
bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::size_t skipSpace(std::string_view text, std::size_t pos) {
  while (pos < text.size() && isSpace(text[pos])) ++pos;
  return pos;
}

std::size_t skipDigits(std::string_view text, std::size_t pos) {
  while (pos < text.size() && isDigit(text[pos])) ++pos;
  return pos;
}

// For a decimal number that from_chars finds out of range: does it overflow
// (true) or underflow (false)? Decided by the position of its first
// significant digit.
bool overflows(std::string_view mantissa, long exponent) {
  long intDigits = 0;
  long fractionZeros = 0;
  bool seenSignificant = false;
  bool inFraction = false;
  for (char c : mantissa) {
    if (c == '.') {
      inFraction = true;
    } else if (!inFraction) {
      if (c != '0' || seenSignificant) {
        seenSignificant = true;
        ++intDigits;
      }
    } else if (!seenSignificant) {
      if (c == '0') {
        ++fractionZeros;
      } else {
        seenSignificant = true;
      }
    }
  }
  long magnitude = intDigits > 0 ? intDigits - 1 + exponent : -(fractionZeros + 1) + exponent;
  return magnitude > 0;
}

}  // namespace

int32_t intValueOf(std::string_view text) {
  std::size_t pos = skipSpace(text, 0);
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    negative = text[pos] == '-';
    ++pos;
  }
  int64_t value = 0;
  constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  for (; pos < text.size() && isDigit(text[pos]); ++pos) {
    value = value * 10 + (text[pos] - '0');
    if (value > kLimit) value = kLimit;  // saturate; later digits change nothing
  }
  if (negative) return static_cast<int32_t>(-value);
  return static_cast<int32_t>(std::min<int64_t>(value, kLimit - 1));
}

double doubleValueOf(std::string_view text) {
  std::size_t pos = skipSpace(text, 0);
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    negative = text[pos] == '-';
    ++pos;
  }
  const std::size_t start = pos;
  std::size_t end = skipDigits(text, pos);
  bool anyDigit = end > start;
  if (end < text.size() && text[end] == '.') {
    std::size_t fractionEnd = skipDigits(text, end + 1);
    anyDigit = anyDigit || fractionEnd > end + 1;
    end = fractionEnd;
  }
  if (!anyDigit) return 0.0;
  const std::size_t mantissaEnd = end;
  long exponent = 0;
  if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
    std::size_t expPos = end + 1;
    bool expNegative = false;
    if (expPos < text.size() && (text[expPos] == '+' || text[expPos] == '-')) {
      expNegative = text[expPos] == '-';
      ++expPos;
    }
    std::size_t expEnd = skipDigits(text, expPos);
    if (expEnd > expPos) {
      for (std::size_t i = expPos; i < expEnd; ++i) {
        exponent = std::min(exponent * 10 + (text[i] - '0'), 100000L);
      }
      if (expNegative) exponent = -exponent;
      end = expEnd;
    }
  }
  double value = 0.0;
  const char *first = text.data() + start;
  const char *last = text.data() + end;
  auto [ptr, ec] = std::from_chars(first, last, value, std::chars_format::general);
  if (ec == std::errc::result_out_of_range) {
    value = overflows(text.substr(start, mantissaEnd - start), exponent)
                ? std::numeric_limits<double>::max()
                : 0.0;
  } else if (ec != std::errc() || ptr != last) {
    value = 0.0;
  }
  return negative ? -value : value;
}

bool isAsciiText(std::string_view text) {
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (byte == 0 || byte > 0x7F) return false;
  }
  return true;
}

namespace {

std::string signedText(int32_t value, int digits) {
  char buf[32];
  const int64_t magnitude = std::llabs(int64_t{value});
  std::snprintf(buf, sizeof buf, "%c%0*" PRId64, value < 0 ? '-' : '+', digits, magnitude);
  return buf;
}

}  // namespace

std::string writeDensitySettingText(int32_t value) { return signedText(value, 2); }
std::string adjustLengthSettingText(int32_t value) { return signedText(value, 3); }

std::string dotScreeningFrequencySettingText(int32_t value) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "+%03" PRId32, value);
  return buf;
}

std::string dotScreeningAngleSettingText(int32_t value) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "+%02" PRId32, value);
  return buf;
}

std::string writeDensityText(int32_t value) { return std::to_string(value); }

std::string adjustLengthText(int32_t value) {
  char buf[32];
  const int64_t magnitude = std::llabs(int64_t{value});
  std::snprintf(buf, sizeof buf, "%s%" PRId64 ".%02" PRId64, value < 0 ? "-" : "",
                magnitude / 100, magnitude % 100);
  return buf;
}

bool typedAdjustLength(std::string_view text, int32_t &hundredths) {
  const double scaled = std::trunc(doubleValueOf(text) * 100.0);
  if (!(scaled >= std::numeric_limits<int32_t>::min() &&
        scaled <= std::numeric_limits<int32_t>::max())) {
    return false;
  }
  hundredths = static_cast<int32_t>(scaled);
  return true;
}

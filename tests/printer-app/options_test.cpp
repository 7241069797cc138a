// The vendor value rules against plain references: numbers over random
// texts, keywords over every choice, and job settings against the filter's
// own option reading of the same values.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "vendor_options.h"

namespace {

// Plain reference: a decimal number with one optional sign, at most 12
// characters after a "+", inside the range.
std::optional<int32_t> ReferenceNumber(const tagINTOPTION &range, std::string text) {
  const size_t sign = !text.empty() && (text[0] == '+' || text[0] == '-') ? 1 : 0;
  if (text.size() == sign || text.find_first_not_of("0123456789", sign) != std::string::npos)
    return std::nullopt;
  if (text[0] == '+') text.erase(0, 1);
  if (text.size() > 12) return std::nullopt;
  const long long value = std::stoll(text);
  if (value < range.min || value > range.max) return std::nullopt;
  return static_cast<int32_t>(value);
}

TEST(VendorOptionsTest, NumbersMatchThePlainReferenceOverRandomTexts) {
  std::mt19937 random(12);
  const std::string alphabet = "+-0123456789 a";
  for (const tagVENDOROPTION &option : VendorOptions()) {
    if (!option.range) continue;
    for (int i = 0; i < 20000; ++i) {
      std::string text;
      const int length = static_cast<int>(random() % 15);
      for (int k = 0; k < length; ++k) text += alphabet[random() % alphabet.size()];
      if (i % 3 == 0) text = std::to_string(static_cast<int>(random() % 1400) - 700);
      ASSERT_EQ(ParseVendorValue(option, text), ReferenceNumber(*option.range, text))
          << option.name << " '" << text << "'";
      const int32_t clamped = ClampVendorValue(option, text);
      ASSERT_GE(clamped, option.range->min);
      ASSERT_LE(clamped, option.range->max);
    }
  }
}

TEST(VendorOptionsTest, KeywordsRoundTripToTheFilterCodesAndNothingElseMatches) {
  for (const tagVENDOROPTION &option : VendorOptions()) {
    if (option.range) continue;
    ASSERT_EQ(option.keywords.size(), option.choices.size()) << option.name;
    for (const tagCHOICE &choice : option.choices) {
      const std::string text = FormatVendorValue(option, choice.code);
      EXPECT_EQ(ParseVendorValue(option, text), choice.code) << option.name;
      std::string upper = text;
      upper[0] = static_cast<char>(std::toupper(upper[0]));
      EXPECT_FALSE(ParseVendorValue(option, upper)) << upper;
      EXPECT_FALSE(ParseVendorValue(option, text + " ")) << text;
      EXPECT_EQ(ClampVendorValue(option, text + "x"), VendorDefault(option));
    }
  }
}

TEST(VendorOptionsTest, JobValueThenPrinterDefaultThenTheFiltersDefault) {
  const auto none = [](const char *) -> const char * { return nullptr; };
  const tagJOBSETTINGS defaults = ResolveJobSettings(none, none);
  const tagJOBSETTINGS design;
  EXPECT_EQ(std::memcmp(&defaults, &design, sizeof design), 0);

  const auto job = [](const char *name) -> const char * {
    return std::string(name) == "kt50-write-density" ? "7" :
           std::string(name) == "kt50-mirror"        ? "maybe" : nullptr;
  };
  const auto printer = [](const char *name) -> const char * {
    return std::string(name) == "kt50-write-density"  ? "-3" :
           std::string(name) == "kt50-mirror"         ? "false" :
           std::string(name) == "kt50-screening-angle" ? "400" : nullptr;
  };
  std::vector<std::string> rejected;
  const tagJOBSETTINGS settings = ResolveJobSettings(
      job, printer, [&](const char *name, const char *) { rejected.push_back(name); });
  EXPECT_EQ(settings.writeDensity, 7);
  EXPECT_EQ(settings.mirror, 0);   // the job's invalid value gives way to the printer's
  EXPECT_EQ(settings.angle, 37);   // the printer's invalid value to the filter's default
  EXPECT_EQ(rejected, (std::vector<std::string>{"kt50-mirror", "kt50-screening-angle"}));
  EXPECT_EQ(FirstInvalidValue(job), FindVendorOption("kt50-mirror"));
}

}  // namespace

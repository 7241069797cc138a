// The ten settings as vendor attributes; see options.h.
#include "vendor_options.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>

namespace {

constexpr std::array<tagVENDORKEYWORD, 3> kLineEnhanceKeywords{{
    {"none", "TKEnhanceNone"},
    {"bold-1", "TKEnhanceBold1"},
    {"bold-2", "TKEnhanceBold2"},
}};

constexpr std::array<tagVENDORKEYWORD, 6> kDotScreeningKeywords{{
    {"threshold", "TKScreeningNone"},
    {"rough", "TKScreeningRough"},
    {"fine", "TKScreeningFine"},
    {"frequency-angle", "TKScreeningFrequencyAngle"},
    {"error-diffusion", "TKScreeningErrorDiffusion"},
    {"solid", "TKScreeningSolid"},
}};

constexpr std::array<tagVENDORKEYWORD, 2> kMirrorKeywords{{
    {"false", "TKMirrorOFF"},
    {"true", "TKMirrorON"},
}};

constexpr std::span<const tagCHOICE> Named(std::span<const tagCHOICE> list) {
  return list.first(list.size() - 1);  // without the end entry
}

const std::array<tagVENDOROPTION, 10> kOptions{{
    {"kt50-write-density", VendorKind::Range, &g_WriteDensityOption, {}, {}, 0,
     &tagJOBSETTINGS::writeDensity},
    {"kt50-adjust-length", VendorKind::Range, &g_AdjustLengthOption, {}, {}, 0,
     &tagJOBSETTINGS::adjustLength},
    {"kt50-write-speed", VendorKind::IntegerSet, &g_WriteSpeedOption, {}, {}, 0,
     &tagJOBSETTINGS::writeSpeed},
    {"kt50-write-repeat", VendorKind::IntegerSet, &g_WriteRepeatOption, {}, {}, 0,
     &tagJOBSETTINGS::writeRepeat},
    {"kt50-line-enhance", VendorKind::Keyword, nullptr, Named(g_LineEnhanceList),
     kLineEnhanceKeywords, kLineEnhanceDefault, &tagJOBSETTINGS::lineEnhance},
    {"kt50-lane-overlap", VendorKind::IntegerSet, &g_LaneOverlapOption, {}, {}, 0,
     &tagJOBSETTINGS::laneOverlap},
    {"kt50-mirror", VendorKind::Boolean, nullptr, Named(g_MirrorList), kMirrorKeywords,
     kMirrorDefault, &tagJOBSETTINGS::mirror},
    {"kt50-dot-screening", VendorKind::Keyword, nullptr, Named(g_DotScreeningList),
     kDotScreeningKeywords, kDotScreeningDefault, &tagJOBSETTINGS::dotScreening},
    {"kt50-screening-frequency", VendorKind::Range, &g_DotScreeningFrequencyOption, {}, {}, 0,
     &tagJOBSETTINGS::frequency},
    {"kt50-screening-angle", VendorKind::Range, &g_DotScreeningAngleOption, {}, {}, 0,
     &tagJOBSETTINGS::angle},
}};

bool IsNumeric(const tagVENDOROPTION &option) { return option.range != nullptr; }

std::optional<int32_t> ChoiceCode(const tagVENDOROPTION &option, const char *choice) {
  for (const tagCHOICE &entry : option.choices)
    if (std::strcmp(entry.name, choice) == 0) return entry.code;
  return std::nullopt;
}

// A whole decimal number with an optional sign, no blanks, no trailing text.
std::optional<int64_t> ParseNumber(std::string_view text) {
  const bool plus = !text.empty() && text.front() == '+';
  if (plus) text.remove_prefix(1);
  if (text.empty() || text.size() > 12 || (plus && text.front() == '-')) return std::nullopt;
  int64_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace

std::span<const tagVENDOROPTION> VendorOptions() { return kOptions; }

const tagVENDOROPTION *FindVendorOption(std::string_view name) {
  for (const tagVENDOROPTION &option : kOptions)
    if (name == option.name) return &option;
  return nullptr;
}

int32_t VendorDefault(const tagVENDOROPTION &option) {
  return IsNumeric(option) ? option.range->def : option.defaultCode;
}

std::optional<int32_t> ParseVendorValue(const tagVENDOROPTION &option, std::string_view text) {
  if (IsNumeric(option)) {
    std::optional<int64_t> value = ParseNumber(text);
    if (!value || *value < option.range->min || *value > option.range->max) return std::nullopt;
    return static_cast<int32_t>(*value);
  }
  for (const tagVENDORKEYWORD &keyword : option.keywords)
    if (text == keyword.keyword) return ChoiceCode(option, keyword.choice);
  return std::nullopt;
}

int32_t ClampVendorValue(const tagVENDOROPTION &option, std::string_view text) {
  if (std::optional<int32_t> value = ParseVendorValue(option, text)) return *value;
  if (IsNumeric(option)) {
    if (std::optional<int64_t> number = ParseNumber(text))
      return static_cast<int32_t>(std::clamp<int64_t>(*number, option.range->min, option.range->max));
  }
  return VendorDefault(option);
}

std::string FormatVendorValue(const tagVENDOROPTION &option, int32_t value) {
  if (IsNumeric(option)) return std::to_string(value);
  for (const tagVENDORKEYWORD &keyword : option.keywords)
    if (ChoiceCode(option, keyword.choice) == value) return keyword.keyword;
  return FormatVendorValue(option, VendorDefault(option));
}

const tagVENDOROPTION *FirstInvalidValue(const VendorLookup &value) {
  for (const tagVENDOROPTION &option : kOptions) {
    const char *text = value(option.name);
    if (text && !ParseVendorValue(option, text)) return &option;
  }
  return nullptr;
}

tagJOBSETTINGS ResolveJobSettings(const VendorLookup &jobValue, const VendorLookup &printerDefault,
                                  const std::function<void(const char *, const char *)> &rejected) {
  tagJOBSETTINGS settings;
  for (const tagVENDOROPTION &option : kOptions) {
    std::optional<int32_t> value;
    for (const VendorLookup *source : {&jobValue, &printerDefault}) {
      const char *text = *source ? (*source)(option.name) : nullptr;
      if (!text) continue;
      value = ParseVendorValue(option, text);
      if (value) break;
      if (rejected) rejected(option.name, text);
    }
    settings.*option.field = value.value_or(VendorDefault(option));
  }
  return settings;
}

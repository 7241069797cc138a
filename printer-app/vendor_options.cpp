// The ten settings as vendor attributes; see vendor_options.h.
#include "vendor_options.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>

namespace {

constexpr VendorKind KindOf(OptionKind kind) {
  switch (kind) {
    case OptionKind::Number: return VendorKind::Range;
    case OptionKind::Steps: return VendorKind::IntegerSet;
    case OptionKind::Choice: return VendorKind::Keyword;
    case OptionKind::Switch: return VendorKind::Boolean;
  }
  return VendorKind::Range;
}

// Every choice's IPP keyword, option after option.
constexpr size_t kKeywordCount = [] {
  size_t count = 0;
  for (const tagJOBOPTION &row : g_JobOptions) count += row.choices.size();
  return count;
}();
constexpr std::array<tagVENDORKEYWORD, kKeywordCount> kKeywords = [] {
  std::array<tagVENDORKEYWORD, kKeywordCount> keywords{};
  size_t at = 0;
  for (const tagJOBOPTION &row : g_JobOptions)
    for (const tagCHOICE &choice : row.choices) keywords[at++] = {choice.ippKeyword, choice.name};
  return keywords;
}();

using tagVENDOROPTIONS = std::array<tagVENDOROPTION, g_JobOptions.size()>;

tagVENDOROPTIONS MakeOptions() {
  tagVENDOROPTIONS options{};
  size_t keyword = 0;
  for (size_t i = 0; i < options.size(); ++i) {
    const tagJOBOPTION &row = g_JobOptions[i];
    const bool numeric = row.choices.empty();
    options[i] = {row.ippAttribute, KindOf(row.kind), numeric ? &row.option : nullptr, row.choices,
                  std::span(kKeywords).subspan(keyword, row.choices.size()),
                  numeric ? 0 : row.option.def, row.field};
    keyword += row.choices.size();
  }
  return options;
}

const tagVENDOROPTIONS kOptions = MakeOptions();

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

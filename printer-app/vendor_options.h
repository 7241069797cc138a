// The KT50's ten job settings as IPP vendor attributes ("kt50-..."): their
// names, value syntaxes and how a job's settings are resolved from the job's
// own values, the printer's defaults and the filter's defaults. Every fact
// (name, range, choices and their keywords, default) comes from the job
// option table, g_JobOptions; nothing is copied here.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "cmnFilter.h"

enum class VendorKind {
  Range,       // rangeOfInteger, a number input on the web page
  IntegerSet,  // 1setOf integer, a selection on the web page
  Keyword,     // 1setOf keyword, a selection on the web page
  Boolean,     // a check box on the web page
};

// An IPP keyword and the filter's choice name it stands for.
struct tagVENDORKEYWORD {
  const char *keyword;
  const char *choice;
};

struct tagVENDOROPTION {
  const char *name;  // IPP attribute name; "-default"/"-supported" are added
  VendorKind kind;
  const tagINTOPTION *range;                   // Range, IntegerSet
  std::span<const tagCHOICE> choices;          // Keyword, Boolean: codes
  std::span<const tagVENDORKEYWORD> keywords;  // Keyword, Boolean: IPP values
  int32_t defaultCode;                         // Keyword, Boolean
  int32_t tagJOBSETTINGS::*field;
};

// The ten options in the order of the job settings.
std::span<const tagVENDOROPTION> VendorOptions();
const tagVENDOROPTION *FindVendorOption(std::string_view name);

// The filter's default value of an option.
int32_t VendorDefault(const tagVENDOROPTION &option);

// Reads an IPP value as text (as PAPPL hands vendor options over): a decimal
// number inside the range, one of the keywords, "true" or "false". Anything
// else, including numbers with trailing text or overlong values, is none.
std::optional<int32_t> ParseVendorValue(const tagVENDOROPTION &option, std::string_view text);

// A valid value for a stored default that may be invalid: numbers are
// clamped into the range, unknown keywords become the filter's default.
int32_t ClampVendorValue(const tagVENDOROPTION &option, std::string_view text);

// The IPP text of a value (a number, a keyword, "true"/"false").
std::string FormatVendorValue(const tagVENDOROPTION &option, int32_t value);

// Looks a value up by option name; null when absent.
using VendorLookup = std::function<const char *(const char *name)>;

// The first option whose value is present but invalid; null when none.
const tagVENDOROPTION *FirstInvalidValue(const VendorLookup &value);

// A job's settings: the job's own valid value, else the printer's valid
// default, else the filter's default. `rejected` (when given) hears of every
// value that was present but invalid.
tagJOBSETTINGS ResolveJobSettings(const VendorLookup &jobValue, const VendorLookup &printerDefault,
                                  const std::function<void(const char *name, const char *value)>
                                      &rejected = {});

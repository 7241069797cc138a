#include "options.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

namespace {

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Reads a number as atoi does: blanks, an optional sign, decimal digits. A
// number too large for 32 bits saturates, which every range then refuses.
int64_t ReadDecimal(const char *text) {
  while (IsCSpace(*text)) ++text;
  const bool negative = *text == '-';
  if (*text == '+' || *text == '-') ++text;
  int64_t number = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    number = std::min<int64_t>(number * 10 + (*text - '0'), int64_t{INT32_MAX} + 1);
  }
  return negative ? -number : number;
}

int32_t ReadIntValue(const char *value, int32_t min, int32_t max, int32_t def) {
  if (value == nullptr) return def;
  while (IsAsciiLetter(*value)) ++value;
  const int64_t number = ReadDecimal(value);
  return number < min || number > max ? def : static_cast<int32_t>(number);
}

int32_t ReadChoiceValue(const char *value, std::span<const tagCHOICE> list, int32_t def) {
  if (value == nullptr) return def;
  for (const tagCHOICE &choice : list) {
    if (choice.name == nullptr) break;
    if (strcmp(choice.name, value) == 0) return choice.code;
  }
  return def;
}

// The keyword of the PPD's marked choice: the queue's default, or the job's
// own choice when the job's options were marked over it.
const char *MarkedChoice(ppd_file_t *ppd, const char *keyword) {
  if (ppd == nullptr) return nullptr;
  const ppd_choice_t *choice = ppdFindMarkedChoice(ppd, keyword);
  return choice != nullptr ? choice->choice : nullptr;
}

const char *JobOptionValue(int numOptions, cups_option_t *options, const char *keyword) {
  char key[kComposedKeySize];
  snprintf(key, sizeof key, "%s.%s", g_KeyPrefix, keyword);
  if (const char *value = cupsGetOption(key, numOptions, options)) return value;
  return cupsGetOption(keyword, numOptions, options);
}

}  // namespace

const char *GetOptionStringValue(int numOptions, cups_option_t *options, const char *keyword,
                                 ppd_file_t *ppd) {
  if (const char *value = JobOptionValue(numOptions, options, keyword)) return value;
  return MarkedChoice(ppd, keyword);
}

int32_t GetOptionIntValue(int numOptions, cups_option_t *options, const char *keyword,
                          int32_t min, int32_t max, int32_t def, ppd_file_t *ppd) {
  const int32_t queueDefault = ReadIntValue(MarkedChoice(ppd, keyword), min, max, def);
  return ReadIntValue(JobOptionValue(numOptions, options, keyword), min, max, queueDefault);
}

int32_t GetOptionIntValue(int numOptions, cups_option_t *options, const tagINTOPTION &option,
                          ppd_file_t *ppd) {
  return GetOptionIntValue(numOptions, options, option.keyword, option.min, option.max,
                           option.def, ppd);
}

int32_t GetOptionChoiceValue(int numOptions, cups_option_t *options, const char *keyword,
                             std::span<const tagCHOICE> list, int32_t def, ppd_file_t *ppd) {
  const int32_t queueDefault = ReadChoiceValue(MarkedChoice(ppd, keyword), list, def);
  return ReadChoiceValue(JobOptionValue(numOptions, options, keyword), list, queueDefault);
}

tagJOBSETTINGS GetJobSettings(int numOptions, cups_option_t *options, ppd_file_t *ppd) {
  tagJOBSETTINGS s;
  for (const tagJOBOPTION &row : g_JobOptions) {
    s.*row.field = row.choices.empty()
                       ? GetOptionIntValue(numOptions, options, row.option, ppd)
                       : GetOptionChoiceValue(numOptions, options, row.option.keyword, row.choices,
                                              row.option.def, ppd);
  }
  return s;
}

void PpdCloser::operator()(ppd_file_t *ppd) const { ppdClose(ppd); }

PpdFile OpenQueuePpd(const char *path, int numOptions, cups_option_t *options) {
  if (path == nullptr || *path == '\0') return nullptr;
  PpdFile ppd(ppdOpenFile(path));
  if (ppd == nullptr) return nullptr;
  ppdMarkDefaults(ppd.get());
  cupsMarkOptions(ppd.get(), numOptions, options);
  return ppd;
}

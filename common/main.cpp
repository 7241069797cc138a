// vantrex-filter: a CUPS filter that turns a job's RGB CUPS raster into the
// KT50's command stream. Arguments: queue, job id, user, title, copies,
// options [, file].
#include <cups/cups.h>

#include <algorithm>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <span>

#include "cmnFilter.h"
#include "printcmd.h"

// The option's value under "<prefix>.<keyword>", else under the bare keyword,
// else null. The text belongs to the option array.
const char *GetOptionStringValue(int numOptions, cups_option_t *options, const char *keyword) {
  char key[kComposedKeySize];
  snprintf(key, sizeof key, "%s.%s", g_KeyPrefix, keyword);
  if (const char *value = cupsGetOption(key, numOptions, options)) return value;
  return cupsGetOption(keyword, numOptions, options);
}

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

}  // namespace

// An integer option: leading ASCII letters are skipped, the rest read as a
// number; absent values and values outside min..max give the default.
int32_t GetOptionIntValue(int numOptions, cups_option_t *options, const char *keyword,
                          int32_t min, int32_t max, int32_t def) {
  const char *value = GetOptionStringValue(numOptions, options, keyword);
  if (value == nullptr) return def;
  while (IsAsciiLetter(*value)) ++value;
  const int64_t number = ReadDecimal(value);
  return number < min || number > max ? def : static_cast<int32_t>(number);
}

int32_t GetOptionIntValue(int numOptions, cups_option_t *options, const tagINTOPTION &option) {
  return GetOptionIntValue(numOptions, options, option.keyword, option.min, option.max, option.def);
}

// The code of the list entry whose name equals the whole value, exactly;
// otherwise the default.
int32_t GetOptionChoiceValue(int numOptions, cups_option_t *options, const char *keyword,
                             std::span<const tagCHOICE> list, int32_t def) {
  const char *value = GetOptionStringValue(numOptions, options, keyword);
  if (value == nullptr) return def;
  for (const tagCHOICE &choice : list) {
    if (choice.name == nullptr) break;
    if (strcmp(choice.name, value) == 0) return choice.code;
  }
  return def;
}

int main(int argc, char *argv[]) {
  if (argc != 6 && argc != 7) return 1;
  // A closed backend then shows as a write error instead of killing us.
  signal(SIGPIPE, SIG_IGN);
  struct sigaction cancel = {};
  cancel.sa_handler = [](int) { CancelFilterJob(); };
  cancel.sa_flags = 0;  // a read blocked on a stalled upstream filter must wake up
  sigaction(SIGTERM, &cancel, nullptr);
  static char outputBuffer[1 << 16];
  setvbuf(stdout, outputBuffer, _IOFBF, sizeof outputBuffer);

  cups_option_t *options = nullptr;
  const int n = cupsParseOptions(argv[5], 0, &options);
  const int32_t writeDensity = GetOptionIntValue(n, options, g_WriteDensityOption);
  const int32_t adjustLength = GetOptionIntValue(n, options, g_AdjustLengthOption);
  const int32_t writeSpeed = GetOptionIntValue(n, options, g_WriteSpeedOption);
  const int32_t writeRepeat = GetOptionIntValue(n, options, g_WriteRepeatOption);
  const int32_t laneOverlap = GetOptionIntValue(n, options, g_LaneOverlapOption);
  const int32_t lineEnhance =
      GetOptionChoiceValue(n, options, kLineEnhance, g_LineEnhanceList, kLineEnhanceDefault);
  const int32_t mirror = GetOptionChoiceValue(n, options, kMirror, g_MirrorList, kMirrorDefault);
  const int32_t dotScreening =
      GetOptionChoiceValue(n, options, kDotScreening, g_DotScreeningList, kDotScreeningDefault);
  const int32_t frequency = GetOptionIntValue(n, options, g_DotScreeningFrequencyOption);
  const int32_t angle = GetOptionIntValue(n, options, g_DotScreeningAngleOption);
  cupsFreeOptions(n, options);

  return SendPrinterCommand(argc, argv, writeDensity, adjustLength, writeSpeed, writeRepeat,
                            lineEnhance, laneOverlap, mirror, dotScreening, frequency, angle);
}

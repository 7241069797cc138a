// The filter's option readers, GetJobSettings with and without a queue PPD,
// and SetPrintJobHeader. Input: CUPS option text, then (after a NUL byte)
// the text of a queue's PPD.
#include <cups/cups.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "fuzz_checks.h"
#include "fuzz_ppd.h"
#include "options.h"

namespace {

std::array<int32_t, 10> Fields(const tagJOBSETTINGS &s) {
  return {s.writeDensity, s.adjustLength, s.writeSpeed, s.writeRepeat, s.lineEnhance,
          s.laneOverlap,  s.mirror,       s.dotScreening, s.frequency, s.angle};
}

bool InRange(int32_t value, const tagINTOPTION &option) {
  return value >= option.min && value <= option.max;
}

// Every setting lies in its range, whatever the input.
void CheckRanges(const tagJOBSETTINGS &s) {
  for (const tagJOBOPTION &row : g_JobOptions) FUZZ_CHECK(InRange(s.*row.field, row.option));
}

// The header carries the values in their fields and keeps every command byte.
void CheckHeader(const tagJOBSETTINGS &s) {
  std::array<uint8_t, kJobHeaderSize> header = g_JobHeader;
  SetPrintJobHeader(header.data(), s.writeDensity, s.adjustLength, s.writeSpeed, s.writeRepeat,
                    s.lineEnhance, s.laneOverlap);
  for (const int offset : {0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, 16, 17, 18, 20, 21, 22})
    FUZZ_CHECK(header[offset] == g_JobHeader[offset]);
  FUZZ_CHECK(static_cast<int8_t>(header[3]) == s.writeDensity);
  FUZZ_CHECK(header[7] == s.writeSpeed && header[11] == s.writeRepeat);
  FUZZ_CHECK(header[15] == s.lineEnhance);
  FUZZ_CHECK(static_cast<int8_t>(header[19]) == s.laneOverlap);
  FUZZ_CHECK(static_cast<int16_t>(header[23] | header[24] << 8) == s.adjustLength);
}

constexpr std::array<const char *, 10> kKeywords{
    kWriteDensity, kAdjustLength, kWriteSpeed,  kWriteRepeat,           kLineEnhance,
    kLaneOverlap,  kMirror,       kDotScreening, kDotScreeningFrequency, kDotScreeningAngle};

// The prefixed key wins over the bare keyword, and the text comes from the
// option array itself.
void CheckLookup(int n, cups_option_t *options) {
  for (const char *keyword : kKeywords) {
    const std::string full = std::string(g_KeyPrefix) + "." + keyword;
    const char *expected = cupsGetOption(full.c_str(), n, options);
    if (expected == nullptr) expected = cupsGetOption(keyword, n, options);
    FUZZ_CHECK(GetOptionStringValue(n, options, keyword) == expected);
  }
}

PpdFile ReadPpd(std::string_view text) { return PpdFile(ParsePpdText(text)); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string_view input(reinterpret_cast<const char *>(data), size);
  const size_t split = input.find('\0');
  const std::string optionText(input.substr(0, split));
  cups_option_t *options = nullptr;
  const int n = cupsParseOptions(optionText.c_str(), 0, &options);
  CheckLookup(n, options);
  const tagJOBSETTINGS jobOnly = GetJobSettings(n, options, nullptr);
  CheckRanges(jobOnly);
  CheckHeader(jobOnly);

  if (split != std::string_view::npos) {
    if (PpdFile ppd = ReadPpd(input.substr(split + 1))) {
      ppdMarkDefaults(ppd.get());
      cupsMarkOptions(ppd.get(), n, options);
      const tagJOBSETTINGS withQueue = GetJobSettings(n, options, ppd.get());
      CheckRanges(withQueue);
      CheckHeader(withQueue);
      // What the job's own options decide, the queue cannot change.
      const tagJOBSETTINGS builtIn;
      const auto job = Fields(jobOnly), queue = Fields(withQueue), plain = Fields(builtIn);
      for (size_t i = 0; i < job.size(); ++i)
        if (job[i] != plain[i]) FUZZ_CHECK(queue[i] == job[i]);
    }
  }
  cupsFreeOptions(n, options);
  return 0;
}

// SPDX-License-Identifier: Apache-2.0
#include "PanelSettings.h"

#include <cups/array.h>

#include <cstring>

#include "ValueText.h"
#include "cmnFilter.h"

namespace {

constexpr std::size_t kKeywordMax = PPD_MAX_NAME - 1;  // 40
constexpr std::size_t kTextMax = PPD_MAX_TEXT - 1;     // 80

// Bounded views of the fixed-size PPD fields, safe even without a NUL.
std::string_view boundedText(const char *field, std::size_t max) {
  return {field, strnlen(field, max)};
}

bool isValidUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    auto c = static_cast<unsigned char>(text[i]);
    std::size_t extra = 0;
    uint32_t codePoint = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if (c >= 0xC2 && c <= 0xDF) {
      extra = 1;
      codePoint = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      extra = 2;
      codePoint = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      extra = 3;
      codePoint = c & 0x07;
    } else {
      return false;
    }
    if (i + extra >= text.size()) return false;  // sequence cut short
    for (std::size_t k = 1; k <= extra; ++k) {
      auto cc = static_cast<unsigned char>(text[i + k]);
      if ((cc & 0xC0) != 0x80) return false;
      codePoint = (codePoint << 6) | (cc & 0x3F);
    }
    const bool overlong = (extra == 2 && codePoint < 0x800) || (extra == 3 && codePoint < 0x10000);
    const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
    if (overlong || surrogate || codePoint > 0x10FFFF) return false;
    i += extra + 1;
  }
  return true;
}

void readNumber(const PrintSettingsStore &store, const tagINTOPTION &option, int32_t &field) {
  auto value = store.getValue(fullSettingsKey(option.keyword));
  if (!value) return;
  const int32_t number = intValueOf(*value);
  if (inRange(number, option)) field = number;
}

void readChoice(const PrintSettingsStore &store, const char *keyword,
                const ppd_option_t *option, int32_t &field) {
  auto value = store.getValue(fullSettingsKey(keyword));
  if (!value || !isAsciiText(*value)) return;
  field = ppdSearchChoice(option, value->c_str(), field);
}

}  // namespace

ppd_option_t *myPpdFindOption(ppd_file_t *ppd, const char *keyword) {
  if (ppd == nullptr || keyword == nullptr || ppd->options == nullptr) return nullptr;
  ppd_option_t key{};
  std::strncpy(key.keyword, keyword, kKeywordMax);
  key.keyword[kKeywordMax] = '\0';
  return static_cast<ppd_option_t *>(cupsArrayFind(ppd->options, &key));
}

int32_t ppdSearchChoice(const ppd_option_t *option, const char *searchStr,
                        int32_t defaultValue) {
  if (option == nullptr || searchStr == nullptr || option->num_choices < 1 ||
      option->choices == nullptr) {
    return defaultValue;
  }
  for (int i = 0; i < option->num_choices; ++i) {
    if (boundedText(option->choices[i].choice, kKeywordMax) == searchStr) return i;
  }
  return defaultValue;
}

const ppd_choice_t *choiceAt(const ppd_option_t *option, int32_t index) {
  if (option == nullptr || option->choices == nullptr || index < 0 ||
      index >= option->num_choices) {
    return nullptr;
  }
  return &option->choices[index];
}

std::optional<std::string> choiceKeywordAt(const ppd_option_t *option, int32_t index) {
  const ppd_choice_t *choice = choiceAt(option, index);
  if (choice == nullptr) return std::nullopt;
  return std::string(boundedText(choice->choice, kKeywordMax));
}

bool findPanelOptions(ppd_file_t *ppd, PanelSettings &s) {
  s.optionWriteSpeed = myPpdFindOption(ppd, kWriteSpeed);
  s.optionWriteRepeat = myPpdFindOption(ppd, kWriteRepeat);
  s.optionLineEnhance = myPpdFindOption(ppd, kLineEnhance);
  s.optionLaneOverlap = myPpdFindOption(ppd, kLaneOverlap);
  s.optionMirror = myPpdFindOption(ppd, kMirror);
  s.optionDotScreening = myPpdFindOption(ppd, kDotScreening);
  s.optionDotScreeningFrequency = myPpdFindOption(ppd, kDotScreeningFrequency);
  s.optionDotScreeningAngle = myPpdFindOption(ppd, kDotScreeningAngle);
  return s.optionWriteSpeed && s.optionWriteRepeat && s.optionLineEnhance &&
         s.optionLaneOverlap && s.optionMirror && s.optionDotScreening &&
         s.optionDotScreeningFrequency && s.optionDotScreeningAngle;
}

namespace {

int32_t defaultChoice(const ppd_option_t *option, int32_t fallback) {
  if (option == nullptr) return fallback;
  const std::string defchoice(boundedText(option->defchoice, kKeywordMax));
  return ppdSearchChoice(option, defchoice.c_str(), fallback);
}

}  // namespace

void setDefaults(PanelSettings &s) {
  s.nWriteDensityChoice = g_WriteDensityOption.def;
  s.nAdjustLengthChoice = g_AdjustLengthOption.def;
  s.nWriteSpeedChoice = defaultChoice(s.optionWriteSpeed, 0);
  s.nWriteRepeatChoice = defaultChoice(s.optionWriteRepeat, 0);
  s.nLineEnhanceChoice = defaultChoice(s.optionLineEnhance, 0);
  s.nLaneOverlapChoice = defaultChoice(s.optionLaneOverlap, 3);
  s.nMirrorChoice = defaultChoice(s.optionMirror, 1);
  s.nDotScreeningChoice = defaultChoice(s.optionDotScreening, 0);
  s.nDotScreeningFrequencyChoice = g_DotScreeningFrequencyOption.def;
  s.nDotScreeningAngleChoice = g_DotScreeningAngleOption.def;
}

void getNonPPDSettingsFromPrintSettings(PanelSettings &s, const PrintSettingsStore *printSettings) {
  if (printSettings == nullptr) return;
  const PrintSettingsStore &store = *printSettings;
  readNumber(store, g_WriteDensityOption, s.nWriteDensityChoice);
  readNumber(store, g_AdjustLengthOption, s.nAdjustLengthChoice);
  readChoice(store, kWriteSpeed, s.optionWriteSpeed, s.nWriteSpeedChoice);
  readChoice(store, kWriteRepeat, s.optionWriteRepeat, s.nWriteRepeatChoice);
  readChoice(store, kLineEnhance, s.optionLineEnhance, s.nLineEnhanceChoice);
  readChoice(store, kLaneOverlap, s.optionLaneOverlap, s.nLaneOverlapChoice);
  readChoice(store, kMirror, s.optionMirror, s.nMirrorChoice);
  readChoice(store, kDotScreening, s.optionDotScreening, s.nDotScreeningChoice);
  readNumber(store, g_DotScreeningFrequencyOption, s.nDotScreeningFrequencyChoice);
  readNumber(store, g_DotScreeningAngleOption, s.nDotScreeningAngleChoice);
}

bool initPanelSettings(ppd_file_t *ppd, PanelSettings &s) {
  if (!findPanelOptions(ppd, s)) return false;
  setDefaults(s);
  return true;
}

void restorePanelSettings(PanelSettings &s, const PrintSettingsStore *printSettings) {
  setDefaults(s);
  getNonPPDSettingsFromPrintSettings(s, printSettings);
}

namespace {

// The display text, or the keyword when the text is not valid UTF-8.
std::string displayTextOf(const ppd_choice_t &choice) {
  std::string_view text = boundedText(choice.text, kTextMax);
  if (!isValidUtf8(text)) text = boundedText(choice.choice, kKeywordMax);
  return std::string(text);
}

}  // namespace

PPDChoiceList choiceListOf(const ppd_option_t *option) {
  PPDChoiceList list;
  if (option == nullptr || option->choices == nullptr) return list;
  for (int i = 0; i < option->num_choices; ++i) {
    const ppd_choice_t &choice = option->choices[i];
    list.push_back({std::string(boundedText(choice.choice, kKeywordMax)), displayTextOf(choice)});
  }
  return list;
}

std::string choiceDisplayText(const ppd_option_t *option, int32_t index) {
  const ppd_choice_t *choice = choiceAt(option, index);
  return choice ? displayTextOf(*choice) : std::string();
}

// The dialog model's PPD routines and settings persistence on any PPD text
// and any stored settings. Input: PPD text, a NUL byte, then settings lines
// "KEY=VALUE" (a key without a full stop gets the settings prefix; "!KEY"
// is stored as it is; "typed.density", "typed.length", "typed.frequency" and
// "typed.angle" are what the entry fields hold at save time).
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "FirstPanelModel.h"
#include "ImagePanelModel.h"
#include "PanelSettings.h"
#include "PrintSettingsStore.h"
#include "ValueText.h"
#include "fuzz_checks.h"
#include "fuzz_ppd.h"

namespace {

struct PpdCloser {
  void operator()(ppd_file_t *ppd) const { ppdClose(ppd); }
};
using PpdFile = std::unique_ptr<ppd_file_t, PpdCloser>;

PpdFile ReadPpd(std::string_view text) { return PpdFile(ParsePpdText(text)); }

struct Typed {
  FirstPanel::TypedTexts first;
  ImagePanel::TypedTexts image;
};

void StoreLines(std::string_view text, MemoryPrintSettings &store, Typed &typed) {
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    const size_t eq = line.find('=');
    const std::string_view key = line.substr(0, eq);
    const std::string_view value = eq == std::string_view::npos ? "" : line.substr(eq + 1);
    if (key == "typed.density") typed.first.writeDensity = value;
    else if (key == "typed.length") typed.first.adjustLength = value;
    else if (key == "typed.frequency") typed.image.frequency = value;
    else if (key == "typed.angle") typed.image.angle = value;
    else if (!key.empty() && key[0] == '!') store.setValue(key.substr(1), value);
    else if (key.find('.') == std::string_view::npos) store.setValue(fullSettingsKey(key), value);
    else store.setValue(key, value);
  }
}

// A choice field holds a position of its option, or the fallback position
// of a PPD whose default is not among the choices.
bool ValidChoice(const ppd_option_t *option, int32_t index, int32_t fallback) {
  return (index >= 0 && index < option->num_choices) || index == fallback;
}

void CheckFields(const PanelSettings &s) {
  FUZZ_CHECK(inRange(s.nWriteDensityChoice, g_WriteDensityOption));
  FUZZ_CHECK(inRange(s.nAdjustLengthChoice, g_AdjustLengthOption));
  FUZZ_CHECK(inRange(s.nDotScreeningFrequencyChoice, g_DotScreeningFrequencyOption));
  FUZZ_CHECK(inRange(s.nDotScreeningAngleChoice, g_DotScreeningAngleOption));
  FUZZ_CHECK(ValidChoice(s.optionWriteSpeed, s.nWriteSpeedChoice, 0));
  FUZZ_CHECK(ValidChoice(s.optionWriteRepeat, s.nWriteRepeatChoice, 0));
  FUZZ_CHECK(ValidChoice(s.optionLineEnhance, s.nLineEnhanceChoice, 0));
  FUZZ_CHECK(ValidChoice(s.optionLaneOverlap, s.nLaneOverlapChoice, 3));
  FUZZ_CHECK(ValidChoice(s.optionMirror, s.nMirrorChoice, 1));
  FUZZ_CHECK(ValidChoice(s.optionDotScreening, s.nDotScreeningChoice, 0));
}

// What the panels show: menus, summaries, guides; none may reach outside
// the PPD's records.
void Show(PanelSettings &s) {
  for (const FirstPanel::Menu menu : FirstPanel::kMenus) {
    const PPDChoiceList items = FirstPanel::menuItems(s, menu);
    const int32_t choice = FirstPanel::menuChoice(s, menu);
    (void)choiceDisplayText(FirstPanel::menuOption(s, menu), choice);
    FUZZ_CHECK(items.size() == static_cast<size_t>(FirstPanel::menuOption(s, menu)->num_choices));
  }
  (void)FirstPanel::summary(s);
  (void)FirstPanel::writeDensityFieldText(s);
  (void)FirstPanel::adjustLengthFieldText(s);
  (void)ImagePanel::modeItems(s);
  (void)ImagePanel::guidePictures(s.nDotScreeningChoice);
  (void)ImagePanel::summary(s);
}

std::string KeywordAt(const ppd_option_t *option, int32_t index) {
  return choiceKeywordAt(option, index).value_or("<none>");
}

bool IsStorable(const ppd_option_t *option, int32_t index) {
  const auto keyword = choiceKeywordAt(option, index);
  return keyword && isAsciiText(*keyword);
}

// Saving and restoring gives back the same values: numbers exactly, choices
// by their keyword (a PPD may repeat a keyword at two positions).
void CheckRoundTrip(ppd_file_t *ppd, const PanelSettings &saved, const MemoryPrintSettings &store) {
  PanelSettings back;
  FUZZ_CHECK(initPanelSettings(ppd, back));
  restorePanelSettings(back, &store);
  CheckFields(back);
  FUZZ_CHECK(back.nWriteDensityChoice == saved.nWriteDensityChoice);
  FUZZ_CHECK(back.nAdjustLengthChoice == saved.nAdjustLengthChoice);
  FUZZ_CHECK(back.nDotScreeningFrequencyChoice == saved.nDotScreeningFrequencyChoice);
  FUZZ_CHECK(back.nDotScreeningAngleChoice == saved.nDotScreeningAngleChoice);
  const std::array<std::pair<const ppd_option_t *, std::pair<int32_t, int32_t>>, 6> choices{{
      {saved.optionWriteSpeed, {saved.nWriteSpeedChoice, back.nWriteSpeedChoice}},
      {saved.optionWriteRepeat, {saved.nWriteRepeatChoice, back.nWriteRepeatChoice}},
      {saved.optionLineEnhance, {saved.nLineEnhanceChoice, back.nLineEnhanceChoice}},
      {saved.optionLaneOverlap, {saved.nLaneOverlapChoice, back.nLaneOverlapChoice}},
      {saved.optionMirror, {saved.nMirrorChoice, back.nMirrorChoice}},
      {saved.optionDotScreening, {saved.nDotScreeningChoice, back.nDotScreeningChoice}},
  }};
  for (const auto &[option, indices] : choices)
    if (IsStorable(option, indices.first))
      FUZZ_CHECK(KeywordAt(option, indices.first) == KeywordAt(option, indices.second));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string_view input(reinterpret_cast<const char *>(data), size);
  const size_t split = input.find('\0');
  PpdFile ppd = ReadPpd(input.substr(0, split));
  const std::string_view settingsText =
      split == std::string_view::npos ? std::string_view() : input.substr(split + 1);

  PanelSettings settings;
  if (!initPanelSettings(ppd.get(), settings)) return 0;
  CheckFields(settings);
  MemoryPrintSettings stored;
  Typed typed;
  StoreLines(settingsText, stored, typed);
  restorePanelSettings(settings, &stored);
  CheckFields(settings);
  Show(settings);
  FUZZ_CHECK(std::isfinite(ImagePanel::popupWidth(120.0, typed.image.angle)));

  MemoryPrintSettings saved;
  FirstPanel::writeNonPPDSettingsToPrintSettings(settings, &saved, &typed.first);
  ImagePanel::writeNonPPDSettingsToPrintSettings(settings, &saved, &typed.image);
  CheckFields(settings);
  CheckRoundTrip(ppd.get(), settings, saved);
  return 0;
}

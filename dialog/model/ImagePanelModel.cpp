// SPDX-License-Identifier: Apache-2.0
#include "ImagePanelModel.h"

#include <cmath>

#include "ValueText.h"
#include "cmnFilter.h"

namespace ImagePanel {

PPDChoiceList modeItems(const PanelSettings &settings) {
  return choiceListOf(settings.optionDotScreening);
}

bool frequencyAngleEnabled(int32_t mode) { return mode == kFrequencyAngleMode; }

void setMode(PanelSettings &settings, int32_t position) {
  if (choiceAt(settings.optionDotScreening, position) == nullptr) return;
  settings.nDotScreeningChoice = position;
}

std::string setFrequencyFromSlider(PanelSettings &settings, int32_t sliderValue) {
  settings.nDotScreeningFrequencyChoice = sliderValue;
  return std::to_string(sliderValue);
}

std::string setAngleFromSlider(PanelSettings &settings, int32_t sliderValue) {
  settings.nDotScreeningAngleChoice = sliderValue;
  return std::to_string(sliderValue);
}

namespace {

constexpr GuidePicture kSrcText{"V5_OrgTxt", "bmp"};
constexpr GuidePicture kSrcImage{"peli_OrgPht", "bmp"};
constexpr GuidePicture kArrow{"YAJIRUSHI", "ico"};
constexpr GuidePicture kNothing{};

// Rows: modes 0 to 5. Columns: SrcText, SrcImage, SrcToDstArrow, DstText, DstImage.
constexpr GuidePictures kGuideTable[] = {
    {kSrcText, kSrcImage, kArrow, {"Text_nichi_128", "bmp"}, {"Gazou_nichi_128", "bmp"}},
    {kSrcText, kSrcImage, kArrow, {"V5_C_An_MonoColor", "bmp"}, {"A_1color", "bmp"}},
    {kSrcText, kSrcImage, kArrow, {"V5_C_An_MonoColor", "bmp"}, {"A_1color", "bmp"}},
    {kSrcText, kSrcImage, kArrow, {"V5_C_An_MonoColor", "bmp"}, {"A_1color", "bmp"}},
    {kSrcText, kSrcImage, kArrow, {"V5_C_Gn_MonoColor", "bmp"}, {"G_1color", "bmp"}},
    {kNothing, kNothing, kNothing, kNothing, kNothing},
};

}  // namespace

GuidePictures guidePictures(int32_t mode) {
  if (mode < 0 || mode >= static_cast<int32_t>(std::size(kGuideTable))) return {};
  return kGuideTable[mode];
}

double popupWidth(double laidOutWidth, std::string_view factorText) {
  const double factor = doubleValueOf(factorText);
  if (!(factor > 0.0)) return laidOutWidth;
  const double width = laidOutWidth * factor;
  return std::isfinite(width) ? width : laidOutWidth;
}

namespace {

void takeTypedTexts(PanelSettings &settings, const TypedTexts &typed) {
  const int32_t frequency = intValueOf(typed.frequency);
  if (inRange(frequency, g_DotScreeningFrequencyOption)) {
    settings.nDotScreeningFrequencyChoice = frequency;
  }
  const int32_t angle = intValueOf(typed.angle);
  if (inRange(angle, g_DotScreeningAngleOption)) settings.nDotScreeningAngleChoice = angle;
}

}  // namespace

void writeNonPPDSettingsToPrintSettings(PanelSettings &settings, PrintSettingsStore *printSettings,
                                        const TypedTexts *typed) {
  if (printSettings == nullptr) return;
  if (typed != nullptr) takeTypedTexts(settings, *typed);
  // A mode outside the choices (an option without choices) writes no mode.
  if (auto keyword = choiceKeywordAt(settings.optionDotScreening, settings.nDotScreeningChoice)) {
    printSettings->setValue(fullSettingsKey(kDotScreening), *keyword);
  }
  printSettings->setValue(fullSettingsKey(kDotScreeningFrequency),
                          dotScreeningFrequencySettingText(settings.nDotScreeningFrequencyChoice));
  printSettings->setValue(fullSettingsKey(kDotScreeningAngle),
                          dotScreeningAngleSettingText(settings.nDotScreeningAngleChoice));
}

SummaryEntries summary(const PanelSettings &settings) {
  SummaryEntries entries;
  entries.push_back(
      {kDotScreening, choiceDisplayText(settings.optionDotScreening, settings.nDotScreeningChoice)});
  if (settings.nDotScreeningChoice == kFrequencyAngleMode) {
    entries.push_back({kDotScreeningFrequency,
                       std::to_string(settings.nDotScreeningFrequencyChoice) + " lpi"});
    entries.push_back(
        {kDotScreeningAngle, std::to_string(settings.nDotScreeningAngleChoice) + " deg"});
  }
  return entries;
}

}  // namespace ImagePanel

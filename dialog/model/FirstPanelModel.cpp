// SPDX-License-Identifier: Apache-2.0
#include "FirstPanelModel.h"

#include "ValueText.h"
#include "cmnFilter.h"

namespace FirstPanel {

namespace {

struct MenuRow {
  const char *keyword;  // option keyword, label and summary title key
  const char *guideKey;
  ppd_option_t *PanelSettings::*option;
  int32_t PanelSettings::*choice;
};

// One row per menu, in the order of Menu.
constexpr MenuRow kMenuRows[kMenuCount] = {
    {kWriteSpeed, "TKWriteSpeedGuide", &PanelSettings::optionWriteSpeed,
     &PanelSettings::nWriteSpeedChoice},
    {kWriteRepeat, "TKWriteRepeatGuide", &PanelSettings::optionWriteRepeat,
     &PanelSettings::nWriteRepeatChoice},
    {kLineEnhance, "TKLineEnhanceGuide", &PanelSettings::optionLineEnhance,
     &PanelSettings::nLineEnhanceChoice},
    {kLaneOverlap, "TKLaneOverlapGuide", &PanelSettings::optionLaneOverlap,
     &PanelSettings::nLaneOverlapChoice},
    {kMirror, "TKMirrorGuide", &PanelSettings::optionMirror, &PanelSettings::nMirrorChoice},
};

const MenuRow &rowOf(Menu menu) { return kMenuRows[static_cast<int>(menu)]; }

}  // namespace

MenuKeys menuKeys(Menu menu) { return {rowOf(menu).keyword, rowOf(menu).guideKey}; }

ppd_option_t *menuOption(const PanelSettings &settings, Menu menu) {
  return settings.*(rowOf(menu).option);
}

int32_t menuChoice(const PanelSettings &settings, Menu menu) {
  return settings.*(rowOf(menu).choice);
}

PPDChoiceList menuItems(const PanelSettings &settings, Menu menu) {
  return choiceListOf(menuOption(settings, menu));
}

void setMenuPosition(PanelSettings &settings, Menu menu, int32_t position) {
  if (choiceAt(menuOption(settings, menu), position) == nullptr) return;
  settings.*(rowOf(menu).choice) = position;
}

std::string setWriteDensityFromSlider(PanelSettings &settings, int32_t sliderValue) {
  settings.nWriteDensityChoice = sliderValue;
  return writeDensityText(sliderValue);
}

std::string setAdjustLengthFromSlider(PanelSettings &settings, int32_t sliderValue) {
  settings.nAdjustLengthChoice = sliderValue;
  return adjustLengthText(sliderValue);
}

std::string writeDensityFieldText(const PanelSettings &settings) {
  return writeDensityText(settings.nWriteDensityChoice);
}

std::string adjustLengthFieldText(const PanelSettings &settings) {
  return adjustLengthText(settings.nAdjustLengthChoice);
}

bool showsOSMirrorGuide(const PrintSettingsStore *printSettings) {
  if (printSettings == nullptr) return false;
  auto value = printSettings->getValue(kOSMirrorSettingKey);
  return value && *value == "true";
}

namespace {

void takeTypedTexts(PanelSettings &settings, const TypedTexts &typed) {
  const int32_t density = intValueOf(typed.writeDensity);
  if (inRange(density, g_WriteDensityOption)) {
    settings.nWriteDensityChoice = density;
  }
  int32_t length = 0;
  if (typedAdjustLength(typed.adjustLength, length) && inRange(length, g_AdjustLengthOption)) {
    settings.nAdjustLengthChoice = length;
  }
}

}  // namespace

void writeNonPPDSettingsToPrintSettings(PanelSettings &settings, PrintSettingsStore *printSettings,
                                        const TypedTexts *typed) {
  if (printSettings == nullptr) return;
  if (typed != nullptr) takeTypedTexts(settings, *typed);
  printSettings->setValue(fullSettingsKey(kWriteDensity),
                          writeDensitySettingText(settings.nWriteDensityChoice));
  printSettings->setValue(fullSettingsKey(kAdjustLength),
                          adjustLengthSettingText(settings.nAdjustLengthChoice));
  for (Menu menu : kMenus) {
    // An index outside the choices (a short PPD option) writes nothing.
    auto keyword = choiceKeywordAt(menuOption(settings, menu), menuChoice(settings, menu));
    if (keyword) printSettings->setValue(fullSettingsKey(rowOf(menu).keyword), *keyword);
  }
}

SummaryEntries summary(const PanelSettings &settings) {
  SummaryEntries entries;
  entries.push_back({kWriteDensity, writeDensityText(settings.nWriteDensityChoice) + " "});
  entries.push_back({kAdjustLength, adjustLengthText(settings.nAdjustLengthChoice) + " %"});
  for (Menu menu : kMenus) {
    entries.push_back({rowOf(menu).keyword,
                       choiceDisplayText(menuOption(settings, menu), menuChoice(settings, menu))});
  }
  return entries;
}

}  // namespace FirstPanel

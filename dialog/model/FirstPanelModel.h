// SPDX-License-Identifier: Apache-2.0
// The main settings panel's logic: write density and length adjustment
// (slider + entry field each), and the five menus write speed, write repeat,
// line enhancement, lane overlap and mirror, whose items are the choices of
// the PPD options of the same keyword. The adapter moves values between this
// model, the print settings and its controls; every decision is made here.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "PanelInfo.h"
#include "PanelSettings.h"
#include "PrintSettingsStore.h"

namespace FirstPanel {

// The five menus, in the order the panel fills them.
enum class Menu { WriteSpeed, WriteRepeat, LineEnhance, LaneOverlap, Mirror };
inline constexpr int kMenuCount = 5;
inline constexpr std::array<Menu, kMenuCount> kMenus{
    Menu::WriteSpeed, Menu::WriteRepeat, Menu::LineEnhance, Menu::LaneOverlap, Menu::Mirror};

// Localisation keys of a menu's label and guide (the label key is also the
// option keyword and the summary title key).
struct MenuKeys {
  const char *titleKey;
  const char *guideKey;
};
MenuKeys menuKeys(Menu menu);

// Localisation keys of the two number labels.
inline constexpr char kWriteDensityTitleKey[] = "TKWriteDensity";
inline constexpr char kAdjustLengthTitleKey[] = "TKAdjustLength";
// The guide shown while the print system's own "mirror" setting is "true".
inline constexpr char kOSMirrorGuideKey[] = "OSMirrorGuide";
inline constexpr char kOSMirrorSettingKey[] = "mirror";

ppd_option_t *menuOption(const PanelSettings &settings, Menu menu);
int32_t menuChoice(const PanelSettings &settings, Menu menu);

// The menu's items: the option's choices in PPD order (display texts are
// the item titles, positions equal choice indices). Empty for no choices.
PPDChoiceList menuItems(const PanelSettings &settings, Menu menu);

// A menu's action: stores the selected position. A position outside the
// option's choices (-1 for no selection included) is ignored and the field
// keeps its value.
void setMenuPosition(PanelSettings &settings, Menu menu, int32_t position);

// The slider actions: store the slider's value unchecked (the slider's own
// limits bound it) and give the text for the entry field.
std::string setWriteDensityFromSlider(PanelSettings &settings, int32_t sliderValue);
std::string setAdjustLengthFromSlider(PanelSettings &settings, int32_t sliderValue);

// What updateUI puts into the two entry fields.
std::string writeDensityFieldText(const PanelSettings &settings);
std::string adjustLengthFieldText(const PanelSettings &settings);

// Whether OSMirrorGuide shows its text: the print setting "mirror" holds
// exactly "true". Null settings, an absent key or any other value: no.
bool showsOSMirrorGuide(const PrintSettingsStore *printSettings);

// The entry fields' texts at save time; handed only when the panel has been
// initialised (shown at least once).
struct TypedTexts {
  std::string writeDensity;
  std::string adjustLength;
};

// Takes the typed values (when typed is non-null): density by intValue,
// length by doubleValue x 100 truncated toward zero, each only inside its
// range. Then writes the seven keys in order: TKWriteDensity, TKAdjustLength,
// TKWriteSpeed, TKWriteRepeat, TKLineEnhance, TKLaneOverlap, TKMirror. A menu
// key whose index lies outside its option's choices is not written. Null
// print settings: nothing is taken or written.
void writeNonPPDSettingsToPrintSettings(PanelSettings &settings,
                                        PrintSettingsStore *printSettings,
                                        const TypedTexts *typed);

// The seven summary entries in display order (write density to mirror):
// "%d " for the density, "-1.25 %" style for the length, choice display
// texts for the menus ("" for an index outside the choices).
SummaryEntries summary(const PanelSettings &settings);

}  // namespace FirstPanel

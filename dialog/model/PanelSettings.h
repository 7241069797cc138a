// SPDX-License-Identifier: Apache-2.0
// The state and routines that the three settings panels (main settings, dot
// screening, test print) share: the eight PPD option references, the ten
// choice fields, the PPD look-ups, the starting values and the reading of the
// ten settings back from the print settings.
#pragma once

#include <cups/ppd.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "PrintSettingsStore.h"
#include "cmnFilter.h"

struct PanelSettings {
  // Borrowed from the host's PPD; all non-null in a panel that exists.
  ppd_option_t *optionWriteSpeed = nullptr;             // "TKWriteSpeed"
  ppd_option_t *optionWriteRepeat = nullptr;            // "TKWriteRepeat"
  ppd_option_t *optionLineEnhance = nullptr;            // "TKLineEnhance"
  ppd_option_t *optionLaneOverlap = nullptr;            // "TKLaneOverlap"
  ppd_option_t *optionMirror = nullptr;                 // "TKMirror"
  ppd_option_t *optionDotScreening = nullptr;           // "TKDotScreening"
  ppd_option_t *optionDotScreeningFrequency = nullptr;  // "TKDotScreeningFrequency"
  ppd_option_t *optionDotScreeningAngle = nullptr;      // "TKDotScreeningAngle"

  int32_t nWriteDensityChoice = 0;            // the density itself, -16..16
  int32_t nAdjustLengthChoice = 0;            // hundredths of a percent, -500..500
  int32_t nWriteSpeedChoice = 0;              // index into optionWriteSpeed's choices
  int32_t nWriteRepeatChoice = 0;             // index into optionWriteRepeat's choices
  int32_t nLineEnhanceChoice = 0;             // index into optionLineEnhance's choices
  int32_t nLaneOverlapChoice = 3;             // index into optionLaneOverlap's choices
  int32_t nMirrorChoice = 1;                  // index into optionMirror's choices
  int32_t nDotScreeningChoice = 0;            // index into optionDotScreening's choices
  int32_t nDotScreeningFrequencyChoice = 38;  // lines per inch, 38..200
  int32_t nDotScreeningAngleChoice = 37;      // degrees, 0..90
};

// Whether a number field's value lies in its option's range (both ends
// included) as the job option table gives it.
constexpr bool inRange(int32_t value, const tagINTOPTION &option) {
  return value >= option.min && value <= option.max;
}

// Looks an option up in the PPD's sorted option index (its own ordering
// decides the match); the keyword is cut to 40 characters. Null for a null
// PPD or keyword, or a PPD without the index: there is no slower fallback.
ppd_option_t *myPpdFindOption(ppd_file_t *ppd, const char *keyword);

// Index of the first choice whose keyword equals searchStr byte for byte
// (case matters), else defaultValue as given, even if it lies outside the
// choices. Also defaultValue for a null option or search string.
int32_t ppdSearchChoice(const ppd_option_t *option, const char *searchStr,
                        int32_t defaultValue);

// The choice at index, or null when the index lies outside the option's
// choices (or the option is null). Every write goes through this guard.
const ppd_choice_t *choiceAt(const ppd_option_t *option, int32_t index);

// Keyword of the choice at index, or nothing when the index lies outside.
std::optional<std::string> choiceKeywordAt(const ppd_option_t *option, int32_t index);

// Creation check of a settings panel: finds the eight options in the order
// of PanelSettings and answers whether all of them exist. A null PPD finds
// none. When the answer is false the panel refuses creation.
bool findPanelOptions(ppd_file_t *ppd, PanelSettings &settings);

// Starting values: density, length, frequency and angle at the job option
// table's defaults (0, 0, 38, 37), each PPD
// option at its default choice, or at the fallback index (0, 0, 0, 3, 1, 0
// for speed, repeat, enhancement, overlap, mirror, screening) when the
// default is not among the choices.
void setDefaults(PanelSettings &settings);

// Overlays the ten fields with what the print settings hold. Null settings
// change nothing. Numbers are taken only inside their ranges; a choice value
// is taken only when it is ASCII and equals a choice keyword exactly.
void getNonPPDSettingsFromPrintSettings(PanelSettings &settings,
                                        const PrintSettingsStore *printSettings);

// Creation of a settings panel in one step: findPanelOptions, then
// setDefaults when all eight exist. False means: no panel.
bool initPanelSettings(ppd_file_t *ppd, PanelSettings &settings);

// A restore of the main and dot screening panels: setDefaults, then
// getNonPPDSettingsFromPrintSettings.
void restorePanelSettings(PanelSettings &settings, const PrintSettingsStore *printSettings);

// One choice of a PPD option as the panels list it: keyword (at most 40
// bytes) and display text (at most 80 bytes, valid UTF-8; a text that is not
// valid UTF-8 is replaced by the keyword so menus keep their positions).
struct PPDChoiceItem {
  std::string keyword;
  std::string text;
};
using PPDChoiceList = std::vector<PPDChoiceItem>;

// The option's choices in PPD order; empty for a null option.
PPDChoiceList choiceListOf(const ppd_option_t *option);

// Display text of the choice at index, or "" when the index lies outside.
std::string choiceDisplayText(const ppd_option_t *option, int32_t index);

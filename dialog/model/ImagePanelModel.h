// SPDX-License-Identifier: Apache-2.0
// The dot screening panel's logic: the screening mode (a position in the
// choices of the PPD option TKDotScreening, equal to its code), the AM screen
// frequency and angle, the rule that enables their controls, the guide
// pictures per mode, the summary and the width of the mode popup.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "PanelInfo.h"
#include "PanelSettings.h"
#include "PrintSettingsStore.h"

namespace ImagePanel {

// The mode whose frequency and angle controls are enabled: the AM screen.
inline constexpr int32_t kFrequencyAngleMode = Code(DotScreening::FrequencyAngle);

// Localisation keys used by the panel.
inline constexpr char kDotScreeningTitleKey[] = "TKDotScreening";
inline constexpr char kDotScreeningGuideKey[] = "TKDotScreeningGuide";
inline constexpr char kWidthAdjustValueKey[] = "TKDotScreeningWidthAdjustValue";
inline constexpr char kFrequencyTitleKey[] = "TKDotScreeningFrequency";
inline constexpr char kAngleTitleKey[] = "TKDotScreeningAngle";
inline constexpr char kSrcImageTitleKey[] = "TKDotScreeningSrcImageTitle";
inline constexpr char kDstImageTitleKey[] = "TKDotScreeningDstImageTitle";

// The arrow view is turned once, by this many degrees, when first shown.
inline constexpr double kArrowRotationDegrees = 90.0;

// The popup's items: the choices of TKDotScreening in PPD order.
PPDChoiceList modeItems(const PanelSettings &settings);

// The enabling rule of the four frequency and angle controls.
bool frequencyAngleEnabled(int32_t mode);

// The popup's action: stores the selected position. A position outside the
// option's choices (-1 for an empty popup included) is ignored.
void setMode(PanelSettings &settings, int32_t position);

// The slider actions: store unchecked, give the "%d" text for the field.
std::string setFrequencyFromSlider(PanelSettings &settings, int32_t sliderValue);
std::string setAngleFromSlider(PanelSettings &settings, int32_t sliderValue);

// A bundle resource by name and type; an empty picture (name == nullptr)
// means the view shows nothing.
struct GuidePicture {
  const char *name = nullptr;
  const char *type = nullptr;
  bool empty() const { return name == nullptr; }
};

// The five picture views, in this order.
enum class GuideView { SrcText, SrcImage, SrcToDstArrow, DstText, DstImage };
inline constexpr int kGuideViewCount = 5;
using GuidePictures = std::array<GuidePicture, kGuideViewCount>;

// What the five views show for a mode: before-pair, arrow and after-pair for
// modes 0 to 4, nothing at all for solid (5). A mode outside 0..5 shows
// nothing either.
GuidePictures guidePictures(int32_t mode);

// The popup's new width: the laid-out width times the localised factor. A
// factor that does not read as a positive number (missing key, "0", text),
// or a product that is not finite, keeps the laid-out width.
double popupWidth(double laidOutWidth, std::string_view factorText);

// The entry fields' texts at save time; handed only when the panel has been
// initialised.
struct TypedTexts {
  std::string frequency;
  std::string angle;
};

// Takes the typed values (when typed is non-null) by intValue, each only
// inside its range, then writes TKDotScreening (the mode's keyword; skipped
// when the mode lies outside the choices), TKDotScreeningFrequency ("+%03d")
// and TKDotScreeningAngle ("+%02d"), in this order, whatever the mode. Null
// print settings: nothing is taken or written.
void writeNonPPDSettingsToPrintSettings(PanelSettings &settings,
                                        PrintSettingsStore *printSettings,
                                        const TypedTexts *typed);

// Summary: the mode's display text; for mode 3 also "%d lpi" and "%d deg".
SummaryEntries summary(const PanelSettings &settings);

}  // namespace ImagePanel

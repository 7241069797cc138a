// SPDX-License-Identifier: Apache-2.0
// What identifies each of the four panels to the print dialog, and the
// constants of the panel protocol shared by all of them.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The platform's identifier of the general print dialog; any other dialog
// type gets no panels.
inline constexpr char kGeneralPrintDialogType[] = "BDB091F4-E57F-11D3-B5CC-0050E4603277";

// Summary key under which the titles are listed in display order.
inline constexpr char kSummaryDisplayOrderKey[] = "Summary Display Order";

struct PanelIdentity {
  const char *className;     // "FirstPDE" ...
  const char *nibName;       // interface file, named after the class
  const char *panelNameKey;  // localisation key of the panel name
  const char *panelKind;
  // supportedPPDOptionKeys; nullptr (with count 0) answers nil.
  const char *const *supportedPPDOptionKeys;
  std::size_t supportedPPDOptionKeyCount;
  // true: refuses creation unless the PPD holds all eight options;
  // false: any PPD will do (the version panel).
  bool needsPanelOptions;
  // true: restore reads and save writes the print settings (main settings,
  // dot screening); false: both do nothing and answer success.
  bool keepsSettings;
  // true: summaryInfo gives entries; false: nil.
  bool hasSummary;
};

inline constexpr const char *kFirstPDEKeys[] = {
    "TKWriteDensity", "TKAdjustLength", "TKWriteSpeed", "TKWriteRepeat",
    "TKLineEnhance",  "TKLaneOverlap",  "TKMirror",
};
inline constexpr const char *kImagePDEKeys[] = {
    "TKDotScreening", "TKDotScreeningFrequency", "TKDotScreeningAngle",
};

inline constexpr PanelIdentity kFirstPDEIdentity{
    "FirstPDE", "FirstPDE", "FirstPanel", "com.tavik.printPDEs.VANTREX_KT50.FirstPanel",
    kFirstPDEKeys, std::size(kFirstPDEKeys), true, true, true};
inline constexpr PanelIdentity kImagePDEIdentity{
    "ImagePDE", "ImagePDE", "ImagePanel", "com.tavik.printPDEs.VANTREX_KT50.ImagePanel",
    kImagePDEKeys, std::size(kImagePDEKeys), true, true, true};
inline constexpr PanelIdentity kOptionPDEIdentity{
    "OptionPDE", "OptionPDE", "OptionPanel", "com.tavik.printPDEs.VANTREX_KT50.OptionPanel",
    nullptr, 0, true, false, false};
inline constexpr PanelIdentity kVersionPDEIdentity{
    "VersionPDE", "VersionPDE", "VersionPanel", "com.tavik.printPDEs.VANTREX_KT50.VersionPanel",
    nullptr, 0, false, false, false};

// The panels in the order the plug-in hands them to the dialog.
inline constexpr const PanelIdentity *kPanelOrder[] = {
    &kFirstPDEIdentity, &kImagePDEIdentity, &kOptionPDEIdentity, &kVersionPDEIdentity};

// One summary line: the localisation key of its title and its value text.
// A summary is a list of them in display order; the adapter localises the
// titles, builds the dictionary and adds kSummaryDisplayOrderKey.
struct SummaryEntry {
  std::string titleKey;
  std::string value;
};
using SummaryEntries = std::vector<SummaryEntry>;

// SPDX-License-Identifier: Apache-2.0
// Small pieces every panel class uses to move values between the model and
// the toolkit: texts, the print settings, menus, summaries and nib loading.
#pragma once

#import "PDEPlatform.h"

#include <optional>
#include <string>
#include <string_view>

#include "PanelInfo.h"
#include "PanelSettings.h"
#include "PrintSettingsStore.h"

// The job's print settings seen through PMPrintSettingsGetValue and
// PMPrintSettingsSetValue. A value that is not a string reads as absent.
class PMPrintSettingsStore final : public PrintSettingsStore {
public:
  explicit PMPrintSettingsStore(PMPrintSettings settings) : settings_(settings) {}
  std::optional<std::string> getValue(std::string_view key) const override;
  void setValue(std::string_view key, std::string_view value) override;

private:
  PMPrintSettings settings_;
};

NSString *PDEString(std::string_view text);
std::string PDEStdString(NSString *text);
NSString *PDELocalized(NSBundle *bundle, const char *key);

// The callback object's ppdFile, only from hosts that answer
// willChangePPDOptionKeyValue:ppdChoice:; older hosts give no PPD.
BOOL PDEHostHandsOutPPD(PDEPluginCallback *callback);

// Fills a pop-up with one item per choice, in order. Items are added to the
// menu directly, so two choices with the same display text keep two items
// and positions stay equal to choice indices.
void PDEFillPopUp(NSPopUpButton *popUp, const PPDChoiceList &choices);

// Selects a position, or nothing when it lies outside the items.
void PDESelectPopUpItem(NSPopUpButton *popUp, int32_t position);

// The summary dictionary: localised titles to values, and, when asked for,
// the titles in display order under "Summary Display Order".
NSMutableDictionary *PDESummaryDictionary(NSBundle *bundle, const SummaryEntries &entries,
                                          BOOL withDisplayOrder);

// Loads the panel's nib from its bundle with the panel as owner; the
// outlets hold what the panel keeps.
void PDELoadPanelNib(NSBundle *bundle, const char *nibName, id owner);

NSArray *PDESupportedKeys(const PanelIdentity &identity);

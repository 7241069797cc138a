// SPDX-License-Identifier: Apache-2.0
// The main settings panel: write density and length adjustment (slider and
// entry field each), write speed, write repeat, line enhancement, lane
// overlap and mirror (menus of the PPD's choices).
#pragma once

#import "PDEPlatform.h"

#include "PanelSettings.h"

@interface FirstPDE : NSObject {
  PDEPluginCallback *pdePluginCallbackObject;
  NSString *thePanelName;
  NSView *FirstView;
  BOOL PanelIsInited;
  BOOL runningOnLeopardAndLater;
  uint64_t ppdStringEncoding;
  ppd_file_t *ppd;
  NSBundle *pdeBundle;

  NSTextField *WriteDensity;
  NSSlider *WriteDensity_Slider;
  NSTextField *AdjustLength;
  NSSlider *AdjustLength_Slider;
  NSPopUpButton *WriteSpeed;
  NSPopUpButton *WriteRepeat;
  NSPopUpButton *LineEnhance;
  NSPopUpButton *LaneOverlap;
  NSPopUpButton *Mirror;
  NSTextField *WriteDensityTitle;
  NSTextField *AdjustLengthTitle;
  NSTextField *WriteSpeedTitle;
  NSTextField *WriteRepeatTitle;
  NSTextField *LineEnhanceTitle;
  NSTextField *LaneOverlapTitle;
  NSTextField *MirrorTitle;
  NSTextField *WriteSpeedGuide;
  NSTextField *WriteRepeatGuide;
  NSTextField *LineEnhanceGuide;
  NSTextField *LaneOverlapGuide;
  NSTextField *MirrorGuide;
  NSTextField *OSMirrorGuide;

  // The eight option references and the ten choice fields. Held beside the
  // object: the GNU runtime runs no C++ constructors for instance variables.
  PanelSettings *panelSettings;
}

@property (retain) NSView *FirstView;
@property (retain) NSTextField *WriteDensity;
@property (retain) NSSlider *WriteDensity_Slider;
@property (retain) NSTextField *AdjustLength;
@property (retain) NSSlider *AdjustLength_Slider;
@property (retain) NSPopUpButton *WriteSpeed;
@property (retain) NSPopUpButton *WriteRepeat;
@property (retain) NSPopUpButton *LineEnhance;
@property (retain) NSPopUpButton *LaneOverlap;
@property (retain) NSPopUpButton *Mirror;
@property (retain) NSTextField *WriteDensityTitle;
@property (retain) NSTextField *AdjustLengthTitle;
@property (retain) NSTextField *WriteSpeedTitle;
@property (retain) NSTextField *WriteRepeatTitle;
@property (retain) NSTextField *LineEnhanceTitle;
@property (retain) NSTextField *LaneOverlapTitle;
@property (retain) NSTextField *MirrorTitle;
@property (retain) NSTextField *WriteSpeedGuide;
@property (retain) NSTextField *WriteRepeatGuide;
@property (retain) NSTextField *LineEnhanceGuide;
@property (retain) NSTextField *LaneOverlapGuide;
@property (retain) NSTextField *MirrorGuide;
@property (retain) NSTextField *OSMirrorGuide;

- (id)initWithCallback:(id)callback;
- (NSView *)panelView;
- (NSString *)panelName;
- (NSString *)panelKind;
- (NSArray *)supportedPPDOptionKeys;
- (BOOL)shouldShowHelp;
- (void)willShow;
- (BOOL)shouldHide;
- (void)PPDOptionKeyValueDidChange:(NSString *)option ppdChoice:(NSString *)choice;
- (BOOL)restoreValuesAndReturnError:(NSError **)error;
- (BOOL)saveValuesAndReturnError:(NSError **)error;
- (ppd_file_t *)getPPDOnTiger;
- (int32_t)ppdSearchChoice:(ppd_option_t *)option
                 searchStr:(const char *)searchStr
              defaultValue:(int32_t)defaultValue;
- (void)setDefaults;
- (void)getNonPPDSettingsFromPrintSettings;

- (NSDictionary *)summaryInfo;
- (void)updateUI;
- (void)initializePanel;
- (void)writeNonPPDSettingsToPrintSettings;
- (void)Act_Slider_WriteDensity:(id)sender;
- (void)Act_Slider_AdjustLength:(id)sender;
- (void)Act_TextField_WriteDensity:(id)sender;
- (void)Act_TextField_AdjustLength:(id)sender;
- (void)Act_PopUpButton_WriteSpeed:(id)sender;
- (void)Act_PopUpButton_WriteRepeat:(id)sender;
- (void)Act_PopUpButton_LineEnhance:(id)sender;
- (void)Act_PopUpButton_LaneOverlap:(id)sender;
- (void)Act_PopUpButton_Mirror:(id)sender;
@end

// SPDX-License-Identifier: Apache-2.0
// The dot screening panel: screening mode, AM screen frequency and angle,
// and a guide of before and after pictures for the chosen mode.
#pragma once

#import "PDEPlatform.h"

#include "PanelSettings.h"

@interface ImagePDE : NSObject {
  PDEPluginCallback *pdePluginCallbackObject;
  NSString *thePanelName;
  NSView *ImageView;
  BOOL PanelIsInited;
  BOOL runningOnLeopardAndLater;
  uint64_t ppdStringEncoding;
  ppd_file_t *ppd;
  NSBundle *pdeBundle;

  NSTextField *DotScreeningTitle;
  NSPopUpButton *DotScreening;
  NSTextField *DotScreeningGuide;
  NSTextField *DotScreeningFrequencyTitle;
  NSTextField *DotScreeningFrequency;
  NSSlider *DotScreeningFrequency_Slider;
  NSTextField *DotScreeningAngleTitle;
  NSTextField *DotScreeningAngle;
  NSSlider *DotScreeningAngle_Slider;
  NSTextField *DotScreeningSrcImageTitle;
  NSTextField *DotScreeningDstImageTitle;
  NSImageView *DotScreeningSrcText;
  NSImageView *DotScreeningSrcImage;
  NSImageView *DotScreeningDstText;
  NSImageView *DotScreeningDstImage;
  NSImageView *DotScreeningSrcToDstArrow;

  // The eight option references and the ten choice fields. Held beside the
  // object: the GNU runtime runs no C++ constructors for instance variables.
  PanelSettings *panelSettings;
}

@property (retain) NSView *ImageView;
@property (retain) NSTextField *DotScreeningTitle;
@property (retain) NSPopUpButton *DotScreening;
@property (retain) NSTextField *DotScreeningGuide;
@property (retain) NSTextField *DotScreeningFrequencyTitle;
@property (retain) NSTextField *DotScreeningFrequency;
@property (retain) NSSlider *DotScreeningFrequency_Slider;
@property (retain) NSTextField *DotScreeningAngleTitle;
@property (retain) NSTextField *DotScreeningAngle;
@property (retain) NSSlider *DotScreeningAngle_Slider;
@property (retain) NSTextField *DotScreeningSrcImageTitle;
@property (retain) NSTextField *DotScreeningDstImageTitle;
@property (retain) NSImageView *DotScreeningSrcText;
@property (retain) NSImageView *DotScreeningSrcImage;
@property (retain) NSImageView *DotScreeningDstText;
@property (retain) NSImageView *DotScreeningDstImage;
@property (retain) NSImageView *DotScreeningSrcToDstArrow;

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
- (NSDictionary *)summaryInfo;
- (ppd_file_t *)getPPDOnTiger;
- (int32_t)ppdSearchChoice:(ppd_option_t *)option
                 searchStr:(const char *)searchStr
              defaultValue:(int32_t)defaultValue;
- (void)setDefaults;
- (void)getNonPPDSettingsFromPrintSettings;

- (void)updateUI;
- (void)initializePanel;
- (void)writeNonPPDSettingsToPrintSettings;
- (void)Act_PopUpButton_DotScreening:(id)sender;
- (void)Act_Slider_DotScreeningFrequency:(id)sender;
- (void)Act_TextField_DotScreeningFrequency:(id)sender;
- (void)Act_Slider_DotScreeningAngle:(id)sender;
- (void)Act_TextField_DotScreeningAngle:(id)sender;
- (void)showDotScreeningGuideImage:(int32_t)mode;
@end

// SPDX-License-Identifier: Apache-2.0
// The test print panel: three buttons that send the stored test jobs A, B
// and C, patched with the current settings, to the dialog's printer.
#pragma once

#import "PDEPlatform.h"

#include "PanelSettings.h"

@interface OptionPDE : NSObject {
  PDEPluginCallback *pdePluginCallbackObject;
  NSString *thePanelName;
  NSView *OptionView;
  BOOL PanelIsInited;
  BOOL runningOnLeopardAndLater;
  ppd_file_t *ppd;
  NSBundle *pdeBundle;

  NSBox *TestBoxTitle;
  NSTextField *TestBoxGuide;
  NSButton *TestATitle;
  NSButton *TestBTitle;
  NSButton *TestCTitle;

  // The eight option references and the ten choice fields. Held beside the
  // object: the GNU runtime runs no C++ constructors for instance variables.
  PanelSettings *panelSettings;
}

@property (retain) NSView *OptionView;
@property (retain) NSBox *TestBoxTitle;
@property (retain) NSTextField *TestBoxGuide;
@property (retain) NSButton *TestATitle;
@property (retain) NSButton *TestBTitle;
@property (retain) NSButton *TestCTitle;

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
- (void)writeNonPPDSettingsToPrintSettings;

- (void)updateUI;
- (void)initializePanel;
- (void)Act_Button_TestA:(id)sender;
- (void)Act_Button_TestB:(id)sender;
- (void)Act_Button_TestC:(id)sender;
- (void)Act_Button_Test:(int)index;
- (void)showTestPrintMessage:(BOOL)success index:(int)index;
@end

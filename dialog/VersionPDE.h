// SPDX-License-Identifier: Apache-2.0
// The version panel: the driver's name, version and copyright, all laid
// out in its interface file.
#pragma once

#import "PDEPlatform.h"

@interface VersionPDE : NSObject {
  PDEPluginCallback *pdePluginCallbackObject;
  NSString *thePanelName;
  NSView *VersionView;
  BOOL PanelIsInited;
  BOOL runningOnLeopardAndLater;
  ppd_file_t *ppd;
  NSBundle *pdeBundle;
}

@property (retain) NSView *VersionView;

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
- (void)updateUI;
- (void)setDefaults;
- (void)initializePanel;
@end

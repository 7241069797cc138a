// SPDX-License-Identifier: Apache-2.0
#import "VersionPDE.h"

#import "PanelSupport.h"

#include "TestPrintModel.h"

@implementation VersionPDE

@synthesize VersionView;

- (id)initWithCallback:(id)callback {
  self = [super init];
  if (self == nil) return nil;
  thePanelName = nil;
  ppd = NULL;
  PanelIsInited = NO;
  pdePluginCallbackObject = [callback retain];
  pdeBundle = [[NSBundle bundleForClass:[self class]] retain];
  runningOnLeopardAndLater = PDEHostHandsOutPPD(pdePluginCallbackObject);
  ppd = runningOnLeopardAndLater ? [pdePluginCallbackObject ppdFile] : [self getPPDOnTiger];
  if (!VersionPanel::mayCreate(ppd)) {
    [pdePluginCallbackObject release];
    pdePluginCallbackObject = nil;
    [pdeBundle release];
    pdeBundle = nil;
    [self release];
    return nil;
  }
  [self setDefaults];
  return self;
}

- (void)dealloc {
  [pdePluginCallbackObject release];
  [pdeBundle release];
  [thePanelName release];
  [VersionView release];
  [super dealloc];
}

- (NSView *)panelView {
  if (VersionView == nil) PDELoadPanelNib(pdeBundle, kVersionPDEIdentity.nibName, self);
  return VersionView;
}

- (NSString *)panelName {
  if (thePanelName == nil)
    thePanelName = [PDELocalized(pdeBundle, kVersionPDEIdentity.panelNameKey) retain];
  return thePanelName;
}

- (NSString *)panelKind {
  return [NSString stringWithUTF8String:kVersionPDEIdentity.panelKind];
}

- (NSArray *)supportedPPDOptionKeys {
  return nil;
}

- (BOOL)shouldShowHelp {
  return NO;
}

- (void)willShow {
  [self initializePanel];
  [self updateUI];
}

- (BOOL)shouldHide {
  return YES;
}

- (void)PPDOptionKeyValueDidChange:(NSString *)option ppdChoice:(NSString *)choice {
}

- (BOOL)restoreValuesAndReturnError:(NSError **)error {
  return YES;
}

- (BOOL)saveValuesAndReturnError:(NSError **)error {
  return YES;
}

- (NSDictionary *)summaryInfo {
  return nil;
}

- (ppd_file_t *)getPPDOnTiger {
  return NULL;
}

- (void)updateUI {
}

- (void)setDefaults {
}

- (void)initializePanel {
  PanelIsInited = YES;
}

@end

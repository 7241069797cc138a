// SPDX-License-Identifier: Apache-2.0
#import "OptionPDE.h"

#import "PanelSupport.h"

#include "TestPrintModel.h"

@implementation OptionPDE

@synthesize OptionView, TestBoxTitle, TestBoxGuide, TestATitle, TestBTitle, TestCTitle;

- (id)initWithCallback:(id)callback {
  self = [super init];
  if (self == nil) return nil;
  thePanelName = nil;
  ppd = NULL;
  PanelIsInited = NO;
  panelSettings = new PanelSettings();
  pdePluginCallbackObject = [callback retain];
  pdeBundle = [[NSBundle bundleForClass:[self class]] retain];
  runningOnLeopardAndLater = PDEHostHandsOutPPD(pdePluginCallbackObject);
  ppd = runningOnLeopardAndLater ? [pdePluginCallbackObject ppdFile] : [self getPPDOnTiger];
  if (!initPanelSettings(ppd, *panelSettings)) {
    [pdePluginCallbackObject release];
    pdePluginCallbackObject = nil;
    [pdeBundle release];
    pdeBundle = nil;
    [self release];
    return nil;
  }
  return self;
}

- (void)dealloc {
  delete panelSettings;
  [pdePluginCallbackObject release];
  [thePanelName release];
  [pdeBundle release];
  [OptionView release];
  [TestBoxTitle release];
  [TestBoxGuide release];
  [TestATitle release];
  [TestBTitle release];
  [TestCTitle release];
  [super dealloc];
}

- (NSView *)panelView {
  if (OptionView == nil) PDELoadPanelNib(pdeBundle, kOptionPDEIdentity.nibName, self);
  return OptionView;
}

- (NSString *)panelName {
  if (thePanelName == nil)
    thePanelName = [PDELocalized(pdeBundle, kOptionPDEIdentity.panelNameKey) retain];
  return thePanelName;
}

- (NSString *)panelKind {
  return [NSString stringWithUTF8String:kOptionPDEIdentity.panelKind];
}

- (NSArray *)supportedPPDOptionKeys {
  return PDESupportedKeys(kOptionPDEIdentity);
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

- (int32_t)ppdSearchChoice:(ppd_option_t *)option
                 searchStr:(const char *)searchStr
              defaultValue:(int32_t)defaultValue {
  return ppdSearchChoice(option, searchStr, defaultValue);
}

- (void)setDefaults {
  setDefaults(*panelSettings);
}

- (void)getNonPPDSettingsFromPrintSettings {
  PMPrintSettings printSettings = [pdePluginCallbackObject printSettings];
  if (printSettings == NULL) return;
  PMPrintSettingsStore store(printSettings);
  ::getNonPPDSettingsFromPrintSettings(*panelSettings, &store);
}

- (void)writeNonPPDSettingsToPrintSettings {
}

- (void)updateUI {
}

- (void)initializePanel {
  if (PanelIsInited) return;
  [TestBoxTitle setTitle:PDELocalized(pdeBundle, OptionPanel::kTestBoxTitleKey)];
  [TestBoxGuide setStringValue:PDELocalized(pdeBundle, OptionPanel::kTestBoxGuideKey)];
  NSButton *buttons[] = {TestATitle, TestBTitle, TestCTitle};
  for (int i = 0; i < OptionPanel::kTestPrintCount; ++i)
    [buttons[i] setTitle:PDELocalized(pdeBundle, OptionPanel::kTestButtonTitleKeys[i])];
  PanelIsInited = YES;
}

- (void)Act_Button_TestA:(id)sender {
  [self Act_Button_Test:0];
}

- (void)Act_Button_TestB:(id)sender {
  [self Act_Button_Test:1];
}

- (void)Act_Button_TestC:(id)sender {
  [self Act_Button_Test:2];
}

- (void)Act_Button_Test:(int)index {
  PMPrintSettings printSettings = [pdePluginCallbackObject printSettings];
  PMPrintSettingsStore store(printSettings);
  OptionPanel::TestPrintTarget target;
  NSString *queue = PMPrinterGetID([pdePluginCallbackObject PMPrinter]);
  if (queue != nil) target.queue = PDEStdString((NSString *)queue);
  target.jobTitleFormat = PDEStdString(PDELocalized(pdeBundle, OptionPanel::kJobTitleKey));
  NSString *folder = PDETestJobFolder(pdePluginCallbackObject);
  if (folder != nil) target.folder = PDEStdString(folder);
  OptionPanel::TestPrintResult result = OptionPanel::runTestPrint(
      *panelSettings, printSettings != NULL ? &store : nullptr, index, target);
  [self showTestPrintMessage:result.success index:index];
}

- (void)showTestPrintMessage:(BOOL)success index:(int)index {
  if (index < 0 || index >= OptionPanel::kTestPrintCount) return;
  NSString *format = PDELocalized(pdeBundle, OptionPanel::testPrintMessageKey(success));
  std::string text = OptionPanel::formatWithIdentifier(
      PDEStdString(format), OptionPanel::s_TestPrintIdentifierList[index]);
  NSAlert *alert = [[[NSAlert alloc] init] autorelease];
  [alert setAlertStyle:NSInformationalAlertStyle];
  [alert setMessageText:PDELocalized(pdeBundle, OptionPanel::kMessageTitleKey)];
  [alert setInformativeText:PDEString(text)];
  [alert runModal];
}

@end

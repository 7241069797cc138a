// SPDX-License-Identifier: Apache-2.0
#import "FirstPDE.h"

#import "PanelSupport.h"

#include "FirstPanelModel.h"

using FirstPanel::Menu;

@implementation FirstPDE

@synthesize FirstView, WriteDensity, WriteDensity_Slider, AdjustLength, AdjustLength_Slider;
@synthesize WriteSpeed, WriteRepeat, LineEnhance, LaneOverlap, Mirror;
@synthesize WriteDensityTitle, AdjustLengthTitle, WriteSpeedTitle, WriteRepeatTitle;
@synthesize LineEnhanceTitle, LaneOverlapTitle, MirrorTitle;
@synthesize WriteSpeedGuide, WriteRepeatGuide, LineEnhanceGuide, LaneOverlapGuide, MirrorGuide;
@synthesize OSMirrorGuide;

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
  ppdStringEncoding = NSUTF8StringEncoding;
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
  [FirstView release];
  [WriteDensity release];
  [WriteDensity_Slider release];
  [AdjustLength release];
  [AdjustLength_Slider release];
  [WriteSpeed release];
  [WriteRepeat release];
  [LineEnhance release];
  [LaneOverlap release];
  [Mirror release];
  [WriteDensityTitle release];
  [AdjustLengthTitle release];
  [WriteSpeedTitle release];
  [WriteRepeatTitle release];
  [LineEnhanceTitle release];
  [LaneOverlapTitle release];
  [MirrorTitle release];
  [WriteSpeedGuide release];
  [WriteRepeatGuide release];
  [LineEnhanceGuide release];
  [LaneOverlapGuide release];
  [MirrorGuide release];
  [OSMirrorGuide release];
  [super dealloc];
}

- (NSView *)panelView {
  if (FirstView == nil) PDELoadPanelNib(pdeBundle, kFirstPDEIdentity.nibName, self);
  return FirstView;
}

- (NSString *)panelName {
  if (thePanelName == nil)
    thePanelName = [PDELocalized(pdeBundle, kFirstPDEIdentity.panelNameKey) retain];
  return thePanelName;
}

- (NSString *)panelKind {
  return [NSString stringWithUTF8String:kFirstPDEIdentity.panelKind];
}

- (NSArray *)supportedPPDOptionKeys {
  return PDESupportedKeys(kFirstPDEIdentity);
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
  [self setDefaults];
  [self getNonPPDSettingsFromPrintSettings];
  [self updateUI];
  return YES;
}

- (BOOL)saveValuesAndReturnError:(NSError **)error {
  [self writeNonPPDSettingsToPrintSettings];
  return YES;
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

- (NSDictionary *)summaryInfo {
  return PDESummaryDictionary(pdeBundle, FirstPanel::summary(*panelSettings),
                              runningOnLeopardAndLater);
}

- (NSPopUpButton *)popUpOfMenu:(Menu)menu {
  switch (menu) {
    case Menu::WriteSpeed: return WriteSpeed;
    case Menu::WriteRepeat: return WriteRepeat;
    case Menu::LineEnhance: return LineEnhance;
    case Menu::LaneOverlap: return LaneOverlap;
    case Menu::Mirror: return Mirror;
  }
  return nil;
}

- (NSTextField *)titleOfMenu:(Menu)menu {
  switch (menu) {
    case Menu::WriteSpeed: return WriteSpeedTitle;
    case Menu::WriteRepeat: return WriteRepeatTitle;
    case Menu::LineEnhance: return LineEnhanceTitle;
    case Menu::LaneOverlap: return LaneOverlapTitle;
    case Menu::Mirror: return MirrorTitle;
  }
  return nil;
}

- (NSTextField *)guideOfMenu:(Menu)menu {
  switch (menu) {
    case Menu::WriteSpeed: return WriteSpeedGuide;
    case Menu::WriteRepeat: return WriteRepeatGuide;
    case Menu::LineEnhance: return LineEnhanceGuide;
    case Menu::LaneOverlap: return LaneOverlapGuide;
    case Menu::Mirror: return MirrorGuide;
  }
  return nil;
}

- (void)updateUI {
  if (!PanelIsInited) return;
  [WriteDensity setStringValue:PDEString(FirstPanel::writeDensityFieldText(*panelSettings))];
  [WriteDensity_Slider setIntValue:panelSettings->nWriteDensityChoice];
  [AdjustLength setStringValue:PDEString(FirstPanel::adjustLengthFieldText(*panelSettings))];
  [AdjustLength_Slider setIntValue:panelSettings->nAdjustLengthChoice];
  for (Menu menu : FirstPanel::kMenus)
    PDESelectPopUpItem([self popUpOfMenu:menu], FirstPanel::menuChoice(*panelSettings, menu));
  PMPrintSettingsStore store([pdePluginCallbackObject printSettings]);
  BOOL osMirror = [pdePluginCallbackObject printSettings] != NULL &&
                  FirstPanel::showsOSMirrorGuide(&store);
  [OSMirrorGuide setStringValue:osMirror ? PDELocalized(pdeBundle, FirstPanel::kOSMirrorGuideKey)
                                         : @""];
}

- (void)initializePanel {
  if (PanelIsInited) return;
  [WriteDensityTitle setStringValue:PDELocalized(pdeBundle, FirstPanel::kWriteDensityTitleKey)];
  [AdjustLengthTitle setStringValue:PDELocalized(pdeBundle, FirstPanel::kAdjustLengthTitleKey)];
  for (Menu menu : FirstPanel::kMenus) {
    PDEFillPopUp([self popUpOfMenu:menu], FirstPanel::menuItems(*panelSettings, menu));
    FirstPanel::MenuKeys keys = FirstPanel::menuKeys(menu);
    [[self titleOfMenu:menu] setStringValue:PDELocalized(pdeBundle, keys.titleKey)];
    [[self guideOfMenu:menu] setStringValue:PDELocalized(pdeBundle, keys.guideKey)];
  }
  PanelIsInited = YES;
}

- (void)writeNonPPDSettingsToPrintSettings {
  PMPrintSettings printSettings = [pdePluginCallbackObject printSettings];
  if (printSettings == NULL) return;
  PMPrintSettingsStore store(printSettings);
  FirstPanel::TypedTexts typed{PDEStdString([WriteDensity stringValue]),
                               PDEStdString([AdjustLength stringValue])};
  FirstPanel::writeNonPPDSettingsToPrintSettings(*panelSettings, &store,
                                                 PanelIsInited ? &typed : nullptr);
}

- (void)Act_Slider_WriteDensity:(id)sender {
  std::string text = FirstPanel::setWriteDensityFromSlider(*panelSettings, [sender intValue]);
  [WriteDensity setStringValue:PDEString(text)];
}

- (void)Act_Slider_AdjustLength:(id)sender {
  std::string text = FirstPanel::setAdjustLengthFromSlider(*panelSettings, [sender intValue]);
  [AdjustLength setStringValue:PDEString(text)];
}

- (void)Act_TextField_WriteDensity:(id)sender {
}

- (void)Act_TextField_AdjustLength:(id)sender {
}

- (void)Act_PopUpButton_WriteSpeed:(id)sender {
  FirstPanel::setMenuPosition(*panelSettings, Menu::WriteSpeed, [sender indexOfSelectedItem]);
}

- (void)Act_PopUpButton_WriteRepeat:(id)sender {
  FirstPanel::setMenuPosition(*panelSettings, Menu::WriteRepeat, [sender indexOfSelectedItem]);
}

- (void)Act_PopUpButton_LineEnhance:(id)sender {
  FirstPanel::setMenuPosition(*panelSettings, Menu::LineEnhance, [sender indexOfSelectedItem]);
}

- (void)Act_PopUpButton_LaneOverlap:(id)sender {
  FirstPanel::setMenuPosition(*panelSettings, Menu::LaneOverlap, [sender indexOfSelectedItem]);
}

- (void)Act_PopUpButton_Mirror:(id)sender {
  FirstPanel::setMenuPosition(*panelSettings, Menu::Mirror, [sender indexOfSelectedItem]);
}

@end

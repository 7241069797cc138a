// SPDX-License-Identifier: Apache-2.0
#import "ImagePDE.h"

#import "PanelSupport.h"

#include "ImagePanelModel.h"

@implementation ImagePDE

@synthesize ImageView, DotScreeningTitle, DotScreening, DotScreeningGuide;
@synthesize DotScreeningFrequencyTitle, DotScreeningFrequency, DotScreeningFrequency_Slider;
@synthesize DotScreeningAngleTitle, DotScreeningAngle, DotScreeningAngle_Slider;
@synthesize DotScreeningSrcImageTitle, DotScreeningDstImageTitle;
@synthesize DotScreeningSrcText, DotScreeningSrcImage, DotScreeningDstText, DotScreeningDstImage;
@synthesize DotScreeningSrcToDstArrow;

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
  [ImageView release];
  [DotScreeningTitle release];
  [DotScreening release];
  [DotScreeningGuide release];
  [DotScreeningFrequencyTitle release];
  [DotScreeningFrequency release];
  [DotScreeningFrequency_Slider release];
  [DotScreeningAngleTitle release];
  [DotScreeningAngle release];
  [DotScreeningAngle_Slider release];
  [DotScreeningSrcImageTitle release];
  [DotScreeningDstImageTitle release];
  [DotScreeningSrcText release];
  [DotScreeningSrcImage release];
  [DotScreeningDstText release];
  [DotScreeningDstImage release];
  [DotScreeningSrcToDstArrow release];
  [super dealloc];
}

- (NSView *)panelView {
  if (ImageView == nil) PDELoadPanelNib(pdeBundle, kImagePDEIdentity.nibName, self);
  return ImageView;
}

- (NSString *)panelName {
  if (thePanelName == nil)
    thePanelName = [PDELocalized(pdeBundle, kImagePDEIdentity.panelNameKey) retain];
  return thePanelName;
}

- (NSString *)panelKind {
  return [NSString stringWithUTF8String:kImagePDEIdentity.panelKind];
}

- (NSArray *)supportedPPDOptionKeys {
  return PDESupportedKeys(kImagePDEIdentity);
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

- (NSDictionary *)summaryInfo {
  return PDESummaryDictionary(pdeBundle, ImagePanel::summary(*panelSettings),
                              runningOnLeopardAndLater);
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

- (void)applyEnablingRule {
  BOOL enabled = ImagePanel::frequencyAngleEnabled(panelSettings->nDotScreeningChoice);
  [DotScreeningFrequency setEnabled:enabled];
  [DotScreeningFrequency_Slider setEnabled:enabled];
  [DotScreeningAngle setEnabled:enabled];
  [DotScreeningAngle_Slider setEnabled:enabled];
}

- (void)updateUI {
  if (!PanelIsInited) return;
  PDESelectPopUpItem(DotScreening, panelSettings->nDotScreeningChoice);
  [DotScreeningFrequency setIntValue:panelSettings->nDotScreeningFrequencyChoice];
  [DotScreeningFrequency_Slider setIntValue:panelSettings->nDotScreeningFrequencyChoice];
  [DotScreeningAngle setIntValue:panelSettings->nDotScreeningAngleChoice];
  [DotScreeningAngle_Slider setIntValue:panelSettings->nDotScreeningAngleChoice];
  [self applyEnablingRule];
  [self showDotScreeningGuideImage:panelSettings->nDotScreeningChoice];
}

- (void)initializePanel {
  if (PanelIsInited) return;
  PDEFillPopUp(DotScreening, ImagePanel::modeItems(*panelSettings));
  [DotScreeningTitle setStringValue:PDELocalized(pdeBundle, ImagePanel::kDotScreeningTitleKey)];
  [DotScreeningGuide setStringValue:PDELocalized(pdeBundle, ImagePanel::kDotScreeningGuideKey)];
  NSString *factor = PDELocalized(pdeBundle, ImagePanel::kWidthAdjustValueKey);
  NSRect bounds = [DotScreening bounds];
  [DotScreening setFrameSize:NSMakeSize(ImagePanel::popupWidth(NSWidth(bounds),
                                                               PDEStdString(factor)),
                                        NSHeight(bounds))];
  [DotScreeningFrequencyTitle setStringValue:PDELocalized(pdeBundle,
                                                          ImagePanel::kFrequencyTitleKey)];
  [DotScreeningAngleTitle setStringValue:PDELocalized(pdeBundle, ImagePanel::kAngleTitleKey)];
  [DotScreeningSrcImageTitle setStringValue:PDELocalized(pdeBundle,
                                                         ImagePanel::kSrcImageTitleKey)];
  [DotScreeningDstImageTitle setStringValue:PDELocalized(pdeBundle,
                                                         ImagePanel::kDstImageTitleKey)];
  // Turned about its centre, so the arrow stays inside its view.
  NSRect arrow = [DotScreeningSrcToDstArrow bounds];
  [DotScreeningSrcToDstArrow translateOriginToPoint:NSMakePoint(NSMidX(arrow), NSMidY(arrow))];
  [DotScreeningSrcToDstArrow rotateByAngle:ImagePanel::kArrowRotationDegrees];
  [DotScreeningSrcToDstArrow translateOriginToPoint:NSMakePoint(-NSMidX(arrow), -NSMidY(arrow))];
  PanelIsInited = YES;
}

- (void)writeNonPPDSettingsToPrintSettings {
  PMPrintSettings printSettings = [pdePluginCallbackObject printSettings];
  if (printSettings == NULL) return;
  PMPrintSettingsStore store(printSettings);
  ImagePanel::TypedTexts typed{PDEStdString([DotScreeningFrequency stringValue]),
                               PDEStdString([DotScreeningAngle stringValue])};
  ImagePanel::writeNonPPDSettingsToPrintSettings(*panelSettings, &store,
                                                 PanelIsInited ? &typed : nullptr);
}

- (void)Act_PopUpButton_DotScreening:(id)sender {
  ImagePanel::setMode(*panelSettings, [sender indexOfSelectedItem]);
  [self applyEnablingRule];
  [self showDotScreeningGuideImage:panelSettings->nDotScreeningChoice];
}

- (void)Act_Slider_DotScreeningFrequency:(id)sender {
  std::string text = ImagePanel::setFrequencyFromSlider(*panelSettings, [sender intValue]);
  [DotScreeningFrequency setStringValue:PDEString(text)];
}

- (void)Act_TextField_DotScreeningFrequency:(id)sender {
}

- (void)Act_Slider_DotScreeningAngle:(id)sender {
  std::string text = ImagePanel::setAngleFromSlider(*panelSettings, [sender intValue]);
  [DotScreeningAngle setStringValue:PDEString(text)];
}

- (void)Act_TextField_DotScreeningAngle:(id)sender {
}

- (NSImageView *)guideView:(ImagePanel::GuideView)view {
  switch (view) {
    case ImagePanel::GuideView::SrcText: return DotScreeningSrcText;
    case ImagePanel::GuideView::SrcImage: return DotScreeningSrcImage;
    case ImagePanel::GuideView::SrcToDstArrow: return DotScreeningSrcToDstArrow;
    case ImagePanel::GuideView::DstText: return DotScreeningDstText;
    case ImagePanel::GuideView::DstImage: return DotScreeningDstImage;
  }
  return nil;
}

- (void)showDotScreeningGuideImage:(int32_t)mode {
  ImagePanel::GuidePictures pictures = ImagePanel::guidePictures(mode);
  for (int i = 0; i < ImagePanel::kGuideViewCount; ++i) {
    const ImagePanel::GuidePicture &picture = pictures[i];
    NSImage *image = nil;
    if (!picture.empty()) {
      NSString *path = [pdeBundle pathForResource:[NSString stringWithUTF8String:picture.name]
                                           ofType:[NSString stringWithUTF8String:picture.type]];
      image = PDELoadImage(path);
    }
    [[self guideView:static_cast<ImagePanel::GuideView>(i)] setImage:image];
  }
}

@end

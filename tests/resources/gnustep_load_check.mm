// SPDX-License-Identifier: Apache-2.0
// Loads the bundle resources the way the panels do, through NSBundle and
// NSImage, and checks what comes back.
//
//   resources_gnustep_check BUNDLE_DIR EXPECTED_FIRSTPANEL [-NSLanguages (Language)]
//
// BUNDLE_DIR holds Resources/; EXPECTED_FIRSTPANEL is the text the table of
// the chosen language gives for "FirstPanel". Exit status 0 when all is well.
#import <AppKit/AppKit.h>

#include <cstdio>

static const char *const kKeys[] = {
    "FirstPanel", "ImagePanel", "OptionPanel", "VersionPanel",
    "TKWriteDensity", "TKAdjustLength", "TKWriteSpeed", "TKWriteSpeedGuide", "TKWriteRepeat",
    "TKWriteRepeatGuide", "TKLineEnhance", "TKLineEnhanceGuide", "TKLaneOverlap", "TKLaneOverlapGuide",
    "TKMirror", "TKMirrorGuide", "OSMirrorGuide",
    "TKDotScreening", "TKDotScreeningGuide", "TKDotScreeningWidthAdjustValue", "TKDotScreeningFrequency",
    "TKDotScreeningAngle", "TKDotScreeningSrcImageTitle", "TKDotScreeningDstImageTitle",
    "TKTestBoxTitle", "TKTestBoxGuide", "TKTestATitle", "TKTestBTitle", "TKTestCTitle",
    "TKTestPrintJobTitle", "TKTestPrintMsgTitle", "TKTestPrintMsgOk", "TKTestPrintMsgNg",
};

static const char *const kPictures[] = {
    "V5_OrgTxt", "peli_OrgPht", "Text_nichi_128", "Gazou_nichi_128",
    "V5_C_An_MonoColor", "A_1color", "V5_C_Gn_MonoColor", "G_1color",
};

static int CheckStrings(NSBundle *bundle, const char *expectedFirstPanel) {
  int faults = 0;
  for (const char *key : kKeys) {
    NSString *k = [NSString stringWithUTF8String:key];
    NSString *text = [bundle localizedStringForKey:k value:nil table:nil];
    if (text == nil || [text length] == 0 || [text isEqualToString:k]) {
      std::fprintf(stderr, "no text for %s\n", key);
      ++faults;
    }
  }
  NSString *name = [bundle localizedStringForKey:@"FirstPanel" value:nil table:nil];
  if (![name isEqualToString:[NSString stringWithUTF8String:expectedFirstPanel]]) {
    std::fprintf(stderr, "FirstPanel reads \"%s\", expected \"%s\"\n", [name UTF8String], expectedFirstPanel);
    ++faults;
  }
  NSString *job = [NSString stringWithFormat:[bundle localizedStringForKey:@"TKTestPrintJobTitle" value:nil table:nil], "C"];
  if ([job cStringUsingEncoding:NSASCIIStringEncoding] == NULL || [job rangeOfString:@"C"].location == NSNotFound) {
    std::fprintf(stderr, "job title \"%s\" is not ASCII or lacks the letter\n", [job UTF8String]);
    ++faults;
  }
  return faults;
}

static int CheckPictures(NSBundle *bundle) {
  int faults = 0;
  for (const char *name : kPictures) {
    NSString *path = [bundle pathForResource:[NSString stringWithUTF8String:name] ofType:@"bmp"];
    NSImage *image = path ? [[NSImage alloc] initWithContentsOfFile:path] : nil;
    const NSSize size = image ? [image size] : NSMakeSize(0, 0);
    if (image == nil || size.width != 120 || size.height != 90) {
      std::fprintf(stderr, "%s.bmp: %s, %g x %g\n", name, path ? "found" : "not found", size.width, size.height);
      ++faults;
    }
    [image release];
  }
  // Reported, not counted: GNUstep hands .ico data to ImageMagick without its
  // name, and ImageMagick cannot tell an icon by its content.
  NSString *arrow = [bundle pathForResource:@"YAJIRUSHI" ofType:@"ico"];
  NSImage *icon = arrow ? [[NSImage alloc] initWithContentsOfFile:arrow] : nil;
  std::printf("YAJIRUSHI.ico: %s, %s by NSImage\n", arrow ? "found" : "not found", icon ? "loaded" : "not loaded");
  [icon release];
  if (arrow == nil) ++faults;
  return faults;
}

int main(int argc, const char **argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s BUNDLE_DIR EXPECTED_FIRSTPANEL [-NSLanguages (Language)]\n", argv[0]);
    return 2;
  }
  NSAutoreleasePool *pool = [NSAutoreleasePool new];
  NSBundle *bundle = [NSBundle bundleWithPath:[NSString stringWithUTF8String:argv[1]]];
  const int faults = bundle ? CheckStrings(bundle, argv[2]) + CheckPictures(bundle) : 1;
  std::printf("%d fault(s)\n", faults);
  [pool release];
  return faults == 0 ? 0 : 1;
}

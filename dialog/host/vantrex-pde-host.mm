// SPDX-License-Identifier: Apache-2.0
// vantrex-pde-host: plays the print dialog for VantrexPDEs on a system
// without macOS printing. It loads the bundle, asks the principal class for
// the panels of a dialog type with a callback object that carries a parsed
// PPD, a print settings store and a printer queue, and drives the panel
// protocol: creation, panelView, restore, willShow, save, summaryInfo.
//
// Without a script it runs that sequence once and prints what the panels
// answered; --screenshot DIR also shows each panel in a window and saves
// DIR/<panel>.png. --script FILE (or - for standard input) operates the
// panels' real controls line by line; see usage() for the commands.

#import "PDEPlatform.h"

#include <cups/ppd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "PanelInfo.h"
#include "PrintSettingsStore.h"

@protocol VantrexPDEHostPanel <PDEPanel>
@end

// The callback object of a host that hands out no PPD (older dialogs).
// It also tells the plug-in where this run's stored test jobs are.
@interface VantrexPDEHost : NSObject <PDEPlugInCallbackProtocol, PDETestJobFolderHost> {
  ppd_file_t *ppdFile_;
  PrintSettingsStore *printSettings_;
  PMPrinter printer_;
  NSString *testJobFolder_;
}
- (id)initWithPPD:(ppd_file_t *)ppdFile
    printSettings:(PrintSettingsStore *)printSettings
          printer:(PMPrinter)printer;
- (void)setTestJobFolder:(NSString *)folder;
@end

@implementation VantrexPDEHost
- (id)initWithPPD:(ppd_file_t *)ppdFile
    printSettings:(PrintSettingsStore *)printSettings
          printer:(PMPrinter)printer {
  self = [super init];
  if (self != nil) {
    ppdFile_ = ppdFile;
    printSettings_ = printSettings;
    printer_ = printer;
  }
  return self;
}
- (ppd_file_t *)ppdFile {
  return ppdFile_;
}
- (PMPrintSettings)printSettings {
  return printSettings_;
}
- (PMPrinter)PMPrinter {
  return printer_;
}
- (void)setTestJobFolder:(NSString *)folder {
  [testJobFolder_ release];
  testJobFolder_ = [folder copy];
}
- (NSString *)testJobFolder {
  return testJobFolder_;
}
- (void)dealloc {
  [testJobFolder_ release];
  [super dealloc];
}
@end

// The callback object of a current dialog: answers the PPD change query.
@interface VantrexPDECurrentHost : VantrexPDEHost
- (BOOL)willChangePPDOptionKeyValue:(NSString *)option ppdChoice:(NSString *)choice;
@end

@implementation VantrexPDECurrentHost
- (BOOL)willChangePPDOptionKeyValue:(NSString *)option ppdChoice:(NSString *)choice {
  return YES;
}
@end

// Answers modal alerts while a script runs: prints their texts and ends
// them with their default button.
@interface VantrexAlertAnswerer : NSObject
- (void)answer:(NSTimer *)timer;
@end

static void collectTexts(NSView *view, NSMutableArray *texts) {
  if ([view isKindOfClass:[NSTextField class]] || [view isKindOfClass:[NSTextView class]]) {
    NSString *text = [view isKindOfClass:[NSTextField class]] ? [(NSTextField *)view stringValue]
                                                               : [(NSTextView *)view string];
    if ([text length] > 0) [texts addObject:text];
  }
  NSArray *subviews = [view subviews];
  for (NSUInteger i = 0; i < [subviews count]; ++i)
    collectTexts([subviews objectAtIndex:i], texts);
}

@implementation VantrexAlertAnswerer
- (void)answer:(NSTimer *)timer {
  NSWindow *window = [NSApp modalWindow];
  if (window == nil) return;
  NSMutableArray *texts = [NSMutableArray array];
  collectTexts([window contentView], texts);
  printf("alert = %s\n", [[texts componentsJoinedByString:@" | "] UTF8String]);
  fflush(stdout);
  [NSApp stopModalWithCode:NSAlertFirstButtonReturn];
  // The modal loop only looks at its stop flag after an event.
  [NSApp postEvent:[NSEvent otherEventWithType:NSApplicationDefined
                                      location:NSZeroPoint
                                 modifierFlags:0
                                     timestamp:0
                                  windowNumber:[window windowNumber]
                                       context:nil
                                       subtype:0
                                         data1:0
                                         data2:0]
           atStart:NO];
}
@end

namespace {

struct Options {
  std::string bundlePath;
  std::string ppdPath;
  std::string dialogType = kGeneralPrintDialogType;
  std::string queue;
  std::string testJobs;
  std::string screenshotDir;
  std::string script;
  bool currentHost = true;
  bool printSettings = true;
  bool answerAlerts = false;
  std::vector<std::pair<std::string, std::string>> settings;
};

void usage() {
  std::fprintf(stderr,
      "usage: vantrex-pde-host --ppd FILE [options]\n"
      "  --bundle DIR          the VantrexPDEs bundle (default: the built one)\n"
      "  --type TYPE           dialog type (default: the general print dialog)\n"
      "  --old-host            a host that does not answer\n"
      "                        willChangePPDOptionKeyValue:ppdChoice:\n"
      "  --no-print-settings   the host has no print settings\n"
      "  --set KEY=VALUE       a print setting before the panels are created\n"
      "  --queue NAME          the dialog's printer (CUPS queue)\n"
      "  --test-jobs DIR       folder of the stored test jobs\n"
      "  --answer-alerts       print modal alerts and close them\n"
      "  --screenshot DIR      save DIR/<panel>.png of every panel\n"
      "  -NSLanguages '(Japanese)'  and other toolkit defaults, passed on\n"
      "  --script FILE|-       run commands instead of the plain sequence\n"
      "script commands (PANEL is a class name or 0..3, OUTLET an outlet name):\n"
      "  panels | view PANEL | show PANEL | restore PANEL|all | save PANEL|all\n"
      "  summary PANEL | name PANEL | get PANEL OUTLET | items PANEL OUTLET\n"
      "  slider PANEL OUTLET N | type PANEL OUTLET TEXT | choose PANEL OUTLET N\n"
      "  click PANEL OUTLET | set KEY VALUE | unset KEY | store | writes\n"
      "  screenshot PANEL FILE\n");
}

bool parseOptions(int argc, char **argv, Options &options) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](std::string &out) {
      if (i + 1 >= argc) return false;
      out = argv[++i];
      return true;
    };
    if (arg == "--bundle") { if (!value(options.bundlePath)) return false; }
    else if (arg == "--ppd") { if (!value(options.ppdPath)) return false; }
    else if (arg == "--type") { if (!value(options.dialogType)) return false; }
    else if (arg == "--queue") { if (!value(options.queue)) return false; }
    else if (arg == "--test-jobs") { if (!value(options.testJobs)) return false; }
    else if (arg == "--screenshot") { if (!value(options.screenshotDir)) return false; }
    else if (arg == "--script") { if (!value(options.script)) return false; }
    else if (arg == "--old-host") options.currentHost = false;
    else if (arg == "--no-print-settings") options.printSettings = false;
    else if (arg == "--answer-alerts") options.answerAlerts = true;
    // "-NSLanguages '(Japanese)'" and the like are the toolkit's defaults.
    else if (arg.size() > 2 && arg[0] == '-' && arg[1] != '-' && std::isupper(arg[1]) &&
             i + 1 < argc) ++i;
    else if (arg == "--set") {
      std::string pair;
      if (!value(pair)) return false;
      std::size_t eq = pair.find('=');
      if (eq == std::string::npos) return false;
      options.settings.emplace_back(pair.substr(0, eq), pair.substr(eq + 1));
    } else return false;
  }
  return !options.ppdPath.empty();
}

NSString *str(const std::string &text) {
  return [NSString stringWithUTF8String:text.c_str()];
}

const char *cstr(NSString *text) {
  const char *utf8 = [text UTF8String];
  return utf8 != NULL ? utf8 : "";
}

struct PPDCloser {
  void operator()(ppd_file_t *ppd) const { ppdClose(ppd); }
};

class Dialog {
public:
  Dialog(const Options &options, ppd_file_t *ppd) : options_(options) {
    printer_.queueID = options.queue;
    for (const auto &[key, value] : options.settings) store_.setValue(key, value);
    Class hostClass = options.currentHost ? [VantrexPDECurrentHost class] : [VantrexPDEHost class];
    host_ = [[hostClass alloc] initWithPPD:ppd
                             printSettings:(options.printSettings ? &store_ : nullptr)
                                   printer:(options.queue.empty() ? nullptr : &printer_)];
    if (!options.testJobs.empty()) [host_ setTestJobFolder:str(options.testJobs)];
  }
  ~Dialog() {
    NSArray *windows = [windows_ allValues];
    for (NSUInteger i = 0; i < [windows count]; ++i) [[windows objectAtIndex:i] close];
    [windows_ release];
    [panels_ release];
    [plugIn_ release];
    [host_ release];
  }

  bool load() {
    NSBundle *bundle = [NSBundle bundleWithPath:str(options_.bundlePath)];
    Class principal = [bundle principalClass];
    if (principal == nil) {
      std::fprintf(stderr, "vantrex-pde-host: cannot load %s\n", options_.bundlePath.c_str());
      return false;
    }
    plugIn_ = [principal alloc];
    if (![plugIn_ initWithBundle:bundle]) return false;
    panels_ = [[plugIn_ PDEPanelsForType:str(options_.dialogType) withHostInfo:host_] retain];
    windows_ = [[NSMutableDictionary alloc] init];
    return true;
  }

  void printPanels() {
    if (panels_ == nil) {
      std::printf("panels = nil\n");
      return;
    }
    std::printf("panels = %lu\n", (unsigned long)[panels_ count]);
    for (NSUInteger i = 0; i < [panels_ count]; ++i) {
      id<PDEPanel> panel = [panels_ objectAtIndex:i];
      NSArray *keys = [panel supportedPPDOptionKeys];
      std::printf("panel %lu = %s kind=%s keys=%s help=%d hide=%d\n", (unsigned long)i,
                  cstr(NSStringFromClass([panel class])), cstr([panel panelKind]),
                  keys == nil ? "nil" : cstr([keys componentsJoinedByString:@","]),
                  [panel shouldShowHelp], [panel shouldHide]);
    }
  }

  // The dialog's order: views, restore, show, save, summaries.
  void runSequence() {
    printPanels();
    for (NSUInteger i = 0; i < [panels_ count]; ++i) {
      id<PDEPanel> panel = [panels_ objectAtIndex:i];
      const char *name = cstr(NSStringFromClass([panel class]));
      std::printf("%s.view = %s\n", name, [panel panelView] != nil ? "loaded" : "nil");
      std::printf("%s.name = %s\n", name, cstr([panel panelName]));
      std::printf("%s.restore = %d\n", name, [panel restoreValuesAndReturnError:NULL]);
      [panel willShow];
      if (!options_.screenshotDir.empty())
        screenshot(panel, options_.screenshotDir + "/" + name + ".png");
      std::printf("%s.save = %d\n", name, [panel saveValuesAndReturnError:NULL]);
      printSummary(panel);
    }
    printStore();
  }

  bool runScript(std::istream &in) {
    std::string line;
    bool ok = true;
    while (std::getline(in, line)) {
      if (line.empty() || line[0] == '#') continue;
      NSAutoreleasePool *pool = [[NSAutoreleasePool alloc] init];
      if (!runCommand(line)) {
        std::printf("error = %s\n", line.c_str());
        ok = false;
      }
      std::fflush(stdout);
      [pool release];
    }
    return ok;
  }

private:
  id<PDEPanel> panelNamed(const std::string &name) {
    for (NSUInteger i = 0; i < [panels_ count]; ++i) {
      id panel = [panels_ objectAtIndex:i];
      if (name == cstr(NSStringFromClass([panel class])) || name == std::to_string(i))
        return panel;
    }
    return nil;
  }

  // Puts the panel's view in a window of its own, as the dialog shows it.
  NSWindow *windowFor(id<PDEPanel> panel) {
    NSString *key = NSStringFromClass([panel class]);
    NSWindow *window = [windows_ objectForKey:key];
    if (window != nil) return window;
    NSView *view = [panel panelView];
    if (view == nil) return nil;
    NSRect frame = [view frame];
    window = [[NSWindow alloc] initWithContentRect:NSMakeRect(0, 0, NSWidth(frame), NSHeight(frame))
                                         styleMask:NSTitledWindowMask
                                           backing:NSBackingStoreBuffered
                                             defer:NO];
    [window setReleasedWhenClosed:NO];
    [window setTitle:[panel panelName]];
    [view setFrameOrigin:NSZeroPoint];
    [[window contentView] addSubview:view];
    [windows_ setObject:window forKey:key];
    [window release];
    return window;
  }

  void show(id<PDEPanel> panel) {
    NSWindow *window = windowFor(panel);
    [panel willShow];
    [window orderFront:nil];
    [window display];
  }

  void screenshot(id<PDEPanel> panel, const std::string &file) {
    NSWindow *window = windowFor(panel);
    if (window == nil) {
      std::printf("screenshot = none for %s\n", cstr(NSStringFromClass([panel class])));
      return;
    }
    [window orderFront:nil];
    [window display];
    [[NSRunLoop currentRunLoop] runUntilDate:[NSDate dateWithTimeIntervalSinceNow:0.2]];
    NSView *content = [window contentView];
    NSBitmapImageRep *bitmap = [content bitmapImageRepForCachingDisplayInRect:[content bounds]];
    [content cacheDisplayInRect:[content bounds] toBitmapImageRep:bitmap];
    NSData *png = [bitmap representationUsingType:NSPNGFileType properties:[NSDictionary dictionary]];
    BOOL written = [png writeToFile:str(file) atomically:NO];
    std::printf("screenshot = %s %s\n", file.c_str(), written ? "written" : "failed");
  }

  void printSummary(id<PDEPanel> panel) {
    const char *name = cstr(NSStringFromClass([panel class]));
    NSDictionary *summary = [panel summaryInfo];
    if (summary == nil) {
      std::printf("%s.summary = nil\n", name);
      return;
    }
    NSString *orderKey = [NSString stringWithUTF8String:kSummaryDisplayOrderKey];
    std::printf("%s.summary.count = %lu\n", name, (unsigned long)[summary count]);
    NSArray *keys = [[summary allKeys] sortedArrayUsingSelector:@selector(compare:)];
    for (NSUInteger i = 0; i < [keys count]; ++i) {
      NSString *key = [keys objectAtIndex:i];
      id value = [summary objectForKey:key];
      if ([key isEqual:orderKey])
        std::printf("%s.summary.order = %s\n", name,
                    cstr([value componentsJoinedByString:@" | "]));
      else
        std::printf("%s.summary[%s] = %s\n", name, cstr(key), cstr([value description]));
    }
  }

  void printStore() {
    for (const auto &[key, value] : store_.values())
      std::printf("store[%s] = %s\n", key.c_str(), value.c_str());
  }

  id outlet(id<PDEPanel> panel, const std::string &name) {
    @try {
      return [(NSObject *)panel valueForKey:str(name)];
    } @catch (NSException *) {
      return nil;
    }
  }

  void printControl(const std::string &label, id control) {
    const char *l = label.c_str();
    std::printf("%s.class = %s\n", l, cstr(NSStringFromClass([control class])));
    if ([control respondsToSelector:@selector(isEnabled)])
      std::printf("%s.enabled = %d\n", l, [control isEnabled]);
    if ([control isKindOfClass:[NSPopUpButton class]]) {
      std::printf("%s.selected = %ld\n", l, (long)[control indexOfSelectedItem]);
      std::printf("%s.count = %ld\n", l, (long)[control numberOfItems]);
      std::printf("%s.title = %s\n", l, cstr([control titleOfSelectedItem]));
    } else if ([control isKindOfClass:[NSSlider class]]) {
      std::printf("%s.int = %d\n", l, [control intValue]);
      std::printf("%s.range = %g..%g\n", l, [control minValue], [control maxValue]);
    } else if ([control isKindOfClass:[NSImageView class]]) {
      std::printf("%s.image = %s\n", l, [control image] != nil ? "set" : "none");
      std::printf("%s.rotation = %g\n", l, [control boundsRotation]);
    } else if ([control isKindOfClass:[NSBox class]] || [control isKindOfClass:[NSButton class]]) {
      std::printf("%s.title = %s\n", l, cstr([control title]));
    } else if ([control isKindOfClass:[NSTextField class]]) {
      std::printf("%s.string = %s\n", l, cstr([control stringValue]));
    }
    if ([control isKindOfClass:[NSView class]]) {
      NSRect frame = [control frame];
      std::printf("%s.frame = %g %g %g %g\n", l, NSMinX(frame), NSMinY(frame), NSWidth(frame),
                  NSHeight(frame));
    }
  }

  static void sendAction(NSControl *control) {
    [NSApp sendAction:[control action] to:[control target] from:control];
  }

  void startAnsweringAlerts() {
    if (!options_.answerAlerts || answerer_ != nil) return;
    answerer_ = [[VantrexAlertAnswerer alloc] init];
    NSTimer *timer = [NSTimer timerWithTimeInterval:0.1
                                             target:answerer_
                                           selector:@selector(answer:)
                                           userInfo:nil
                                            repeats:YES];
    [[NSRunLoop currentRunLoop] addTimer:timer forMode:NSModalPanelRunLoopMode];
  }


  bool runCommand(const std::string &line) {
    std::istringstream words(line);
    std::string command, panelName, outletName;
    words >> command;
    if (command == "panels") {
      printPanels();
      return true;
    }
    if (command == "store") {
      printStore();
      return true;
    }
    if (command == "writes") {
      for (const std::string &key : store_.writeLog()) std::printf("write = %s\n", key.c_str());
      return true;
    }
    if (command == "set" || command == "unset") {
      std::string key, value;
      words >> key;
      std::getline(words >> std::ws, value);
      if (key.empty()) return false;
      if (command == "set") store_.setValue(key, value);
      else store_.erase(key);
      return true;
    }
    words >> panelName;
    if ((command == "restore" || command == "save") && panelName == "all") {
      for (NSUInteger i = 0; i < [panels_ count]; ++i)
        runPanelCommand(command, [panels_ objectAtIndex:i], words);
      return true;
    }
    id<PDEPanel> panel = panelNamed(panelName);
    if (panel == nil) return false;
    return runPanelCommand(command, panel, words);
  }

  bool runPanelCommand(const std::string &command, id<PDEPanel> panel, std::istringstream &words) {
    std::string name = cstr(NSStringFromClass([panel class]));
    if (command == "view") {
      std::printf("%s.view = %s\n", name.c_str(), windowFor(panel) != nil ? "loaded" : "nil");
      return true;
    }
    if (command == "show") {
      show(panel);
      return true;
    }
    if (command == "restore") {
      std::printf("%s.restore = %d\n", name.c_str(), [panel restoreValuesAndReturnError:NULL]);
      return true;
    }
    if (command == "save") {
      std::printf("%s.save = %d\n", name.c_str(), [panel saveValuesAndReturnError:NULL]);
      return true;
    }
    if (command == "summary") {
      printSummary(panel);
      return true;
    }
    if (command == "name") {
      std::printf("%s.name = %s\n", name.c_str(), cstr([panel panelName]));
      return true;
    }
    if (command == "screenshot") {
      std::string file;
      words >> file;
      if (file.empty()) return false;
      screenshot(panel, file);
      return true;
    }
    std::string outletName;
    words >> outletName;
    id control = outlet(panel, outletName);
    if (control == nil) return false;
    std::string label = name + "." + outletName;
    if (command == "get") {
      printControl(label, control);
      return true;
    }
    if (command == "items" && [control isKindOfClass:[NSPopUpButton class]]) {
      for (NSInteger i = 0; i < [control numberOfItems]; ++i)
        std::printf("%s.item %ld = %s\n", label.c_str(), (long)i,
                    cstr([control itemTitleAtIndex:i]));
      return true;
    }
    if (command == "slider" && [control isKindOfClass:[NSSlider class]]) {
      int value = 0;
      if (!(words >> value)) return false;
      [control setIntValue:value];
      sendAction(control);
      return true;
    }
    if (command == "type" && [control isKindOfClass:[NSTextField class]]) {
      std::string text;
      std::getline(words >> std::ws, text);
      [control setStringValue:str(text)];
      sendAction(control);
      return true;
    }
    if (command == "choose" && [control isKindOfClass:[NSPopUpButton class]]) {
      int index = 0;
      if (!(words >> index) || index < 0 || index >= [control numberOfItems]) return false;
      [control selectItemAtIndex:index];
      sendAction(control);
      return true;
    }
    if (command == "click" && [control isKindOfClass:[NSButton class]]) {
      startAnsweringAlerts();
      sendAction(control);
      return true;
    }
    return false;
  }

  const Options &options_;
  MemoryPrintSettings store_;
  OpaquePMPrinter printer_;
  VantrexPDEHost *host_ = nil;
  id<PDEPlugIn> plugIn_ = nil;
  NSArray *panels_ = nil;
  NSMutableDictionary *windows_ = nil;
  VantrexAlertAnswerer *answerer_ = nil;
};

std::string defaultBundlePath() {
  NSString *built = @VANTREX_PDE_BUNDLE_PATH;
  if ([[NSFileManager defaultManager] fileExistsAtPath:built]) return cstr(built);
  return VANTREX_PDE_INSTALLED_BUNDLE_PATH;
}

}  // namespace

int main(int argc, char **argv) {
  NSAutoreleasePool *pool = [[NSAutoreleasePool alloc] init];
  Options options;
  if (!parseOptions(argc, argv, options)) {
    usage();
    return 2;
  }
  if (options.bundlePath.empty()) options.bundlePath = defaultBundlePath();
  std::unique_ptr<ppd_file_t, PPDCloser> ppd(ppdOpenFile(options.ppdPath.c_str()));
  if (!ppd) {
    std::fprintf(stderr, "vantrex-pde-host: cannot read the PPD %s\n", options.ppdPath.c_str());
    return 1;
  }
  [NSApplication sharedApplication];
  int status = 0;
  {
    Dialog dialog(options, ppd.get());
    if (!dialog.load()) {
      status = 1;
    } else if (options.script.empty()) {
      dialog.runSequence();
    } else if (options.script == "-") {
      status = dialog.runScript(std::cin) ? 0 : 1;
    } else {
      std::ifstream script(options.script);
      status = script && dialog.runScript(script) ? 0 : 1;
    }
  }
  std::fflush(stdout);
  [pool release];
  return status;
}

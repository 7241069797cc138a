// SPDX-License-Identifier: Apache-2.0
// What the panels use from the print dialog and the print system: the panel
// and plug-in protocols, the host's callback object, the print settings and
// printer calls, and nib loading. On macOS these come from the system's
// frameworks; elsewhere (GNUstep) this file declares them and
// PDEPlatform.mm implements them over a PrintSettingsStore and a queue name.
#pragma once

#include <cups/ppd.h>

#ifdef __APPLE__

#import <Cocoa/Cocoa.h>
#import <ApplicationServices/ApplicationServices.h>
#import <Print/PDEPluginInterface.h>

typedef NSObject<PDEPlugInCallbackProtocol> PDEPluginCallback;

#else  // GNUstep

#import <AppKit/AppKit.h>

#include <cstdint>
#include <string>

class PrintSettingsStore;

typedef int32_t OSStatus;
typedef unsigned char Boolean;
// Strings and values cross these calls as Foundation objects.
typedef NSString *CFStringRef;
typedef id CFTypeRef;

// The job's print settings are the host's string store.
typedef PrintSettingsStore *PMPrintSettings;

// The dialog's printer: its CUPS queue name.
struct OpaquePMPrinter {
  std::string queueID;
};
typedef OpaquePMPrinter *PMPrinter;

enum : OSStatus {
  noErr = 0,
  kPMKeyNotFound = -30899,
  kPMInvalidParameter = -50,
};

// 0 and the value when the key holds one; kPMKeyNotFound otherwise.
OSStatus PMPrintSettingsGetValue(PMPrintSettings settings, CFStringRef key, CFTypeRef *value);
// Stores a string value; `locked` is accepted and has no effect here.
OSStatus PMPrintSettingsSetValue(PMPrintSettings settings, CFStringRef key, CFTypeRef value,
                                 Boolean locked);
// The printer's queue name, or nil for no printer.
CFStringRef PMPrinterGetID(PMPrinter printer);

@protocol PDEPlugInCallbackProtocol <NSObject>
- (ppd_file_t *)ppdFile;
- (PMPrintSettings)printSettings;
- (PMPrinter)PMPrinter;
@optional
// Hosts that hand out their parsed PPD also answer this one.
- (BOOL)willChangePPDOptionKeyValue:(NSString *)option ppdChoice:(NSString *)choice;
@end

typedef NSObject<PDEPlugInCallbackProtocol> PDEPluginCallback;

@protocol PDEPanel <NSObject>
- (void)willShow;
- (BOOL)shouldHide;
- (BOOL)saveValuesAndReturnError:(NSError **)error;
- (BOOL)restoreValuesAndReturnError:(NSError **)error;
- (NSArray *)supportedPPDOptionKeys;
- (void)PPDOptionKeyValueDidChange:(NSString *)option ppdChoice:(NSString *)choice;
- (NSView *)panelView;
- (NSString *)panelName;
- (NSString *)panelKind;
- (NSDictionary *)summaryInfo;
- (BOOL)shouldShowHelp;
@end

@protocol PDEPlugIn <NSObject>
- (BOOL)initWithBundle:(NSBundle *)theBundle;
- (NSArray *)PDEPanelsForType:(NSString *)pdeType withHostInfo:(id)host;
@end

@interface NSBundle (PDENibLoading)
// Loads "<name>.xib" from the bundle's resources and connects it to owner.
- (BOOL)loadNibNamed:(NSString *)nibName
               owner:(id)owner
     topLevelObjects:(NSArray **)topLevelObjects;
@end

#endif

// A host that keeps its stored test jobs elsewhere than the installed folder
// (the dialog stand-in used by the tests) says so through its callback
// object; the platform's print dialog does not answer this.
@protocol PDETestJobFolderHost
- (NSString *)testJobFolder;
@end

// The folder of the stored test jobs the host asks for; nil means the
// installed default. Never taken from the environment: whoever starts the
// print dialog must not choose what a test print sends to the printer.
NSString *PDETestJobFolder(id callback);

// A picture from a file (autoreleased), or nil when it cannot be read. On
// GNUstep this also reads Windows icons (.ico), which the toolkit cannot.
NSImage *PDELoadImage(NSString *path);

// SPDX-License-Identifier: Apache-2.0
#import "VANTREX_KT50PDEsPlugIn.h"

#import "FirstPDE.h"
#import "ImagePDE.h"
#import "OptionPDE.h"
#import "VersionPDE.h"

#include "PanelInfo.h"

@implementation VANTREX_KT50PDEsPlugIn

- (BOOL)initWithBundle:(NSBundle *)theBundle {
  return YES;
}

// All four panels or none: a panel that refuses creation takes the others
// with it.
- (NSArray *)PDEPanelsForType:(NSString *)pdeType withHostInfo:(id)host {
  NSMutableArray *panels = [NSMutableArray array];
  if (![pdeType isEqual:[NSString stringWithUTF8String:kGeneralPrintDialogType]]) return panels;
  Class panelClasses[] = {[FirstPDE class], [ImagePDE class], [OptionPDE class],
                          [VersionPDE class]};
  for (Class panelClass : panelClasses) {
    id panel = [[panelClass alloc] initWithCallback:host];
    if (panel == nil) {
      [panels removeAllObjects];
      return nil;
    }
    [panels addObject:panel];
    [panel release];
  }
  return panels;
}

@end

// SPDX-License-Identifier: Apache-2.0
// The plug-in's principal class: hands the print dialog its four panels.
#pragma once

#import "PDEPlatform.h"

@interface VANTREX_KT50PDEsPlugIn : NSObject
- (BOOL)initWithBundle:(NSBundle *)theBundle;
- (NSArray *)PDEPanelsForType:(NSString *)pdeType withHostInfo:(id)host;
@end

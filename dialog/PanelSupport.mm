// SPDX-License-Identifier: Apache-2.0
#import "PanelSupport.h"

std::optional<std::string> PMPrintSettingsStore::getValue(std::string_view key) const {
  if (settings_ == nullptr) return std::nullopt;
  CFTypeRef value = NULL;
  if (PMPrintSettingsGetValue(settings_, (CFStringRef)PDEString(key), &value) != noErr)
    return std::nullopt;
  id object = (id)value;
  if (![object isKindOfClass:[NSString class]]) return std::nullopt;
  return PDEStdString((NSString *)object);
}

void PMPrintSettingsStore::setValue(std::string_view key, std::string_view value) {
  if (settings_ == nullptr) return;
  PMPrintSettingsSetValue(settings_, (CFStringRef)PDEString(key), (CFTypeRef)PDEString(value),
                          false);
}

NSString *PDEString(std::string_view text) {
  NSString *string = [[[NSString alloc] initWithBytes:text.data()
                                               length:text.size()
                                             encoding:NSUTF8StringEncoding] autorelease];
  return string != nil ? string : @"";
}

std::string PDEStdString(NSString *text) {
  const char *utf8 = [text UTF8String];
  return utf8 != NULL ? std::string(utf8) : std::string();
}

NSString *PDELocalized(NSBundle *bundle, const char *key) {
  return [bundle localizedStringForKey:[NSString stringWithUTF8String:key] value:nil table:nil];
}

BOOL PDEHostHandsOutPPD(PDEPluginCallback *callback) {
  return [callback respondsToSelector:@selector(willChangePPDOptionKeyValue:ppdChoice:)];
}

void PDEFillPopUp(NSPopUpButton *popUp, const PPDChoiceList &choices) {
  [popUp removeAllItems];
  NSMenu *menu = [popUp menu];
  for (const PPDChoiceItem &choice : choices)
    [menu addItemWithTitle:PDEString(choice.text) action:NULL keyEquivalent:@""];
  [popUp synchronizeTitleAndSelectedItem];
}

void PDESelectPopUpItem(NSPopUpButton *popUp, int32_t position) {
  if (position >= 0 && position < [popUp numberOfItems]) [popUp selectItemAtIndex:position];
}

NSMutableDictionary *PDESummaryDictionary(NSBundle *bundle, const SummaryEntries &entries,
                                          BOOL withDisplayOrder) {
  NSMutableArray *titles = [NSMutableArray arrayWithCapacity:entries.size()];
  NSMutableArray *values = [NSMutableArray arrayWithCapacity:entries.size()];
  for (const SummaryEntry &entry : entries) {
    [titles addObject:PDELocalized(bundle, entry.titleKey.c_str())];
    [values addObject:PDEString(entry.value)];
  }
  NSMutableDictionary *summary = [NSMutableDictionary dictionaryWithObjects:values forKeys:titles];
  if (withDisplayOrder)
    [summary setObject:titles forKey:[NSString stringWithUTF8String:kSummaryDisplayOrderKey]];
  return summary;
}

void PDELoadPanelNib(NSBundle *bundle, const char *nibName, id owner) {
  NSArray *topLevelObjects = nil;
  [bundle loadNibNamed:[NSString stringWithUTF8String:nibName]
                 owner:owner
       topLevelObjects:&topLevelObjects];
}

NSArray *PDESupportedKeys(const PanelIdentity &identity) {
  if (identity.supportedPPDOptionKeys == nullptr) return nil;
  NSMutableArray *keys = [NSMutableArray arrayWithCapacity:identity.supportedPPDOptionKeyCount];
  for (std::size_t i = 0; i < identity.supportedPPDOptionKeyCount; ++i)
    [keys addObject:[NSString stringWithUTF8String:identity.supportedPPDOptionKeys[i]]];
  return keys;
}

// SPDX-License-Identifier: Apache-2.0
// The print system and nib loading for a host without macOS printing.
#import "PDEPlatform.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "PrintSettingsStore.h"

#ifndef __APPLE__

OSStatus PMPrintSettingsGetValue(PMPrintSettings settings, CFStringRef key, CFTypeRef *value) {
  if (value != NULL) *value = nil;
  if (settings == nullptr || key == nil || value == NULL) return kPMInvalidParameter;
  const char *utf8Key = [key UTF8String];
  if (utf8Key == NULL) return kPMInvalidParameter;
  std::optional<std::string> found = settings->getValue(utf8Key);
  if (!found) return kPMKeyNotFound;
  NSString *text = [[[NSString alloc] initWithBytes:found->data()
                                             length:found->size()
                                           encoding:NSUTF8StringEncoding] autorelease];
  // Bytes that are not UTF-8 still reach the caller, byte for byte.
  if (text == nil)
    text = [[[NSString alloc] initWithBytes:found->data()
                                     length:found->size()
                                   encoding:NSISOLatin1StringEncoding] autorelease];
  *value = text;
  return noErr;
}

OSStatus PMPrintSettingsSetValue(PMPrintSettings settings, CFStringRef key, CFTypeRef value,
                                 Boolean /*locked*/) {
  if (settings == nullptr || key == nil || ![value isKindOfClass:[NSString class]])
    return kPMInvalidParameter;
  const char *utf8Key = [key UTF8String];
  const char *utf8Value = [(NSString *)value UTF8String];
  if (utf8Key == NULL || utf8Value == NULL) return kPMInvalidParameter;
  settings->setValue(utf8Key, utf8Value);
  return noErr;
}

CFStringRef PMPrinterGetID(PMPrinter printer) {
  if (printer == nullptr) return nil;
  return [NSString stringWithUTF8String:printer->queueID.c_str()];
}

@implementation NSBundle (PDENibLoading)
- (BOOL)loadNibNamed:(NSString *)nibName
               owner:(id)owner
     topLevelObjects:(NSArray **)topLevelObjects {
  NSString *path = [self pathForResource:nibName ofType:@"xib"];
  if (path == nil) return NO;
  NSNib *nib = [[NSNib alloc] initWithContentsOfURL:[NSURL fileURLWithPath:path]];
  if (nib == nil) return NO;
  BOOL loaded = [nib instantiateWithOwner:owner topLevelObjects:topLevelObjects];
  [nib release];
  return loaded;
}
@end

namespace {

uint32_t littleEndian(const uint8_t *bytes, int count) {
  uint32_t value = 0;
  for (int i = count - 1; i >= 0; --i) value = (value << 8) | bytes[i];
  return value;
}

// The first picture of a Windows icon: PNG data as it is, or a 24- or
// 32-bit bottom-up DIB turned into RGBA. Anything else gives nil.
NSBitmapImageRep *iconImageRep(NSData *data) {
  const uint8_t *bytes = static_cast<const uint8_t *>([data bytes]);
  NSUInteger length = [data length];
  if (length < 22 || littleEndian(bytes, 2) != 0 || littleEndian(bytes + 2, 2) != 1 ||
      littleEndian(bytes + 4, 2) < 1)
    return nil;
  uint32_t size = littleEndian(bytes + 14, 4);
  uint32_t offset = littleEndian(bytes + 18, 4);
  if (offset > length || size > length - offset) return nil;
  const uint8_t *entry = bytes + offset;
  static const uint8_t pngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (size >= 8 && std::memcmp(entry, pngSignature, 8) == 0)
    return [NSBitmapImageRep imageRepWithData:[data subdataWithRange:NSMakeRange(offset, size)]];
  if (size < 40) return nil;
  uint32_t headerSize = littleEndian(entry, 4);
  int32_t width = static_cast<int32_t>(littleEndian(entry + 4, 4));
  int32_t height = static_cast<int32_t>(littleEndian(entry + 8, 4)) / 2;  // colour + mask
  uint32_t bitCount = littleEndian(entry + 14, 2);
  uint32_t compression = littleEndian(entry + 16, 4);
  if (headerSize < 40 || width <= 0 || height <= 0 || width > 1024 || height > 1024 ||
      compression != 0 || (bitCount != 24 && bitCount != 32))
    return nil;
  uint32_t rowBytes = ((static_cast<uint32_t>(width) * bitCount + 31) / 32) * 4;
  if (headerSize > size || static_cast<uint64_t>(rowBytes) * height > size - headerSize)
    return nil;
  NSBitmapImageRep *rep = [[[NSBitmapImageRep alloc]
      initWithBitmapDataPlanes:NULL pixelsWide:width pixelsHigh:height bitsPerSample:8
               samplesPerPixel:4 hasAlpha:YES isPlanar:NO colorSpaceName:NSDeviceRGBColorSpace
                   bytesPerRow:width * 4 bitsPerPixel:32] autorelease];
  uint8_t *pixels = [rep bitmapData];
  const uint8_t *colour = entry + headerSize;
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t *source = colour + static_cast<size_t>(height - 1 - y) * rowBytes;
    uint8_t *target = pixels + static_cast<size_t>(y) * width * 4;
    for (int32_t x = 0; x < width; ++x, source += bitCount / 8, target += 4) {
      uint8_t alpha = bitCount == 32 ? source[3] : 255;
      // Premultiplied, as the toolkit expects of a bitmap with alpha.
      target[0] = static_cast<uint8_t>(source[2] * alpha / 255);
      target[1] = static_cast<uint8_t>(source[1] * alpha / 255);
      target[2] = static_cast<uint8_t>(source[0] * alpha / 255);
      target[3] = alpha;
    }
  }
  return rep;
}

}  // namespace

NSImage *PDELoadImage(NSString *path) {
  if (path == nil) return nil;
  NSImage *image = [[[NSImage alloc] initWithContentsOfFile:path] autorelease];
  if (image != nil || ![[[path pathExtension] lowercaseString] isEqual:@"ico"]) return image;
  NSData *data = [NSData dataWithContentsOfFile:path];
  NSBitmapImageRep *rep = data != nil ? iconImageRep(data) : nil;
  if (rep == nil) return nil;
  image = [[[NSImage alloc] initWithSize:NSMakeSize([rep pixelsWide], [rep pixelsHigh])]
      autorelease];
  [image addRepresentation:rep];
  return image;
}

#else

NSImage *PDELoadImage(NSString *path) {
  return path != nil ? [[[NSImage alloc] initWithContentsOfFile:path] autorelease] : nil;
}

#endif

NSString *PDETestJobFolder(id callback) {
  if (![callback respondsToSelector:@selector(testJobFolder)]) return nil;
  NSString *folder = [(id<PDETestJobFolderHost>)callback testJobFolder];
  return [folder length] > 0 ? folder : nil;
}

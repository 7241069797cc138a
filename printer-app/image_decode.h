// PNG and JPEG documents to 8-bit RGB, for printing image jobs. Plain C++
// over libpng and libjpeg, so it can be tested and fuzzed without a server.
//
// What a decode gives:
//  - every PNG colour type and depth as 8-bit RGB; transparency (alpha or
//    tRNS) is laid over white paper; gamma and ICC profiles are ignored;
//  - JPEG gray, YCbCr, RGB, CMYK and YCCK, baseline or progressive, as
//    8-bit RGB; CMYK by a plain ink sum, not a colour profile;
//  - the resolution from PNG pHYs (metre unit) or the JFIF density (inch or
//    cm), rounded to whole pixels per inch; 0 when the file gives none or
//    its pixels are not square;
//  - the pixels as stored: an EXIF orientation is not applied.
//
// What it refuses, with one sentence fit for a job's state message: anything
// but PNG or JPEG, damaged or cut-off files (a file that ends early is an
// error, never a picture padded with gray), pictures with no pixels or more
// than the limits below. The limits are checked before the picture is
// allocated, and its rows are taken up as they are decoded: the largest
// picture takes 192 MiB of RGB (an interlaced PNG with alpha is read whole at
// 4 bytes a pixel, 256 MiB), and libjpeg's own memory is capped at 512 MiB.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

inline constexpr uint32_t kMaxImageSide = 16384;
inline constexpr uint64_t kMaxImagePixels = uint64_t{64} << 20;  // 8192 x 8192

// A decoded picture: 8-bit RGB, top row first, 3 bytes a pixel, no padding.
struct tagDECODEDIMAGE {
  uint32_t width = 0, height = 0;
  uint32_t ppi = 0;  // 0 = unknown
  std::vector<uint8_t> rgb;
};

// Reads a PNG or a JPEG file, told apart by its first bytes, not by its
// name; the file is streamed, not read whole into memory. On failure returns
// false and sets `error` to one short sentence a user can read.
bool DecodeImageFile(const char *path, tagDECODEDIMAGE &image, std::string &error);

// The same from memory.
bool DecodeImage(std::span<const uint8_t> bytes, tagDECODEDIMAGE &image, std::string &error);

// The same with fewer pixels allowed than kMaxImagePixels: for the fuzzer, as
// a few bytes can claim (and legitimately describe) a picture whose decoding
// takes seconds under the sanitizers.
bool DecodeImage(std::span<const uint8_t> bytes, tagDECODEDIMAGE &image, std::string &error,
                 uint64_t maxPixels);

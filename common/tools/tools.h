// SPDX-License-Identifier: Apache-2.0
// Line conversion of the simple screens: one RGB raster line becomes one row
// of the 1-bit page bitmap through a fixed 8x8 threshold matrix.
#pragma once

#include <array>
#include <cstdint>

// Indexed [page row % 8][output column % 8]; a pixel is inked when its gray
// value is below the entry.
using tagDITHER = std::array<std::array<uint8_t, 8>, 8>;

// Code 0: a plain threshold at 128.
inline constexpr tagDITHER g_Dither_Nashi{{
    {128, 128, 128, 128, 128, 128, 128, 128},
    {128, 128, 128, 128, 128, 128, 128, 128},
    {128, 128, 128, 128, 128, 128, 128, 128},
    {128, 128, 128, 128, 128, 128, 128, 128},
    {128, 128, 128, 128, 128, 128, 128, 128},
    {128, 128, 128, 128, 128, 128, 128, 128},
    {128, 128, 128, 128, 128, 128, 128, 128},
    {128, 128, 128, 128, 128, 128, 128, 128},
}};

// Code 1: the coarse screen.
inline constexpr tagDITHER g_Dither_Grh_So{{
    {104,  88,  96, 120, 148, 164, 156, 132},
    { 32,  24,  16,  72, 220, 228, 236, 180},
    { 40,   1,   8,  80, 212, 252, 244, 172},
    { 64,  48,  56, 112, 188, 204, 196, 140},
    {144, 160, 152, 128, 108,  92, 100, 124},
    {216, 224, 232, 176,  36,  28,  20,  76},
    {208, 248, 240, 168,  44,   4,  12,  84},
    {184, 200, 192, 136,  68,  52,  60, 116},
}};

// Code 2: the fine screen.
inline constexpr tagDITHER g_Dither_Grh_Mitsu{{
    { 64, 128,  96, 160,  72, 136, 104, 168},
    {192,   1, 224,  32, 200,   8, 232,  40},
    {112, 176,  80, 144, 120, 184,  88, 152},
    {240,  48, 208,  16, 248,  56, 216,  24},
    { 76, 140, 108, 172,  68, 132, 100, 164},
    {204,  12, 236,  44, 196,   4, 228,  36},
    {124, 188,  92, 156, 116, 180,  84, 148},
    {252,  60, 220,  28, 244,  52, 212,  20},
}};

// Code 5: every pixel that is not pure white is inked.
inline constexpr tagDITHER g_Dither_Solid{{
    {255, 255, 255, 255, 255, 255, 255, 255},
    {255, 255, 255, 255, 255, 255, 255, 255},
    {255, 255, 255, 255, 255, 255, 255, 255},
    {255, 255, 255, 255, 255, 255, 255, 255},
    {255, 255, 255, 255, 255, 255, 255, 255},
    {255, 255, 255, 255, 255, 255, 255, 255},
    {255, 255, 255, 255, 255, 255, 255, 255},
    {255, 255, 255, 255, 255, 255, 255, 255},
}};

// Gray of one RGB pixel, 0 (black) to 255 (white).
constexpr uint32_t GrayOfRGB(uint32_t r, uint32_t g, uint32_t b) {
  return (5 * r + 9 * g + 2 * b) >> 4;
}

// Converts the first `count` pixels of `src` (3 bytes each, so src must hold
// 3 * count bytes) into bits of `dst`, leftmost pixel in the most significant
// bit. With `mirror` the pixels are taken in reverse order; the threshold
// always follows the output column. Only the (count + 7) / 8 bytes it returns
// are written; a last partial byte has its unused low bits zero.
int32_t ConvertLineBuffer24To01(uint8_t *dst, const uint8_t *src, int32_t count,
                                const tagDITHER &matrix, int32_t row, int32_t mirror);

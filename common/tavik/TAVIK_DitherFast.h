// SPDX-License-Identifier: Apache-2.0
// The error diffusion inside the image road: its one step, written once, the
// plain line that is its reference (TAVIK_Dither.cpp), and the faster forms
// binarize runs (TAVIK_DitherFast.cpp), each of which writes the same bits
// and errors as the plain line.
#pragma once

#include <cstdint>

// The error a pixel takes from its neighbours' errors: one third each from
// the upper and the left one, one sixth each from the two upper diagonals,
// out of 1024, rounded, the division truncating toward zero. The vector form
// (tools/vector_kernels.cpp) uses the same weights.
inline constexpr int kDiffuseNear = 341, kDiffuseFar = 171;
inline int DiffusedError(int up, int left, int upLeft, int upRight) {
  return (kDiffuseNear * (up + left) + kDiffuseFar * (upLeft + upRight) + 512) / 1024;
}

// The plain step over one line of `width` pixels: prev holds the line above's
// errors and cur receives this line's (width + 2 entries each, margins 0);
// every value goes through curve first. The bits go to bit columns left ..
// left + width - 1 of row (0 = ink); the other bits keep their content.
void DiffuseRow(const uint8_t *src, uint8_t *row, int64_t left, int64_t width,
                const int8_t *prev, int8_t *cur, const uint8_t *curve);

// Sets bits from .. to - 1 of the row (blank in the working polarity).
void FillBlank(uint8_t *row, int64_t from, int64_t to);

// Lines 0 .. h - 1 of a rectangle one to one with the source, each line as
// DiffuseRow, prev/cur as there and prev holding the last line's errors at
// return. The source is 0 from column `ink` on.
void DiffuseRows(const uint8_t *src, int64_t srcPitch, uint8_t *dst, int32_t dstRowBytes,
                 int64_t left, int64_t w, int64_t h, int8_t *prev, int8_t *cur, int64_t ink,
                 const uint8_t *curve);

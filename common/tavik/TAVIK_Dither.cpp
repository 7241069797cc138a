// SPDX-License-Identifier: Apache-2.0
// Tone curves, the AM screen binarizer and the error diffusion.
#include "TAVIK_Dither.h"

#include <cstring>

const tagGAMMACURVE &band_gamma_curve(int8_t diffusion, uint16_t frequency) {
  if (diffusion == 1) return gamma_curve_gosa;
  if (frequency < 78) return gamma_curve;
  if (frequency < 95) return gamma_curve_85L_45d;
  if (frequency < 122) return gamma_curve_106L_45d;
  if (frequency < 170) return gamma_curve_141L_45d;
  return gamma_curve_212L_45d;
}

void band_gamma(int8_t diffusion, uint8_t *buffer, int64_t width, int64_t lines,
                int32_t rowBytes, uint16_t frequency) {
  if (width <= 0 || lines <= 0) return;
  const uint8_t *curve = band_gamma_curve(diffusion, frequency).data();
  for (int64_t y = 0; y < lines; ++y) {
    uint8_t *p = buffer + y * rowBytes;
    for (int64_t x = 0; x < width; ++x) p[x] = curve[p[x]];
  }
}

namespace {

int64_t PositiveMod(int64_t v, int64_t d) {
  const int64_t r = v % d;
  return r < 0 ? r + d : r;
}

// One row of the AM screen where source and rectangle match and the row starts
// at a non-negative column: bits left of the rectangle keep their content,
// bits right of it in the last byte become blank.
void AmiRow(const uint8_t *src, uint8_t *row, int64_t left, int64_t width,
            const uint8_t *matrixRow, int64_t side, int64_t column) {
  uint8_t *d = row + (left >> 3);
  int bit = static_cast<int>(left & 7);
  unsigned acc = bit ? static_cast<unsigned>(*d >> (8 - bit)) : 0u;
  int64_t i = 0;
  const auto one = [&] {
    acc = (acc << 1) | static_cast<unsigned>(src[i] <= matrixRow[column]);
    if (++column == side) column = 0;
    ++i;
    if (++bit == 8) {
      *d++ = static_cast<uint8_t>(acc);
      acc = 0;
      bit = 0;
    }
  };
  while (bit != 0 && i < width) one();
  // Whole bytes; where the matrix row does not wrap inside the byte the eight
  // comparisons go without any test.
  while (i + 8 <= width) {
    if (column + 8 <= side) {
      const uint8_t *s = src + i;
      const uint8_t *m = matrixRow + column;
      *d++ = static_cast<uint8_t>(
          (s[0] <= m[0]) << 7 | (s[1] <= m[1]) << 6 | (s[2] <= m[2]) << 5 | (s[3] <= m[3]) << 4 |
          (s[4] <= m[4]) << 3 | (s[5] <= m[5]) << 2 | (s[6] <= m[6]) << 1 | (s[7] <= m[7]));
      i += 8;
      column += 8;
      if (column == side) column = 0;
    } else {
      for (int k = 0; k < 8; ++k) one();
    }
  }
  while (i < width) one();
  if (bit) *d = static_cast<uint8_t>((acc << (8 - bit)) | (0xFFu >> bit));
}

void SetBit(uint8_t *row, int64_t x, bool ink) {
  const uint8_t bit = static_cast<uint8_t>(0x80u >> (x & 7));
  if (ink)
    row[x >> 3] &= static_cast<uint8_t>(~bit);
  else
    row[x >> 3] |= bit;
}

}  // namespace

int mAmiStretch(const uint8_t *src, uint8_t *dst, int64_t srcWidth, int64_t srcHeight,
                const tagRECT64 *rect, int32_t srcRowBytes, int32_t dstRowBytes,
                const uint8_t *matrix, uint16_t matrixSide, const int64_t *origin) {
  if (rect->top > rect->bottom || rect->left > rect->right || matrixSide == 0) return 1;
  const int64_t w = mGetRectWidth(rect), h = mGetRectHeight(rect);
  const int64_t side = matrixSide;
  const int64_t ox = origin ? origin[0] : 0, oy = origin ? origin[1] : 0;
  const int64_t column0 = PositiveMod(rect->left + ox, side);
  int64_t matrixRow = PositiveMod(rect->top + oy, side);

  if (srcWidth == w && srcHeight == h && rect->left >= 0 && rect->top >= 0) {
    for (int64_t j = 0; j < h; ++j) {
      AmiRow(src + j * srcRowBytes, dst + (rect->top + j) * dstRowBytes, rect->left, w,
             matrix + matrixRow * side, side, column0);
      if (++matrixRow == side) matrixRow = 0;
    }
    return 1;
  }

  // Stretching, or a rectangle reaching left of or above the bitmap: one
  // source row per H / source height destination rows, likewise for columns.
  const uint8_t *srcRow = src;
  int64_t rowAcc = 0;
  for (int64_t j = 0; j < h; ++j) {
    if (j > 0 && rowAcc >= h) {
      srcRow += srcRowBytes;
      rowAcc -= h;
    }
    rowAcc += srcHeight;
    const int64_t y = rect->top + j;
    const uint8_t *mrow = matrix + matrixRow * side;
    if (++matrixRow == side) matrixRow = 0;
    if (y < 0) continue;
    uint8_t *row = dst + y * dstRowBytes;
    const uint8_t *s = srcRow;
    int64_t colAcc = 0, column = column0;
    for (int64_t i = 0; i < w; ++i) {
      if (i > 0 && colAcc >= w) {
        ++s;
        colAcc -= w;
      }
      colAcc += srcWidth;
      const int64_t x = rect->left + i;
      if (x >= 0) SetBit(row, x, *s > mrow[column]);
      if (++column == side) column = 0;
    }
    const int64_t end = rect->left + w;  // first column right of the rectangle
    if (end > 0 && (end & 7)) row[(end - 1) >> 3] |= static_cast<uint8_t>(0xFFu >> (end & 7));
  }
  return 1;
}

namespace {

// One line of error diffusion where source and rectangle match and the line
// starts at a non-negative column. The neighbours' errors ride in registers;
// the bits are gathered a byte at a time and merged, so bits outside the
// rectangle keep their content.
void DiffuseRow(const uint8_t *src, uint8_t *row, int64_t left, int64_t width,
                const int8_t *prev, int8_t *cur) {
  int upLeft = prev[0], up = prev[1], leftErr = cur[0];
  uint8_t *d = row + (left >> 3);
  int bit = static_cast<int>(left & 7);
  unsigned acc = 0, mask = 0;
  for (int64_t i = 0; i < width; ++i) {
    const int upRight = prev[i + 2];
    const int e = (341 * (up + leftErr) + 171 * (upLeft + upRight) + 512) / 1024;
    const int v = src[i] - e;
    // Branch-free: on a mid-gray area ink and blank alternate unpredictably.
    const int ink = v >= 128;
    leftErr = (255 & -ink) - v;
    cur[i + 1] = static_cast<int8_t>(leftErr);
    upLeft = up;
    up = upRight;
    const unsigned at = 0x80u >> bit;
    mask |= at;
    acc |= at & static_cast<unsigned>(ink - 1);
    if (++bit == 8) {
      *d = static_cast<uint8_t>((*d & ~mask) | acc);
      ++d;
      acc = mask = 0;
      bit = 0;
    }
  }
  if (mask) *d = static_cast<uint8_t>((*d & ~mask) | acc);
}

}  // namespace

// Weights: one third for the upper and the left neighbour, one sixth for the
// two upper diagonals, out of 1024.
void binarize(const uint8_t *src, int64_t srcWidth, int64_t srcHeight, uint8_t *dst,
              const tagRECT64 *rect, int32_t dstRowBytes, int8_t *errors) {
  if (rect->bottom < rect->top || rect->right < rect->left) return;
  const int64_t w = mGetRectWidth(rect), h = mGetRectHeight(rect);
  int8_t *prev = errors;
  int8_t *cur = errors + w + 2;
  const bool oneToOne = srcWidth == w && srcHeight == h && rect->left >= 0 && rect->top >= 0;
  const uint8_t *srcRow = src;
  int64_t rowAcc = 0;
  for (int64_t j = 0; j < h; ++j) {
    uint8_t *row = dst + j * dstRowBytes;
    if (oneToOne) {
      DiffuseRow(srcRow, row, rect->left, w, prev, cur);
    } else {
      // Stretching, or a rectangle reaching left of or above the bitmap.
      const bool rowInside = rect->top + j >= 0;
      const uint8_t *s = srcRow;
      int64_t colAcc = 0;
      for (int64_t i = 0; i < w; ++i) {
        const int e =
            (341 * (prev[i + 1] + cur[i]) + 171 * (prev[i] + prev[i + 2]) + 512) / 1024;
        const int v = *s - e;
        const bool ink = v >= 128;
        cur[i + 1] = static_cast<int8_t>(ink ? 255 - v : -v);
        const int64_t x = rect->left + i;
        if (rowInside && x >= 0) SetBit(row, x, ink);
        colAcc += srcWidth;
        if (colAcc > w - 1) {
          ++s;
          colAcc -= w;
        }
      }
    }
    std::memcpy(prev, cur, static_cast<size_t>(w + 2));
    rowAcc += srcHeight;
    if (rowAcc > h - 1) {
      srcRow += srcWidth;
      rowAcc -= h;
    }
  }
}

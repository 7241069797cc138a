// SPDX-License-Identifier: Apache-2.0
// Tone curves, the AM screen binarizer and the error diffusion's plain step.
#include "TAVIK_Dither.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "TAVIK_DitherFast.h"
#include "tools/vector_kernels.h"

const tagGAMMACURVE &band_gamma_curve(int8_t diffusion, uint16_t frequency) {
  if (diffusion == kTavikErrorDiffusion) return gamma_curve_gosa;
  if (frequency < 78) return gamma_curve;
  if (frequency < 95) return gamma_curve_85L_45d;
  if (frequency < 122) return gamma_curve_106L_45d;
  if (frequency < 170) return gamma_curve_141L_45d;
  return gamma_curve_212L_45d;
}

void band_curve(const tagGAMMACURVE &curve, uint8_t *buffer, int64_t width, int64_t lines,
                int32_t rowBytes) {
  if (width <= 0 || lines <= 0) return;
  for (int64_t y = 0; y < lines; ++y) {
    uint8_t *p = buffer + y * rowBytes;
    for (int64_t x = 0; x < width; ++x) p[x] = curve[p[x]];
  }
}

void band_gamma(int8_t diffusion, uint8_t *buffer, int64_t width, int64_t lines,
                int32_t rowBytes, uint16_t frequency) {
  band_curve(band_gamma_curve(diffusion, frequency), buffer, width, lines, rowBytes);
}

uint8_t ami_ink_threshold(const tagGAMMACURVE &curve, uint8_t t) {
  int x = 255;
  while (curve[x] > t) --x;  // ends: curve[0] is 0
  return static_cast<uint8_t>(x);
}

void ami_ink_matrix(const uint8_t *matrix, int64_t side, const tagGAMMACURVE &curve, uint8_t *out) {
  std::array<uint8_t, 256> map;
  for (int t = 0; t < 256; ++t) map[t] = ami_ink_threshold(curve, static_cast<uint8_t>(t));
  const int64_t pitch = ami_ink_matrix_pitch(side);
  for (int64_t r = 0; r < side; ++r)
    for (int64_t c = 0; c < pitch; ++c) out[r * pitch + c] = map[matrix[r * side + c % side]];
}

namespace {

int64_t PositiveMod(int64_t v, int64_t d) {
  const int64_t r = v % d;
  return r < 0 ? r + d : r;
}

// One row of the AM screen starting at a non-negative column: bits left of
// the rectangle keep their content, bits right of it in the last byte become
// blank. matrixRow holds `avail` thresholds from column 0 (side, or more for
// a row continued periodically). Whole bytes go to the vector kernel first.
void AmiRow(const uint8_t *src, uint8_t *row, int64_t left, int64_t width,
            const uint8_t *matrixRow, int64_t avail, int64_t side, int64_t column) {
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
  const int64_t vectorBytes = vk::AmiBytes(d, src + i, (width - i) / 8, matrixRow, avail, side, &column);
  d += vectorBytes;
  i += 8 * vectorBytes;
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

void SetBlank(uint8_t *row, int64_t x) { row[x >> 3] |= static_cast<uint8_t>(0x80u >> (x & 7)); }

}  // namespace

void FillBlank(uint8_t *row, int64_t from, int64_t to) {
  while (from < to && (from & 7)) SetBlank(row, from++);
  const int64_t whole = (to - from) / 8;
  if (whole > 0) {
    std::memset(row + (from >> 3), 0xFF, static_cast<size_t>(whole));
    from += 8 * whole;
  }
  while (from < to) SetBlank(row, from++);
}

// The tone curve rides in the matrix, which spares the pass over the band;
// columns right of the ink are blank without a comparison.
void mAmiStretchInk(const uint8_t *src, int32_t srcRowBytes, int64_t inkWidth, uint8_t *dst,
                    int32_t dstRowBytes, const tagRECT64 *rect, const uint8_t *inkMatrix,
                    int64_t side) {
  if (rect->top > rect->bottom || rect->left > rect->right || side <= 0) return;
  const int64_t w = mGetRectWidth(rect), h = mGetRectHeight(rect);
  const int64_t pitch = ami_ink_matrix_pitch(side);
  // Compared in whole bytes up to the ink; the rest of the row, to the end of
  // its last byte, is blank as zero ink against any threshold.
  const int64_t compared = std::min(w, std::max<int64_t>(0, (inkWidth + 7) & ~int64_t{7}));
  const int64_t end = (rect->left + w + 7) & ~int64_t{7};
  const int64_t column0 = PositiveMod(rect->left, side);
  int64_t matrixRow = PositiveMod(rect->top, side);
  for (int64_t j = 0; j < h; ++j) {
    uint8_t *row = dst + (rect->top + j) * dstRowBytes;
    if (compared > 0) {
      AmiRow(src + j * srcRowBytes, row, rect->left, compared, inkMatrix + matrixRow * pitch,
             pitch, side, column0);
    }
    FillBlank(row, rect->left + compared, end);
    if (++matrixRow == side) matrixRow = 0;
  }
}

int mAmiStretch(const uint8_t *src, uint8_t *dst, int64_t srcWidth, int64_t srcHeight,
                const tagRECT64 *rect, int32_t srcRowBytes, int32_t dstRowBytes,
                const uint8_t *matrix, uint16_t matrixSide, const int64_t *origin) {
  if (rect->top > rect->bottom || rect->left > rect->right || matrixSide == 0) return 1;
  const int64_t w = mGetRectWidth(rect), h = mGetRectHeight(rect);
  if (srcWidth != w || srcHeight != h || rect->left < 0 || rect->top < 0) return 0;
  const int64_t side = matrixSide;
  const int64_t ox = origin ? origin[0] : 0, oy = origin ? origin[1] : 0;
  const int64_t column0 = PositiveMod(rect->left + ox, side);
  int64_t matrixRow = PositiveMod(rect->top + oy, side);
  for (int64_t j = 0; j < h; ++j) {
    AmiRow(src + j * srcRowBytes, dst + (rect->top + j) * dstRowBytes, rect->left, w,
           matrix + matrixRow * side, side, side, column0);
    if (++matrixRow == side) matrixRow = 0;
  }
  return 1;
}

// The reference the fast forms are measured against. The neighbours' errors
// ride in registers; the bits are gathered a byte at a time and merged.
void DiffuseRow(const uint8_t *src, uint8_t *row, int64_t left, int64_t width,
                const int8_t *prev, int8_t *cur, const uint8_t *curve) {
  int upLeft = prev[0], up = prev[1], leftErr = cur[0];
  uint8_t *d = row + (left >> 3);
  int bit = static_cast<int>(left & 7);
  unsigned acc = 0, mask = 0;
  for (int64_t i = 0; i < width; ++i) {
    const int upRight = prev[i + 2];
    const int v = curve[src[i]] - DiffusedError(up, leftErr, upLeft, upRight);
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

namespace {

constexpr tagGAMMACURVE MakeIdentity() {
  tagGAMMACURVE c{};
  for (int i = 0; i < 256; ++i) c[i] = static_cast<uint8_t>(i);
  return c;
}
constexpr tagGAMMACURVE kIdentity = MakeIdentity();

}  // namespace

void binarize(const uint8_t *src, int64_t srcWidth, int64_t srcHeight, uint8_t *dst,
              const tagRECT64 *rect, int32_t dstRowBytes, int8_t *errors, int64_t inkWidth,
              const tagGAMMACURVE *curve) {
  if (rect->bottom < rect->top || rect->right < rect->left) return;
  const int64_t w = mGetRectWidth(rect), h = mGetRectHeight(rect);
  if (srcWidth != w || srcHeight != h || rect->left < 0 || rect->top < 0) return;
  const int64_t ink = inkWidth < 0 || inkWidth > w ? w : inkWidth;
  DiffuseRows(src, srcWidth, dst, dstRowBytes, rect->left, w, h, errors, errors + w + 2, ink,
              (curve ? *curve : kIdentity).data());
}

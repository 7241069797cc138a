// SPDX-License-Identifier: Apache-2.0
// Tone curves, the AM screen binarizer and the error diffusion.
#include "TAVIK_Dither.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <vector>

#include "tools/vector_kernels.h"

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

// One row of the AM screen where source and rectangle match and the row starts
// at a non-negative column: bits left of the rectangle keep their content,
// bits right of it in the last byte become blank. matrixRow holds `avail`
// thresholds from column 0 (side, or more for a row continued periodically).
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

void SetBit(uint8_t *row, int64_t x, bool ink) {
  const uint8_t bit = static_cast<uint8_t>(0x80u >> (x & 7));
  if (ink)
    row[x >> 3] &= static_cast<uint8_t>(~bit);
  else
    row[x >> 3] |= bit;
}

// Sets bits from .. to - 1 of the row (blank in the working polarity).
void FillBlank(uint8_t *row, int64_t from, int64_t to) {
  while (from < to && (from & 7)) SetBit(row, from++, false);
  const int64_t whole = (to - from) / 8;
  if (whole > 0) {
    std::memset(row + (from >> 3), 0xFF, static_cast<size_t>(whole));
    from += 8 * whole;
  }
  while (from < to) SetBit(row, from++, false);
}

}  // namespace

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
  const int64_t side = matrixSide;
  const int64_t ox = origin ? origin[0] : 0, oy = origin ? origin[1] : 0;
  const int64_t column0 = PositiveMod(rect->left + ox, side);
  int64_t matrixRow = PositiveMod(rect->top + oy, side);

  if (srcWidth == w && srcHeight == h && rect->left >= 0 && rect->top >= 0) {
    for (int64_t j = 0; j < h; ++j) {
      AmiRow(src + j * srcRowBytes, dst + (rect->top + j) * dstRowBytes, rect->left, w,
             matrix + matrixRow * side, side, side, column0);
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
                const int8_t *prev, int8_t *cur, const uint8_t *curve) {
  int upLeft = prev[0], up = prev[1], leftErr = cur[0];
  uint8_t *d = row + (left >> 3);
  int bit = static_cast<int>(left & 7);
  unsigned acc = 0, mask = 0;
  for (int64_t i = 0; i < width; ++i) {
    const int upRight = prev[i + 2];
    const int e = (341 * (up + leftErr) + 171 * (upLeft + upRight) + 512) / 1024;
    const int v = curve[src[i]] - e;
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

namespace {

int DiffusedError(int up, int left, int upLeft, int upRight) {
  return (341 * (up + left) + 171 * (upLeft + upRight) + 512) / 1024;
}

// Columns where a line's errors differ from the line before's: [first, last]
// spans in column order.
using tagSPANS = std::vector<std::array<int64_t, 2>>;

void AddColumn(tagSPANS &spans, int64_t column) {
  if (!spans.empty() && spans.back()[1] + 1 == column)
    spans.back()[1] = column;
  else
    spans.push_back({column, column});
}

// Columns `from` .. width - 1 of a line whose source is 0 there. A column
// whose inputs (its left neighbour, its three neighbours in the row above)
// are those the line before had repeats the line before, so only columns
// next to a move are computed: `above` holds where the row above moved,
// `moved` whether column from - 1 of this line did. prev holds the row above
// and cur this line; from column from on both equal the row above at entry
// and this line at return. The columns that move are added to `changed`.
// A 0 source never inks: no error is below -126, so the value stays below
// 128 and its error is just the neighbours' weighted sum.
void DiffuseTail(int8_t *prev, int8_t *cur, int64_t from, int64_t width, const tagSPANS &above,
                 bool moved, tagSPANS &changed) {
  // A span already there may grow into these columns.
  const size_t before = changed.empty() ? 0 : changed.size() - 1;
  size_t k = 0;
  for (int64_t i = from; i < width; ++i) {
    if (!moved) {
      while (k < above.size() && above[k][1] < i - 1) ++k;
      if (k == above.size()) break;
      i = std::max(i, above[k][0] - 1);
      if (i >= width) break;
    }
    const auto err = static_cast<int8_t>(DiffusedError(prev[i + 1], cur[i], prev[i], prev[i + 2]));
    moved = err != prev[i + 1];
    if (moved) {
      cur[i + 1] = err;
      AddColumn(changed, i);
    }
  }
  for (size_t s = before; s < changed.size(); ++s) {
    const int64_t first = std::max(changed[s][0], from);
    std::memcpy(prev + first + 1, cur + first + 1, static_cast<size_t>(changed[s][1] - first + 1));
  }
}

// One line whose source is 0 from column `ink` on: the part left of it in
// full, the rest where it moves. `changed` receives where the line moved,
// taking every column left of `ink` as moved.
void DiffuseLine(const uint8_t *src, uint8_t *row, int64_t left, int64_t width, int64_t ink,
                 int8_t *prev, int8_t *cur, const uint8_t *curve, const tagSPANS &above,
                 tagSPANS &changed) {
  DiffuseRow(src, row, left, ink, prev, cur, curve);
  FillBlank(row, left + ink, left + width);
  changed.clear();
  if (ink > 0) changed.push_back({ink - 1, ink - 1});
  DiffuseTail(prev, cur, ink, width, above, cur[ink] != prev[ink], changed);
  std::memcpy(prev, cur, static_cast<size_t>(ink + 1));
}

// Working memory of the vector diffusion, kept for the life of the thread:
// the padded source rows, then a copy of the error row.
uint8_t *DiffuseScratch(int64_t width) {
  thread_local std::vector<uint8_t> scratch;
  const size_t bytes = vk::DiffuseScratchBytes(width) + static_cast<size_t>(width) + 2;
  try {
    if (scratch.size() < bytes) scratch.resize(bytes);
  } catch (const std::bad_alloc &) {
    return nullptr;
  }
  return scratch.data();
}

// Columns past the moving stretch at the ink's edge that a group of rows on
// vector lanes covers: that stretch grows by about a column a line.
constexpr int64_t kSettledMargin = 192;
// Moving columns this far apart belong to separate stretches: the edge's,
// and a front that the rounding's persistent errors drive across the margin.
constexpr int64_t kStretchGap = 64;

int64_t EdgeStretchEnd(const tagSPANS &spans, int64_t ink) {
  int64_t end = ink;
  for (const auto &[first, last] : spans) {
    if (first > end + kStretchGap) break;
    end = std::max(end, last + 1);
  }
  return end;
}

struct tagNARROW {
  const uint8_t *src;
  int64_t srcPitch;
  uint8_t *dst;
  int32_t dstRowBytes;
  int64_t left, w, ink;
  int8_t *prev, *cur;
  uint8_t *scratch;
  const int32_t *curve32;
  int32_t groups;
  int64_t lanes;
};

// Rows j .. j + lanes - 1 on vector lanes over the columns up to `reach`, the
// white part beyond line by line. The lanes take column `reach` of every row
// to be the row above's; that holds when no row moves column reach - 1 (the
// lanes' check) nor column reach (followed here). Else nothing is kept and
// false is returned.
bool DiffuseGroupThenTail(const tagNARROW &n, int64_t j, int64_t reach, tagSPANS &above,
                          tagSPANS &changed, tagSPANS &aboveGroup) {
  int8_t *saved = reinterpret_cast<int8_t *>(n.scratch + vk::DiffuseScratchBytes(n.w));
  std::memcpy(saved, n.prev, static_cast<size_t>(n.w + 2));
  aboveGroup.assign(above.begin(), above.end());  // keeps its capacity from group to group
  bool held = vk::DiffuseGroup({n.src + j * n.srcPitch, n.srcPitch, n.dst + j * n.dstRowBytes,
                                n.dstRowBytes, n.left, reach, n.prev, n.scratch, n.curve32,
                                n.groups, static_cast<int32_t>(n.lanes)});
  for (int64_t r = 0; held && r < n.lanes; ++r) {
    FillBlank(n.dst + (j + r) * n.dstRowBytes, n.left + reach, n.left + n.w);
    changed.clear();
    DiffuseTail(n.prev, n.cur, reach, n.w, above, false, changed);
    held = changed.empty() || changed.front()[0] > reach;
    std::swap(above, changed);
  }
  if (!held) {
    std::memcpy(n.prev, saved, static_cast<size_t>(n.w + 2));
    std::memcpy(n.cur, saved, static_cast<size_t>(n.w + 2));
    above.swap(aboveGroup);
    return false;
  }
  // The lanes' columns are not followed: all count as moved.
  above.insert(above.begin(), {n.ink - 1, reach});
  std::memcpy(n.cur, n.prev, static_cast<size_t>(reach + 1));
  return true;
}

// A page whose source is 0 from column `ink` on. Groups of rows go on vector
// lanes over the columns up to `reach`, past the stretch that moves at the
// ink's edge; the white columns beyond are followed line by line where they
// move. A group whose rows do not hold at `reach` is done again line by line,
// which also finds where the moving stretch ends.
void DiffuseNarrow(const uint8_t *src, int64_t srcPitch, uint8_t *dst, int32_t dstRowBytes,
                   int64_t left, int64_t w, int64_t h, int8_t *prev, int8_t *cur, int64_t ink,
                   const uint8_t *curve) {
  // Two groups: a check that fails costs the lines of the groups again.
  constexpr int32_t groups = 2;
  const auto lanes = groups * static_cast<int64_t>(vk::DiffuseLanes());
  uint8_t *scratch = lanes > 1 ? DiffuseScratch(w) : nullptr;
  std::array<int32_t, 256> curve32;
  std::copy_n(curve, 256, curve32.begin());
  const tagNARROW n{src,  srcPitch, dst,     dstRowBytes,     left,   w,    ink,
                    prev, cur,      scratch, curve32.data(), groups, lanes};
  // Nothing is known of the row above the first: every column counts as moved.
  tagSPANS above{{-1, w}}, changed, aboveGroup;
  int64_t reach = w;
  int64_t j = 0;
  while (j < h) {
    if (scratch && reach < w && h - j >= lanes && DiffuseGroupThenTail(n, j, reach, above, changed, aboveGroup)) {
      j += lanes;
      continue;
    }
    const int64_t end = std::min(h, j + std::max<int64_t>(lanes, 1));
    for (; j < end; ++j) {
      DiffuseLine(src + j * srcPitch, dst + j * dstRowBytes, left, w, ink, prev, cur, curve, above,
                  changed);
      std::swap(above, changed);
    }
    reach = std::min(w, EdgeStretchEnd(above, ink) + kSettledMargin);
  }
}

// Rows one to one with the rectangle. Pages narrower than half the band go
// as above; others go in groups of rows on vector lanes, the remaining lines
// one by one.
void DiffuseRows(const uint8_t *src, int64_t srcPitch, uint8_t *dst, int32_t dstRowBytes,
                 int64_t left, int64_t w, int64_t h, int8_t *prev, int8_t *cur, int64_t ink,
                 const uint8_t *curve) {
  int64_t j = 0;
  // The margin is white only when the curve keeps 0 at 0.
  if (ink * 2 <= w && curve[0] == 0) {
    DiffuseNarrow(src, srcPitch, dst, dstRowBytes, left, w, h, prev, cur, ink, curve);
    return;
  }
  const auto lanes = static_cast<int64_t>(vk::DiffuseLanes());
  // A few lines go faster one by one than on a group's lanes.
  uint8_t *scratch = lanes > 1 && h >= 4 ? DiffuseScratch(w) : nullptr;
  if (scratch) {
    std::array<int32_t, 256> curve32;
    std::copy_n(curve, 256, curve32.begin());
    while (h - j >= 4) {
      const auto groups = static_cast<int32_t>(std::clamp<int64_t>((h - j) / lanes, 1, vk::kDiffuseGroups));
      const auto rows = static_cast<int32_t>(std::min<int64_t>(h - j, groups * lanes));
      vk::DiffuseGroup({src + j * srcPitch, srcPitch, dst + j * dstRowBytes, dstRowBytes, left, w,
                        prev, scratch, curve32.data(), groups, rows});
      j += rows;
    }
    std::memcpy(cur, prev, static_cast<size_t>(w + 2));
  }
  for (; j < h; ++j) {
    DiffuseRow(src + j * srcPitch, dst + j * dstRowBytes, left, w, prev, cur, curve);
    std::memcpy(prev, cur, static_cast<size_t>(w + 2));
  }
}

constexpr tagGAMMACURVE MakeIdentity() {
  tagGAMMACURVE c{};
  for (int i = 0; i < 256; ++i) c[i] = static_cast<uint8_t>(i);
  return c;
}
constexpr tagGAMMACURVE kIdentity = MakeIdentity();

}  // namespace

// Weights: one third for the upper and the left neighbour, one sixth for the
// two upper diagonals, out of 1024.
void binarize(const uint8_t *src, int64_t srcWidth, int64_t srcHeight, uint8_t *dst,
              const tagRECT64 *rect, int32_t dstRowBytes, int8_t *errors, int64_t inkWidth,
              const tagGAMMACURVE *curve) {
  if (rect->bottom < rect->top || rect->right < rect->left) return;
  const uint8_t *map = (curve ? *curve : kIdentity).data();
  const int64_t w = mGetRectWidth(rect), h = mGetRectHeight(rect);
  int8_t *prev = errors;
  int8_t *cur = errors + w + 2;
  if (srcWidth == w && srcHeight == h && rect->left >= 0 && rect->top >= 0) {
    const int64_t ink = inkWidth < 0 || inkWidth > w ? w : inkWidth;
    DiffuseRows(src, srcWidth, dst, dstRowBytes, rect->left, w, h, prev, cur, ink, map);
    return;
  }
  // Stretching, or a rectangle reaching left of or above the bitmap.
  const uint8_t *srcRow = src;
  int64_t rowAcc = 0;
  for (int64_t j = 0; j < h; ++j) {
    uint8_t *row = dst + j * dstRowBytes;
    const bool rowInside = rect->top + j >= 0;
    const uint8_t *s = srcRow;
    int64_t colAcc = 0;
    for (int64_t i = 0; i < w; ++i) {
      const int v = map[*s] - DiffusedError(prev[i + 1], cur[i], prev[i], prev[i + 2]);
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
    std::memcpy(prev, cur, static_cast<size_t>(w + 2));
    rowAcc += srcHeight;
    if (rowAcc > h - 1) {
      srcRow += srcWidth;
      rowAcc -= h;
    }
  }
}

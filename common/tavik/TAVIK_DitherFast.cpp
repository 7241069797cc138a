// SPDX-License-Identifier: Apache-2.0
// The error diffusion as binarize runs it: the same bits and errors as the
// plain line (DiffuseRow), with less work. Rows of a wide page go several at
// a time on vector lanes, which skips nothing but the waiting; a page that
// leaves most of the band white skips the white columns whose errors only
// repeat the line above's.
#include "TAVIK_DitherFast.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "tools/vector_kernels.h"

namespace {

// Columns where a line's errors differ from the line before's: [first, last]
// spans in column order.
using tagSPANS = std::vector<std::array<int64_t, 2>>;

void AddColumn(tagSPANS &spans, int64_t column) {
  if (!spans.empty() && spans.back()[1] + 1 == column)
    spans.back()[1] = column;
  else
    spans.push_back({column, column});
}

// Skips the white columns that only repeat the line above.
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

}  // namespace

// Pages narrower than half the band go as above; others go in groups of rows
// on vector lanes, the remaining lines one by one.
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


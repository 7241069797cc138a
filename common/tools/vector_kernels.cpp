// Vector forms of the hot loops, compiled once per instruction set; the best
// one the processor has is chosen at the first call.
#include "tools/vector_kernels.h"

#include "tavik/TAVIK_DitherFast.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "tools/vector_kernels.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

#ifndef VANTREX_VECTOR_KERNELS_ONCE
#define VANTREX_VECTOR_KERNELS_ONCE
// For the diffusion step: a call per step would send its state through memory.
#define VK_ALWAYS_INLINE __attribute__((always_inline))
namespace vk::detail {

// Byte with its bits in the opposite order: mask bits come lowest lane
// first, the bitmap wants the leftmost pixel in the most significant bit.
constexpr std::array<uint8_t, 256> MakeReversed() {
  std::array<uint8_t, 256> table{};
  for (int b = 0; b < 256; ++b) {
    int r = 0;
    for (int i = 0; i < 8; ++i) r |= ((b >> i) & 1) << (7 - i);
    table[b] = static_cast<uint8_t>(r);
  }
  return table;
}
inline constexpr std::array<uint8_t, 256> kReversed = MakeReversed();

// Writes the low n bits of `bits` (the highest of them first) as bitmap
// columns col .. col + n - 1, keeping only those in 0 .. width - 1; bit
// position left + column in row, most significant bit leftmost.
inline void PutBits(uint8_t *row, int64_t left, int64_t col, uint64_t bits, int n, int64_t width) {
  if (col < 0) {
    n += static_cast<int>(col);
    col = 0;
  }
  if (col + n > width) {
    const int drop = static_cast<int>(col + n - width);
    bits >>= drop;
    n -= drop;
  }
  int64_t pos = left + col;
  // Most chunks lie well inside the row: one read-modify-write of 8 bytes.
  if (n > 0 && (pos >> 3) + 8 <= (left + width + 7) >> 3) {
    uint64_t word;
    std::memcpy(&word, row + (pos >> 3), sizeof word);
    word = __builtin_bswap64(word);
    const int shift = 64 - static_cast<int>(pos & 7) - n;
    const uint64_t mask = ((uint64_t{1} << n) - 1) << shift;
    word = (word & ~mask) | ((bits << shift) & mask);
    word = __builtin_bswap64(word);
    std::memcpy(row + (pos >> 3), &word, sizeof word);
    return;
  }
  while (n > 0) {
    uint8_t *d = row + (pos >> 3);
    const int off = static_cast<int>(pos & 7);
    const int take = std::min(8 - off, n);
    const unsigned chunk = static_cast<unsigned>(bits >> (n - take)) & ((1u << take) - 1);
    const int shift = 8 - off - take;
    const unsigned mask = ((1u << take) - 1) << shift;
    *d = static_cast<uint8_t>((*d & ~mask) | (chunk << shift));
    n -= take;
    pos += take;
  }
}

}  // namespace vk::detail
#endif

HWY_BEFORE_NAMESPACE();
namespace vk::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

int32_t GrayBitsT(uint8_t *dst, const uint8_t *src, int32_t fullBytes, int32_t count,
                  const uint16_t *t16, int32_t mirror) {
#if HWY_TARGET == HWY_SCALAR
  (void)dst, (void)src, (void)fullBytes, (void)count, (void)t16, (void)mirror;
  return 0;
#else
  const hn::ScalableTag<uint16_t> d16;
  const hn::Rebind<uint8_t, decltype(d16)> d8;
  const int32_t n = static_cast<int32_t>(hn::Lanes(d16));  // pixels a step, a multiple of 8
  const int32_t stepBytes = n / 8;
  HWY_ALIGN uint16_t row[HWY_MAX_BYTES / 2];
  for (int32_t j = 0; j < n; ++j) row[j] = mirror ? t16[7 - j % 8] : t16[j % 8];
  const auto thresholds = hn::Load(d16, row);
  const auto k5 = hn::Set(d16, 5), k9 = hn::Set(d16, 9);
  int32_t i = 0;
  for (; i + stepBytes <= fullBytes; i += stepBytes) {
    // Without mirror the step's pixels run left to right from column 8i;
    // with it they are the source pixels of columns 8(i + stepBytes) - 1
    // down to 8i, in source order, so each mask byte is an output byte.
    const int64_t first = mirror ? int64_t{count} - 8 * int64_t{i + stepBytes} : 8 * int64_t{i};
    hn::Vec<decltype(d8)> r, g, b;
    hn::LoadInterleaved3(d8, src + 3 * first, r, g, b);
    const auto sum = hn::Add(hn::Add(hn::Mul(hn::PromoteTo(d16, r), k5), hn::Mul(hn::PromoteTo(d16, g), k9)),
                             hn::ShiftLeft<1>(hn::PromoteTo(d16, b)));
    uint8_t bits[HWY_MAX_BYTES / 16 + 8];
    hn::StoreMaskBits(d16, hn::Lt(sum, thresholds), bits);
    if (mirror) {
      for (int32_t j = 0; j < stepBytes; ++j) dst[i + stepBytes - 1 - j] = bits[j];
    } else {
      for (int32_t j = 0; j < stepBytes; ++j) dst[i + j] = detail::kReversed[bits[j]];
    }
  }
  return i;
#endif
}

int32_t GrayToRgbT(uint8_t *rgb, const uint8_t *gray, int32_t pixels, uint8_t flip) {
#if HWY_TARGET == HWY_SCALAR
  (void)rgb, (void)gray, (void)pixels, (void)flip;
  return 0;
#else
  const hn::ScalableTag<uint8_t> d;
  const int32_t n = static_cast<int32_t>(hn::Lanes(d));
  const auto mask = hn::Set(d, flip);
  int32_t x = 0;
  for (; x + n <= pixels; x += n) {
    const auto g = hn::Xor(hn::LoadU(d, gray + x), mask);
    hn::StoreInterleaved3(g, g, g, d, rgb + 3 * static_cast<int64_t>(x));
  }
  return x;
#endif
}

int32_t InkLineT(uint8_t *row, const uint8_t *rgb, int32_t pixels, int32_t mirror, int32_t last) {
#if HWY_TARGET == HWY_SCALAR
  (void)row, (void)rgb, (void)pixels, (void)mirror, (void)last;
  return 0;
#else
  const hn::ScalableTag<uint16_t> d16;
  const hn::Rebind<int16_t, decltype(d16)> di16;
  const hn::Rebind<uint8_t, decltype(d16)> d8;
  const int32_t n = static_cast<int32_t>(hn::Lanes(d16));
  // 8 x the weights fit 16 bits; the high half of 8 x the sum is sum >> 13.
  // The low halves are added with their carries.
  const auto wr = hn::Set(d16, 8 * 2449), wg = hn::Set(d16, 8 * 4805), wb = hn::Set(d16, 8 * 938);
  const auto k255 = hn::Set(d16, 255);
  int32_t j = 0;
  for (; j + n <= pixels; j += n) {
    hn::Vec<decltype(d8)> r8, g8, b8;
    hn::LoadInterleaved3(d8, rgb + 3 * int64_t{j}, r8, g8, b8);
    const auto r = hn::PromoteTo(d16, r8), g = hn::PromoteTo(d16, g8), b = hn::PromoteTo(d16, b8);
    const auto lr = hn::Mul(r, wr), lg = hn::Mul(g, wg), lb = hn::Mul(b, wb);
    const auto s1 = hn::Add(lr, lg);
    const auto s2 = hn::Add(s1, lb);
    const auto carry1 = hn::IfThenElseZero(hn::Lt(s1, lr), hn::Set(d16, 1));
    const auto carry2 = hn::IfThenElseZero(hn::Lt(s2, s1), hn::Set(d16, 1));
    const auto high = hn::Add(hn::Add(hn::MulHigh(r, wr), hn::MulHigh(g, wg)),
                              hn::Add(hn::MulHigh(b, wb), hn::Add(carry1, carry2)));
    auto ink = hn::Sub(k255, high);
    if (mirror) {
      ink = hn::Reverse(d16, ink);
      hn::StoreU(hn::DemoteTo(d8, hn::BitCast(di16, ink)), d8, row + (last - j - (n - 1)));
    } else {
      hn::StoreU(hn::DemoteTo(d8, hn::BitCast(di16, ink)), d8, row + j);
    }
  }
  return j;
#endif
}

int64_t AmiBytesT(uint8_t *dst, const uint8_t *ink, int64_t bytes, const uint8_t *thresholds,
                  int64_t avail, int64_t side, int64_t *column) {
#if HWY_TARGET == HWY_SCALAR
  (void)dst, (void)ink, (void)bytes, (void)thresholds, (void)avail, (void)side, (void)column;
  return 0;
#else
  const hn::ScalableTag<uint8_t> d8;
  const int64_t n = static_cast<int64_t>(hn::Lanes(d8));
  const int64_t stepBytes = n / 8;
  const int64_t advance = n % side;
  int64_t col = *column;
  int64_t i = 0;
  // Stops where a step's thresholds would run past what the row holds.
  for (; i + stepBytes <= bytes && col + n <= avail; i += stepBytes) {
    const auto v = hn::LoadU(d8, ink + 8 * i);
    const auto t = hn::LoadU(d8, thresholds + col);
    uint8_t bits[HWY_MAX_BYTES / 8 + 8];
    hn::StoreMaskBits(d8, hn::Eq(hn::Min(v, t), v), bits);
    for (int64_t j = 0; j < stepBytes; ++j) dst[i + j] = detail::kReversed[bits[j]];
    col += advance;
    if (col >= side) col -= side;
  }
  *column = col;
  return i;
#endif
}

// Rows of a group: one a lane.
size_t DiffuseLanesT() {
#if HWY_TARGET == HWY_SCALAR
  return 0;
#else
  return hn::Lanes(hn::ScalableTag<int32_t>());
#endif
}

size_t DiffuseScratchBytesT(int64_t width) {
  const auto k = static_cast<int64_t>(std::max<size_t>(DiffuseLanesT(), 1));
  return static_cast<size_t>(kDiffuseGroups * k * (width + 4 * k + 8));
}

// Lane k of a group diffuses row k; at step t it takes column t - 2k, which
// needs row k - 1 up to column t - 2k + 1, done by lane k - 1 one step
// earlier. The row above the group comes from `above`, the group's last row
// goes back into it behind the reads. Lanes outside the row put out error 0,
// the margins' value. Each further group of the next rows runs 2k steps
// behind the one before, on its last row, so the groups' chains of dependent
// steps overlap in the processor.
bool DiffuseGroupT(const tagDIFFUSEGROUP &g) {
#if HWY_TARGET == HWY_SCALAR
  (void)g;
  return false;
#else
  const hn::ScalableTag<int32_t> di;
  const hn::Repartition<int16_t, decltype(di)> d16;
  using V = hn::Vec<decltype(di)>;
  const int64_t k = static_cast<int64_t>(hn::Lanes(di));
  const int64_t w = g.width;
  const int64_t pitch = w + 4 * k + 8;
  const int64_t groups = std::clamp<int64_t>(g.groups, 1, kDiffuseGroups);
  // Lanes past the rows there are compute on white and write nothing; no
  // lane below them depends on them.
  const int64_t rows = groups == 1 ? std::clamp<int64_t>(g.rows, 1, k) : groups * k;
  // Each row copied between zeros: every lane reads inside the scratch.
  for (int64_t r = 0; r < groups * k; ++r) {
    uint8_t *s = g.scratch + r * pitch;
    std::memset(s, 0, static_cast<size_t>(2 * k));
    if (r < rows) {
      std::memcpy(s + 2 * k, g.src + r * g.srcPitch, static_cast<size_t>(w));
    } else {
      std::memset(s + 2 * k, 0, static_cast<size_t>(w));
    }
    std::memset(s + 2 * k + w, 0, static_cast<size_t>(pitch - 2 * k - w));
  }
  // The lane whose row goes back into `above`, and the rows each group has.
  const int64_t lastLane = groups == 1 ? rows - 1 : k - 1;
  const auto lane = hn::Iota(di, 0);
  const auto twoK = hn::Add(lane, lane);
  // Byte offset of lane k's source at step 0: row k, column -2k.
  const auto offset0 = hn::Sub(hn::Add(hn::Mul(lane, hn::Set(di, static_cast<int32_t>(pitch))),
                                       hn::Set(di, static_cast<int32_t>(2 * k))),
                               twoK);
  HWY_ALIGN int32_t up[HWY_MAX_BYTES / 4];
  up[0] = 0;
  for (int64_t i = 1; i < k; ++i) up[i] = static_cast<int32_t>(i - 1);
  const auto fromAbove = hn::SetTableIndices(di, up);
  const auto lane0 = hn::FirstN(di, 1);
  const auto weights = hn::BitCast(d16, hn::Set(di, kDiffuseNear | (kDiffuseFar << 16)));
  const auto k512 = hn::Set(di, 512), k1023 = hn::Set(di, 1023), k127 = hn::Set(di, 127);
  const auto k255 = hn::Set(di, 255), lowHalf = hn::Set(di, 0xFFFF), one = hn::Set(di, 1);
  const auto signBit = hn::Set(di, INT32_MIN);
  const auto widthBiased = hn::Set(di, static_cast<int32_t>(w) ^ INT32_MIN);
  const auto widthV = hn::Set(di, static_cast<int32_t>(w));
  const auto lastV = hn::Set(di, static_cast<int32_t>(w - 1));
  const auto edge = hn::Set(di, g.above[w + 1]);
  const auto target = hn::Set(di, g.above[w]);
  const auto *base = reinterpret_cast<const int32_t *>(g.scratch);
  const int64_t steps = w + 2 * (k - 1);

  struct State {
    V left, upLeft, upMid, acc, offset, last;
    uint8_t *dst;
  };
  const auto start = [&](int64_t group) {
    // Lane 0's row above starts at column -1 (the margin) and column 0.
    return State{hn::Zero(di), hn::Zero(di), hn::IfThenElseZero(lane0, hn::Set(di, g.above[1])),
                 hn::Zero(di), hn::Add(offset0, hn::Set(di, static_cast<int32_t>(group * k * pitch))),
                 hn::Zero(di), g.dst + group * k * g.dstPitch};
  };
  HWY_ALIGN int32_t blank[HWY_MAX_BYTES / 4];
  const auto step = [&](State &st, int64_t t) VK_ALWAYS_INLINE {
    const auto tv = hn::Set(di, static_cast<int32_t>(t));
    const auto column = hn::Sub(tv, twoK);
    const auto active = hn::Lt(hn::Xor(column, signBit), widthBiased);
    const auto outside = hn::IfThenElseZero(hn::Eq(column, widthV), edge);
    const auto ink =
        hn::GatherIndex(di, g.curve, hn::And(hn::GatherOffset(di, base, hn::Add(st.offset, tv)), k255));
    const int32_t aboveRight = t + 2 <= w + 1 ? g.above[t + 2] : 0;
    const auto upRight =
        hn::IfThenElse(lane0, hn::Set(di, aboveRight), hn::TableLookupLanes(st.left, fromAbove));
    const auto a = hn::Add(st.upMid, st.left);
    const auto b = hn::Add(st.upLeft, upRight);
    const auto pair = hn::Or(hn::And(a, lowHalf), hn::ShiftLeft<16>(b));
    V unused = hn::Zero(di);
    const auto s = hn::ReorderWidenMulAccumulate(di, hn::BitCast(d16, pair), weights, k512, unused);
    // Division by 1024 truncating toward zero.
    const auto e = hn::ShiftRight<10>(hn::Add(s, hn::And(hn::ShiftRight<31>(s), k1023)));
    const auto v = hn::Sub(ink, e);
    const auto inked = hn::Gt(v, k127);
    const auto err = hn::IfThenElse(active, hn::IfThenElse(inked, hn::Sub(k255, v), hn::Neg(v)), outside);
    st.last = hn::IfThenElse(hn::Eq(column, lastV), err, st.last);
    st.acc = hn::Or(hn::ShiftLeft<1>(st.acc), hn::IfThenZeroElse(inked, one));
    st.upLeft = st.upMid;
    st.upMid = upRight;
    st.left = err;
    const int64_t lastColumn = t - 2 * lastLane;
    if (lastColumn >= 0 && lastColumn < w) {
      g.above[lastColumn + 1] = static_cast<int8_t>(hn::ExtractLane(err, static_cast<size_t>(lastLane)));
    }
    if ((t + 1) % 32 == 0 || t + 1 == steps) {
      const int pending = static_cast<int>(t % 32) + 1;
      hn::Store(st.acc, di, blank);
      for (int64_t r = 0; r <= lastLane; ++r) {
        detail::PutBits(st.dst + r * g.dstPitch, g.left, t - pending + 1 - 2 * r,
                        static_cast<uint32_t>(blank[r]), pending, w);
      }
    }
  };
  // Group n's row above is group n - 1's last row, written into `above` at
  // least one step before it is read. The group count is a constant in each
  // loop, so the groups' states stay in registers.
  const auto advance = [&](State &st, int64_t n, int64_t t) VK_ALWAYS_INLINE {
    const int64_t tn = t - 2 * k * n;
    if (tn == 0 && n > 0) st = start(n);
    if (tn >= 0 && tn < steps) step(st, tn);
  };
  const auto run = [&]<size_t... N>(std::index_sequence<N...>) VK_ALWAYS_INLINE {
    State states[sizeof...(N)] = {((void)N, start(0))...};
    for (int64_t t = 0; t < steps + 2 * k * (static_cast<int64_t>(sizeof...(N)) - 1); ++t) {
      (advance(states[N], static_cast<int64_t>(N), t), ...);
    }
    const auto rowsOf = hn::FirstN(di, static_cast<size_t>(lastLane + 1));
    return (hn::AllTrue(di, hn::Or(hn::Eq(states[N].last, target), hn::Not(rowsOf))) && ...);
  };
  static_assert(kDiffuseGroups == 2);
  return groups == 1 ? run(std::make_index_sequence<1>()) : run(std::make_index_sequence<2>());
#endif
}

const char *TargetNameT() { return hwy::TargetName(HWY_TARGET); }

}  // namespace vk::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace vk {

HWY_EXPORT(GrayBitsT);
HWY_EXPORT(GrayToRgbT);
HWY_EXPORT(InkLineT);
HWY_EXPORT(AmiBytesT);
HWY_EXPORT(DiffuseLanesT);
HWY_EXPORT(DiffuseScratchBytesT);
HWY_EXPORT(DiffuseGroupT);
HWY_EXPORT(TargetNameT);

int32_t GrayBits(uint8_t *dst, const uint8_t *src, int32_t fullBytes, int32_t count,
                 const uint16_t *t16, int32_t mirror) {
  return HWY_DYNAMIC_DISPATCH(GrayBitsT)(dst, src, fullBytes, count, t16, mirror);
}
int32_t GrayToRgb(uint8_t *rgb, const uint8_t *gray, int32_t pixels, uint8_t flip) {
  return HWY_DYNAMIC_DISPATCH(GrayToRgbT)(rgb, gray, pixels, flip);
}
int32_t InkLine(uint8_t *row, const uint8_t *rgb, int32_t pixels, int32_t mirror, int32_t last) {
  return HWY_DYNAMIC_DISPATCH(InkLineT)(row, rgb, pixels, mirror, last);
}
int64_t AmiBytes(uint8_t *dst, const uint8_t *ink, int64_t bytes, const uint8_t *thresholds,
                 int64_t avail, int64_t side, int64_t *column) {
  return HWY_DYNAMIC_DISPATCH(AmiBytesT)(dst, ink, bytes, thresholds, avail, side, column);
}
size_t DiffuseLanes() { return HWY_DYNAMIC_DISPATCH(DiffuseLanesT)(); }
size_t DiffuseScratchBytes(int64_t width) { return HWY_DYNAMIC_DISPATCH(DiffuseScratchBytesT)(width); }
bool DiffuseGroup(const tagDIFFUSEGROUP &group) { return HWY_DYNAMIC_DISPATCH(DiffuseGroupT)(group); }
const char *TargetName() { return HWY_DYNAMIC_DISPATCH(TargetNameT)(); }

}  // namespace vk
#endif

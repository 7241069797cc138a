// SPDX-License-Identifier: Apache-2.0
// Tone curves and the two binarizers.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>
#include <vector>

#include "tavik/TAVIK_Dither.h"
#include "tavik/TAVIK_ImageLib.h"

namespace {

// ------------------------------------------------------------ tone curves --

const std::array<const tagGAMMACURVE *, 6> kCurves{
    &gamma_curve,          &gamma_curve_85L_45d,  &gamma_curve_106L_45d,
    &gamma_curve_141L_45d, &gamma_curve_212L_45d, &gamma_curve_gosa};

// The values every curve must take at inputs 0, 16, ..., 240, 255, one row per
// curve in the order of kCurves.
const int kSixteenths[6][17] = {
    {0, 4, 10, 20, 32, 44, 56, 71, 87, 104, 124, 147, 171, 191, 210, 233, 255},
    {0, 5, 12, 20, 30, 42, 55, 68, 82, 99, 118, 141, 164, 186, 208, 232, 255},
    {0, 4, 9, 16, 25, 35, 46, 59, 72, 88, 107, 132, 158, 181, 205, 229, 255},
    {0, 4, 9, 15, 22, 30, 41, 52, 65, 79, 96, 116, 142, 173, 202, 229, 255},
    {0, 2, 4, 7, 11, 18, 26, 36, 49, 62, 77, 92, 110, 131, 157, 198, 255},
    {0, 4, 9, 15, 22, 29, 37, 45, 53, 62, 72, 81, 91, 106, 126, 167, 255},
};

TEST(ToneCurves, PassThroughTheFixedPoints) {
  for (int c = 0; c < 6; ++c) {
    const tagGAMMACURVE &curve = *kCurves[c];
    for (int i = 0; i < 17; ++i) {
      const int input = i == 16 ? 255 : 16 * i;
      EXPECT_EQ(curve[input], kSixteenths[c][i]) << "curve " << c << " input " << input;
    }
    for (int input = 1; input <= 4; ++input) EXPECT_EQ(curve[input], 1) << "curve " << c;
  }
  for (int input = 5; input <= 21; ++input) EXPECT_EQ(gamma_curve_212L_45d[input], 2);
  const int top[16] = {198, 201, 205, 207, 211, 215, 218, 222,
                       225, 229, 233, 237, 241, 246, 250, 255};
  for (int i = 0; i < 16; ++i) EXPECT_EQ(gamma_curve_212L_45d[240 + i], top[i]);
  EXPECT_EQ(gamma_curve_gosa[128], 53);
}

TEST(ToneCurves, RiseNeverAboveTheirInput) {
  for (int c = 0; c < 6; ++c) {
    const tagGAMMACURVE &curve = *kCurves[c];
    EXPECT_EQ(curve[0], 0);
    EXPECT_EQ(curve[255], 255);
    for (int v = 1; v < 256; ++v) {
      EXPECT_GE(curve[v], curve[v - 1]) << "curve " << c << " input " << v;
      EXPECT_LE(curve[v], v) << "curve " << c << " input " << v;
    }
  }
}

TEST(ToneCurves, ChosenByMethodAndFrequency) {
  EXPECT_EQ(&band_gamma_curve(0, 38), &gamma_curve);
  EXPECT_EQ(&band_gamma_curve(0, 77), &gamma_curve);
  EXPECT_EQ(&band_gamma_curve(0, 78), &gamma_curve_85L_45d);
  EXPECT_EQ(&band_gamma_curve(0, 94), &gamma_curve_85L_45d);
  EXPECT_EQ(&band_gamma_curve(0, 95), &gamma_curve_106L_45d);
  EXPECT_EQ(&band_gamma_curve(0, 121), &gamma_curve_106L_45d);
  EXPECT_EQ(&band_gamma_curve(0, 122), &gamma_curve_141L_45d);
  EXPECT_EQ(&band_gamma_curve(0, 169), &gamma_curve_141L_45d);
  EXPECT_EQ(&band_gamma_curve(0, 170), &gamma_curve_212L_45d);
  EXPECT_EQ(&band_gamma_curve(0, 200), &gamma_curve_212L_45d);
  for (uint16_t f : {38, 100, 170, 200}) EXPECT_EQ(&band_gamma_curve(1, f), &gamma_curve_gosa);
}

TEST(ToneCurves, BandGammaTouchesOnlyTheGivenArea) {
  std::vector<uint8_t> buf(3 * 10);
  for (size_t i = 0; i < buf.size(); ++i) buf[i] = static_cast<uint8_t>(128);
  band_gamma(1, buf.data(), 6, 2, 10, 100);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 10; ++x)
      EXPECT_EQ(buf[y * 10 + x], (y < 2 && x < 6) ? 53 : 128) << x << "," << y;
  std::vector<uint8_t> before = buf;
  band_gamma(0, buf.data(), 0, 3, 10, 100);
  band_gamma(0, buf.data(), -4, 3, 10, 100);
  band_gamma(0, buf.data(), 10, 0, 10, 100);
  EXPECT_EQ(buf, before);
}

// ------------------------------------------------------------- rectangles --

TEST(Rectangles, InclusiveEdgesEitherWay) {
  const tagRECT64 r{3, 5, 10, 5};
  EXPECT_EQ(mGetRectWidth(&r), 8);
  EXPECT_EQ(mGetRectHeight(&r), 1);
  const tagRECT64 flipped{10, 9, 3, 5};
  EXPECT_EQ(mGetRectWidth(&flipped), 8);
  EXPECT_EQ(mGetRectHeight(&flipped), 5);
}

// -------------------------------------------------------------- AM screen --

bool BitSet(const std::vector<uint8_t> &bits, int rowBytes, int64_t x, int64_t y) {
  return (bits[y * rowBytes + (x >> 3)] >> (7 - (x & 7))) & 1;
}

TEST(AmStretch, MatchesThePerPixelRuleAtAnyOffset) {
  std::mt19937 rng(7);
  const int rowBytes = 8;  // 64 columns
  // Sides below and above a byte's eight pixels.
  for (int side : {7, 13})
  for (int left : {0, 3, 8, 13})
    for (int width : {1, 5, 8, 21, 43})
      for (int top : {0, 4})
        for (bool withOrigin : {false, true}) {
          std::vector<uint8_t> matrix(side * side);
          for (auto &v : matrix) v = static_cast<uint8_t>(1 + rng() % 254);
          const int height = 5;
          std::vector<uint8_t> src(width * height);
          for (auto &v : src) v = static_cast<uint8_t>(rng());
          std::vector<uint8_t> dst(rowBytes * 12);
          for (auto &v : dst) v = static_cast<uint8_t>(rng());
          const std::vector<uint8_t> before = dst;
          const int64_t origin[2] = {-5, 11};
          const tagRECT64 rect{left, top, left + width - 1, top + height - 1};
          EXPECT_EQ(mAmiStretch(src.data(), dst.data(), width, height, &rect, width, rowBytes,
                                matrix.data(), side, withOrigin ? origin : nullptr),
                    1);
          const int64_t ox = withOrigin ? origin[0] : 0, oy = withOrigin ? origin[1] : 0;
          const int end = left + width;
          for (int y = 0; y < 12; ++y)
            for (int x = 0; x < 64; ++x) {
              bool expected;
              if (y >= top && y < top + height && x >= left && x < end) {
                const int64_t my = ((y + oy) % side + side) % side;
                const int64_t mx = ((x + ox) % side + side) % side;
                expected = !(src[(y - top) * width + (x - left)] > matrix[my * side + mx]);
              } else if (y >= top && y < top + height && x >= end && x < ((end + 7) & ~7)) {
                expected = true;  // rest of the last byte: blank
              } else {
                expected = BitSet(before, rowBytes, x, y);  // untouched
              }
              ASSERT_EQ(BitSet(dst, rowBytes, x, y), expected)
                  << "x " << x << " y " << y << " left " << left << " width " << width
                  << " top " << top << " origin " << withOrigin << " side " << side;
            }
        }
}

// Only one source pixel to one bitmap pixel is drawn: a source of another
// size, or a rectangle reaching left of or above the bitmap, draws nothing
// (and binarize likewise).
TEST(AmStretch, OnlyOnePixelToOneIsDrawn) {
  const uint8_t matrix[1] = {100};
  const uint8_t src[4] = {200, 200, 200, 200};
  const tagRECT64 wider{0, 0, 5, 0}, offPage{-2, -1, 1, 0};
  for (const tagRECT64 &rect : {wider, offPage}) {
    std::vector<uint8_t> dst(2, 0x5A);
    EXPECT_EQ(mAmiStretch(src, dst.data(), 2, 2, &rect, 2, 2, matrix, 1, nullptr), 0);
    std::vector<int8_t> errors(2 * 6 + 6, 0);
    binarize(src, 2, 2, dst.data(), &rect, 2, errors.data());
    EXPECT_EQ(dst, (std::vector<uint8_t>{0x5A, 0x5A}));
    for (int8_t e : errors) EXPECT_EQ(e, 0);
  }
}

TEST(AmStretch, WhiteNeverInksAndBlackAlwaysDoes) {
  std::vector<uint8_t> matrix(26 * 26);
  for (size_t i = 0; i < matrix.size(); ++i) matrix[i] = static_cast<uint8_t>(1 + i % 254);
  for (uint8_t ink : {0, 255}) {
    std::vector<uint8_t> src(40 * 30, ink), dst(5 * 30, 0x5A);
    const tagRECT64 rect{0, 0, 39, 29};
    mAmiStretch(src.data(), dst.data(), 40, 30, &rect, 40, 5, matrix.data(), 26, nullptr);
    for (uint8_t b : dst) EXPECT_EQ(b, ink ? 0x00 : 0xFF);
  }
  const tagRECT64 empty{5, 0, 4, 0};
  std::vector<uint8_t> dst(5, 0x5A);
  const uint8_t one = 255;
  EXPECT_EQ(mAmiStretch(&one, dst.data(), 1, 1, &empty, 1, 5, matrix.data(), 26, nullptr), 1);
  for (uint8_t b : dst) EXPECT_EQ(b, 0x5A);
}

// -------------------------------------------------------- error diffusion --

struct Diffusion {
  int w, h;
  std::vector<int8_t> errors;
  explicit Diffusion(int width) : w(width), h(0), errors(2 * width + 6) {}
  const int8_t *previous() const { return errors.data(); }
};

TEST(ErrorDiffusion, OneLineByHand) {
  // 200 inks and leaves 55; 100 takes (341*55 + 512) / 1024 = 18 and stays
  // blank (-82); 50 takes (341*-82 + 512) / 1024 = -26 (toward zero), -76.
  const uint8_t src[3] = {200, 100, 50};
  Diffusion d(3);
  uint8_t dst = 0x00;
  const tagRECT64 rect{0, 0, 2, 0};
  binarize(src, 3, 1, &dst, &rect, 1, d.errors.data());
  EXPECT_EQ(dst, 0x60);  // bits 1 and 2 blank, the rest untouched
  EXPECT_EQ(d.errors[0], 0);
  EXPECT_EQ(d.errors[1], 55);
  EXPECT_EQ(d.errors[2], -82);
  EXPECT_EQ(d.errors[3], -76);
  EXPECT_EQ(d.errors[4], 0);
}

TEST(ErrorDiffusion, WhiteAndBlackLeaveNoError) {
  for (uint8_t ink : {0, 255}) {
    const int w = 20, h = 6;
    std::vector<uint8_t> src(w * h, ink), dst(3 * h, 0x5A);
    Diffusion d(w);
    const tagRECT64 rect{0, 0, w - 1, h - 1};
    binarize(src.data(), w, h, dst.data(), &rect, 3, d.errors.data());
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < 24; ++x) {
        const bool bit = (dst[y * 3 + x / 8] >> (7 - x % 8)) & 1;
        if (x < w)
          EXPECT_EQ(bit, ink == 0) << x << "," << y;
        else
          EXPECT_EQ(bit, (0x5A >> (7 - x % 8)) & 1) << "outside " << x;
      }
    for (int8_t e : d.errors) EXPECT_EQ(e, 0);
  }
}

int InkedIn(const std::vector<uint8_t> &dst, int rowBytes, int w, int h) {
  int count = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) count += !((dst[y * rowBytes + x / 8] >> (7 - x % 8)) & 1);
  return count;
}

TEST(ErrorDiffusion, MidGrayHalfInked) {
  const int w = 32, h = 16;
  std::vector<uint8_t> src(w * h, 128), dst(4 * h, 0);
  Diffusion d(w);
  const tagRECT64 rect{0, 0, w - 1, h - 1};
  binarize(src.data(), w, h, dst.data(), &rect, 4, d.errors.data());
  EXPECT_EQ(InkedIn(dst, 4, 1, 1), 1);  // v = 128 inks, error 127
  for (int aw : {1, 2, 3, 7, 32})
    for (int ah : {1, 2, 5, 16}) EXPECT_EQ(InkedIn(dst, 4, aw, ah), (aw * ah + 1) / 2) << aw << "x" << ah;
}

TEST(ErrorDiffusion, JustBelowMidGrayStartsBlank) {
  const int w = 8, h = 2;
  std::vector<uint8_t> src(w * h, 127), dst(h, 0);
  Diffusion d(w);
  const tagRECT64 rect{0, 0, w - 1, h - 1};
  binarize(src.data(), w, h, dst.data(), &rect, 1, d.errors.data());
  const auto ink = [&](int x, int y) { return !((dst[y] >> (7 - x)) & 1); };
  EXPECT_FALSE(ink(0, 0));
  EXPECT_TRUE(ink(1, 0));  // right neighbour
  EXPECT_TRUE(ink(0, 1));  // lower neighbour
}

TEST(ErrorDiffusion, ErrorRowsCarryFromCallToCall) {
  std::mt19937 rng(3);
  const int w = 29, h = 9;
  std::vector<uint8_t> src(w * h);
  for (auto &v : src) v = static_cast<uint8_t>(rng());
  std::vector<uint8_t> whole(4 * h, 0xFF), split(4 * h, 0xFF);
  Diffusion a(w), b(w);
  const tagRECT64 all{0, 0, w - 1, h - 1};
  binarize(src.data(), w, h, whole.data(), &all, 4, a.errors.data());
  const tagRECT64 first{0, 0, w - 1, 3}, second{0, 0, w - 1, h - 5};
  binarize(src.data(), w, 4, split.data(), &first, 4, b.errors.data());
  binarize(src.data() + 4 * w, w, h - 4, split.data() + 4 * 4, &second, 4, b.errors.data());
  EXPECT_EQ(whole, split);
  EXPECT_EQ(a.errors, b.errors);
}

TEST(ErrorDiffusion, RectangleInsideAByteLeavesTheOtherBits) {
  const uint8_t src[4] = {255, 255, 255, 255};
  Diffusion d(4);
  uint8_t dst = 0xFF;
  const tagRECT64 rect{3, 0, 6, 0};
  binarize(src, 4, 1, &dst, &rect, 1, d.errors.data());
  EXPECT_EQ(dst, 0xE1);  // columns 3..6 inked, 0..2 and 7 kept
}

}  // namespace

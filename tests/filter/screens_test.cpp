// SPDX-License-Identifier: Apache-2.0
// The 8x8 screens and the line conversion of the simple road.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "reference.h"
#include "tools/tools.h"

namespace {

std::vector<int> Sorted(const tagDITHER &m) {
  std::vector<int> v;
  for (const auto &row : m) v.insert(v.end(), row.begin(), row.end());
  std::sort(v.begin(), v.end());
  return v;
}

void ExpectSame(const tagDITHER &m, const ref::Matrix &printed) {
  for (int r = 0; r < 8; ++r)
    for (int c = 0; c < 8; ++c) EXPECT_EQ(m[r][c], printed[r][c]) << "row " << r << " col " << c;
}

TEST(Screens, TablesMatchThePrintedNumbers) {
  ExpectSame(g_Dither_Grh_So, ref::kCoarse);
  ExpectSame(g_Dither_Grh_Mitsu, ref::kFine);
  for (const auto &row : g_Dither_Nashi)
    for (uint8_t v : row) EXPECT_EQ(v, 128);
  for (const auto &row : g_Dither_Solid)
    for (uint8_t v : row) EXPECT_EQ(v, 255);
}

// Both screens hold every level 4, 8, ..., 252 once, with 1 in place of 0,
// so gray 0 is always inked and 64 gray steps are told apart.
TEST(Screens, CoarseAndFineHoldEachLevelOnce) {
  std::vector<int> levels{1};
  for (int v = 4; v <= 252; v += 4) levels.push_back(v);
  EXPECT_EQ(Sorted(g_Dither_Grh_So), levels);
  EXPECT_EQ(Sorted(g_Dither_Grh_Mitsu), levels);
}

// A line of `count` RGB pixels of one gray.
std::vector<uint8_t> GrayLine(int count, uint8_t gray) { return std::vector<uint8_t>(3 * count, gray); }

TEST(LineConversion, PlainThresholdInksBelow128Only) {
  uint8_t dst[2] = {};
  auto line127 = GrayLine(8, 127);
  EXPECT_EQ(ConvertLineBuffer24To01(dst, line127.data(), 8, g_Dither_Nashi, 0, 0), 1);
  EXPECT_EQ(dst[0], 0xFF);
  auto line128 = GrayLine(8, 128);
  ConvertLineBuffer24To01(dst, line128.data(), 8, g_Dither_Nashi, 0, 0);
  EXPECT_EQ(dst[0], 0x00);
}

TEST(LineConversion, GrayWeighsRedGreenBlueFiveNineTwo) {
  // (5*255 + 9*0 + 2*0) >> 4 = 79: inked; (5*0 + 9*255 + 2*0) >> 4 = 143: not.
  const uint8_t line[] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 0};
  uint8_t dst[1] = {};
  ConvertLineBuffer24To01(dst, line, 4, g_Dither_Nashi, 0, 0);
  // red 79 ink, green 143 no, blue 31 ink, yellow 223 no
  EXPECT_EQ(dst[0], 0xA0);
}

TEST(LineConversion, SolidLeavesOnlyPureWhite) {
  const uint8_t line[] = {255, 255, 255, 255, 255, 254, 254, 255, 255, 0, 0, 0};
  uint8_t dst[1] = {};
  ConvertLineBuffer24To01(dst, line, 4, g_Dither_Solid, 3, 0);
  EXPECT_EQ(dst[0], 0x70);
}

TEST(LineConversion, BlackIsInkedByEveryScreen) {
  auto black = GrayLine(64, 0);
  for (const tagDITHER *m : {&g_Dither_Nashi, &g_Dither_Grh_So, &g_Dither_Grh_Mitsu, &g_Dither_Solid}) {
    for (int row = 0; row < 8; ++row) {
      uint8_t dst[8] = {};
      ConvertLineBuffer24To01(dst, black.data(), 64, *m, row, row % 2);
      for (uint8_t b : dst) EXPECT_EQ(b, 0xFF);
    }
  }
}

TEST(LineConversion, PartialLastByteAndBytesBeyondAreUntouched) {
  auto black = GrayLine(11, 0);
  uint8_t dst[4] = {0, 0, 0xAA, 0xAA};
  EXPECT_EQ(ConvertLineBuffer24To01(dst, black.data(), 11, g_Dither_Nashi, 0, 0), 2);
  EXPECT_EQ(dst[0], 0xFF);
  EXPECT_EQ(dst[1], 0xE0);  // three pixels, low bits zero
  EXPECT_EQ(dst[2], 0xAA);
  EXPECT_EQ(dst[3], 0xAA);
  uint8_t mirrored[2] = {};
  EXPECT_EQ(ConvertLineBuffer24To01(mirrored, black.data(), 11, g_Dither_Nashi, 0, 1), 2);
  EXPECT_EQ(mirrored[1], 0xE0);
}

TEST(LineConversion, MirrorReversesThePixelCount) {
  // 13 pixels: only pixel 0 and pixel 9 black.
  std::vector<uint8_t> line = GrayLine(13, 255);
  for (int p : {0, 9}) std::fill_n(&line[3 * p], 3, 0);
  uint8_t dst[2] = {};
  ConvertLineBuffer24To01(dst, line.data(), 13, g_Dither_Nashi, 0, 1);
  // pixel 0 lands in column 12, pixel 9 in column 3.
  EXPECT_EQ(dst[0], 0x10);
  EXPECT_EQ(dst[1], 0x08);
  // Only the first 12 pixels drawn: pixel 0 -> column 11, pixel 9 -> 2.
  uint8_t dst12[2] = {};
  ConvertLineBuffer24To01(dst12, line.data(), 12, g_Dither_Nashi, 0, 1);
  EXPECT_EQ(dst12[0], 0x20);
  EXPECT_EQ(dst12[1], 0x10);
}

// The threshold follows the output column and the page row, mirror or not.
TEST(LineConversion, ScreenPositionFollowsOutputColumnAndRow) {
  for (const tagDITHER *m : {&g_Dither_Grh_So, &g_Dither_Grh_Mitsu}) {
    for (int row : {0, 5, 8, 13, 14644}) {
      for (int mirror : {0, 1}) {
        // Pixel i has gray 4 * i (i < 64): a ramp.
        std::vector<uint8_t> line(3 * 64);
        for (int i = 0; i < 64; ++i) std::fill_n(&line[3 * i], 3, static_cast<uint8_t>(4 * i));
        uint8_t dst[8] = {};
        ConvertLineBuffer24To01(dst, line.data(), 64, *m, row, mirror);
        for (int x = 0; x < 64; ++x) {
          const int gray = 4 * (mirror ? 63 - x : x);
          const bool inked = gray < (*m)[row % 8][x % 8];
          EXPECT_EQ((dst[x / 8] >> (7 - x % 8)) & 1, inked ? 1 : 0)
              << "x " << x << " row " << row << " mirror " << mirror;
        }
      }
    }
  }
}

TEST(LineConversion, ZeroPixelsWriteNothing) {
  uint8_t dst[1] = {0x5A};
  const uint8_t line[3] = {0, 0, 0};
  EXPECT_EQ(ConvertLineBuffer24To01(dst, line, 0, g_Dither_Nashi, 0, 1), 0);
  EXPECT_EQ(dst[0], 0x5A);
}

}  // namespace

// SPDX-License-Identifier: Apache-2.0
// The AM screen matrix: screen vectors, levels, cell ordering, the worked
// 150 lpi / 30 degree matrix, matrix sides, fixed screens and the whole sweep
// of frequencies and angles.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "tavik/TAVIK_AmiTbl.h"
#include "tavik/TAVIK_MacLib.h"

namespace {

struct Vector {
  int64_t m, n;
};

Vector ScreenVector(int32_t frequency, int32_t angle) {
  Vector v{-1, -1};
  m_and_n(600, frequency, angle, &v.m, &v.n);
  return v;
}

// Runs the set-up of a page's first AM band and returns the record.
struct AmScreen {
  tagDEVDATA dev{};
  int ok = 0;
  AmScreen(int32_t frequency, int32_t angle) {
    tagBANDBITMAP band = Tavik_GrayBand(nullptr);
    ok = Tavik_SetDevData(&dev, &band, 0, frequency, angle, 600);
  }
  uint8_t at(int64_t row, int64_t col) const {
    return dev.screenMatrix.get()[row * dev.screenSize + col];
  }
  std::vector<int> row(int64_t r) const {
    std::vector<int> out;
    for (int64_t c = 0; c < dev.screenSize; ++c) out.push_back(at(r, c));
    return out;
  }
};

TEST(AmScreenVector, ExamplesAt600Dpi) {
  const struct {
    int32_t f, a;
    int64_t m, n;
  } cases[] = {{85, 45, 5, 5},  {100, 15, 6, 2}, {150, 30, 3, 2},  {38, 37, 13, 10},
               {200, 0, 3, 0},  {200, 90, 0, 3}, {60, 45, 7, 7},   {70, 44, 6, 6}};
  for (const auto &c : cases) {
    const Vector v = ScreenVector(c.f, c.a);
    EXPECT_EQ(v.m, c.m) << c.f << " lpi " << c.a << " deg";
    EXPECT_EQ(v.n, c.n) << c.f << " lpi " << c.a << " deg";
  }
}

TEST(AmScreenVector, GcdAndFractions) {
  EXPECT_EQ(gcd(6, 4), 2);
  EXPECT_EQ(gcd(4, 6), 2);
  EXPECT_EQ(gcd(26, 20), 2);
  EXPECT_EQ(gcd(12, 12), 12);
  EXPECT_EQ(gcd(6, 0), 6);
  EXPECT_EQ(gcd(0, 6), 6);
  EXPECT_EQ(gcd(21, 14), 7);
  int64_t num = 0, den = 0;
  reduce_frac(42, 56, &num, &den);
  EXPECT_EQ(num, 3);
  EXPECT_EQ(den, 4);
  reduce_frac(13, 5, &num, &den);
  EXPECT_EQ(num, 13);
  EXPECT_EQ(den, 5);
}

TEST(AmCell, LevelsOfThreeTwo) {
  std::array<uint8_t, 13> levels{};
  threshold_1d(3, 2, levels.data());
  const std::array<uint8_t, 13> expected{1, 19, 37, 56, 74, 92, 111, 129, 147, 165, 184, 202, 220};
  EXPECT_EQ(levels, expected);
}

TEST(AmCell, LevelsSaturateForLargeCells) {
  std::vector<uint8_t> levels(269);
  threshold_1d(13, 10, levels.data());
  EXPECT_EQ(levels[0], 1);
  EXPECT_EQ(levels.back(), 254);
  int distinct = 1;
  for (size_t i = 1; i < levels.size(); ++i) {
    EXPECT_GE(levels[i], levels[i - 1]);
    if (levels[i] != levels[i - 1]) ++distinct;
  }
  EXPECT_EQ(distinct, 254);
}

TEST(AmCell, MembershipCountsAndTilesTheLattice) {
  for (int64_t m = 0; m <= 16; ++m)
    for (int64_t n = 0; n <= 16; ++n) {
      if (m + n == 0) continue;
      int64_t count = 0;
      for (int64_t y = 0; y <= m + n; ++y)
        for (int64_t x = 0; x <= m + n; ++x) count += in_mtx(x, y - m, m, n);
      EXPECT_EQ(count, m * m + n * n) << m << "," << n;
    }
}

TEST(AmCell, CellOfThreeTwoWithTies) {
  tagDEVDATA dev{};
  dev.customScreen = 1;
  tagAMIARRAY thresholds{}, mask{};
  cal_mtx(&dev, 3, 2, thresholds, mask);
  const int expected[6][6] = {{0, 0, 0, 0, 0, 0},       {0, 0, 147, 74, 0, 0},
                              {0, 92, 1, 19, 165, 0},   {220, 184, 37, 56, 111, 0},
                              {0, 0, 129, 202, 0, 0},   {0, 0, 0, 0, 0, 0}};
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 6; ++x) {
      EXPECT_EQ(thresholds[y][x], expected[y][x]) << "x " << x << " y " << y;
      EXPECT_EQ(mask[y][x], expected[y][x] != 0 ? 1 : 0);
    }
  // (3, 2) and (2, 3) are both at distance 1: the earlier row wins the tie.
  EXPECT_EQ(cal_dist(3, 2, 3, 2), 1);
  EXPECT_EQ(cal_dist(2, 3, 3, 2), 1);
}

TEST(AmMatrix, WorkedExample150At30) {
  AmScreen s(150, 30);
  ASSERT_EQ(s.ok, 1);
  ASSERT_EQ(s.dev.screenSize, 26);
  EXPECT_EQ(s.dev.screenMatrix.size(), 26u * 26u);
  const std::vector<int> row0{238, 193, 46, 65,  120, 151, 78,  142, 215, 92,  1,   19, 165,
                              229, 188, 41, 60,  115, 156, 83,  129, 202, 106, 1,   32, 179};
  const std::vector<int> row1{147, 74,  138, 211, 96,  1,   23,  169, 220, 184, 37,  56, 111,
                              160, 87,  133, 206, 101, 1,   28,  174, 247, 197, 51,  69, 124};
  EXPECT_EQ(s.row(0), row0);
  EXPECT_EQ(s.row(1), row1);
}

TEST(AmMatrix, SidesAtTheEdges) {
  const struct {
    int32_t f, a;
    int64_t side;
    size_t buffer;
  } cases[] = {
      {38, 37, 538, 538 * 538}, {200, 0, 6, 24 * 24}, {200, 90, 6, 24 * 24},
      {60, 45, 28, 28 * 28},    {66, 45, 24, 24 * 24}, {77, 45, 24, 24 * 24},
      {78, 45, 20, 24 * 24},    {95, 45, 16, 24 * 24}, {122, 45, 12, 24 * 24},
      {170, 45, 16, 24 * 24},   {200, 45, 16, 24 * 24}, {70, 44, 24, 24 * 24},
      {65, 45, 0, 0},
  };
  for (const auto &c : cases) {
    AmScreen s(c.f, c.a);
    ASSERT_EQ(s.ok, 1) << c.f << "/" << c.a;
    if (c.side == 0) continue;
    EXPECT_EQ(s.dev.screenSize, c.side) << c.f << " lpi " << c.a << " deg";
    EXPECT_EQ(s.dev.screenMatrix.size(), c.buffer) << c.f << " lpi " << c.a << " deg";
  }
  // 65 lpi at 45 degrees is below the fixed screens: the computed (7, 7) one.
  EXPECT_EQ(ScreenVector(65, 45).m, 7);
  AmScreen s65(65, 45);
  EXPECT_EQ(s65.dev.screenSize, 28);
}

// Rows typed from the fixed screens' tables.
TEST(AmMatrix, FixedScreensReplaceTheComputedOnes) {
  {
    AmScreen s(66, 45);  // 71-line screen: a 12 x 12 block repeated
    EXPECT_EQ(s.row(0), (std::vector<int>{253, 241, 213, 94,  38, 10, 1,  13, 41, 97, 216, 244,
                                          253, 241, 213, 94,  38, 10, 1,  13, 41, 97, 216, 244}));
    EXPECT_EQ(s.at(23, 0), 246);
    EXPECT_EQ(s.at(17, 18), 248);
    EXPECT_EQ(s.at(12, 6), 1);
    EXPECT_EQ(s.at(11, 23), 232);
  }
  {
    AmScreen s(94, 45);
    EXPECT_EQ(s.row(5), (std::vector<int>{2,  22, 48, 180, 221, 250, 235, 189, 87, 11,
                                          1,  21, 46, 179, 220, 252, 236, 190, 88, 12}));
    EXPECT_EQ(s.row(19), (std::vector<int>{230, 227, 187, 95, 18, 8, 29, 54, 166, 216,
                                           231, 229, 188, 96, 20, 9, 30, 55, 168, 215}));
  }
  {
    AmScreen s(121, 45);
    EXPECT_EQ(s.row(8), (std::vector<int>{246, 198, 54, 5, 14, 62, 206, 254, 244, 196, 52, 5,
                                          12, 60, 204, 252}));
  }
  {
    AmScreen s(122, 45);
    EXPECT_EQ(s.row(3), (std::vector<int>{6, 62, 190, 241, 199, 29, 1, 57, 185, 247, 204, 34}));
    EXPECT_EQ(s.row(11), (std::vector<int>{229, 222, 52, 24, 80, 174, 231, 225, 55, 27, 84, 172}));
  }
  {
    AmScreen s(200, 45);
    EXPECT_EQ(s.row(15), (std::vector<int>{73, 157, 189, 101, 69, 149, 181, 106, 74, 159, 191,
                                           103, 71, 151, 183, 105}));
    EXPECT_EQ(s.row(0)[0], 221);
  }
  {
    AmScreen s(70, 44);  // vector (6, 6) away from 45 degrees
    EXPECT_EQ(s.at(0, 0), 253);
    EXPECT_EQ(s.at(6, 0), 1);
  }
}

// Every frequency and angle of the job options: the tiling writes every matrix
// element exactly once, with a threshold in 1..254, and the final matrix too.
TEST(AmMatrix, EveryFrequencyAndAngleCoversTheMatrixOnce) {
  tagDEVDATA dev{};
  dev.customScreen = 1;
  std::vector<tagAMILEVEL> table(kAmiLevels);
  int failures = 0;
  for (int32_t f = 38; f <= 200 && failures < 5; ++f)
    for (int32_t a = 0; a <= 90 && failures < 5; ++a) {
      const Vector v = ScreenVector(f, a);
      ASSERT_TRUE(ami_vector_usable(v.m, v.n)) << f << "/" << a;
      EXPECT_LE(v.m + v.n, 23);
      tagAMIARRAY thresholds{}, mask{};
      cal_mtx(&dev, v.m, v.n, thresholds, mask);
      ASSERT_EQ(ami_supercell(thresholds, mask, v.m, v.n), 1);
      ASSERT_EQ(ami_split_levels(&dev, table.data(), thresholds, mask, v.m, v.n), 1);
      const int64_t side = ami_matrix_side(v.m, v.n);
      ASSERT_GT(side, 0);
      ASSERT_LE(side, 538);
      std::vector<uint8_t> matrix(static_cast<size_t>(side * side));
      std::vector<uint16_t> writes(matrix.size());
      ami_tile(thresholds, mask, v.m, v.n, matrix.data(), side, writes.data());
      for (size_t i = 0; i < matrix.size(); ++i)
        if (writes[i] != 1 || matrix[i] < 1 || matrix[i] > 254) {
          ADD_FAILURE() << f << " lpi " << a << " deg: element " << i << " written "
                        << writes[i] << " times, value " << int(matrix[i]);
          ++failures;
          break;
        }

      AmScreen s(f, a);
      ASSERT_EQ(s.ok, 1);
      const uint8_t *mx = s.dev.screenMatrix.get();
      for (int64_t i = 0; i < s.dev.screenSize * s.dev.screenSize; ++i)
        if (mx[i] < 1 || mx[i] > 254) {
          ADD_FAILURE() << f << " lpi " << a << " deg: final element " << i;
          ++failures;
          break;
        }
    }
}

TEST(AmMatrix, SplittingOfTheWorkedExample) {
  // (3, 2): 13 levels, so each is split four ways over the supercell; the
  // four copies of the level-19 pixel get 19, 19 + 3*18/4, 19 + 18/2, 19 + 18/4.
  tagDEVDATA dev{};
  dev.customScreen = 1;
  tagAMIARRAY thresholds{}, mask{};
  cal_mtx(&dev, 3, 2, thresholds, mask);
  ASSERT_EQ(ami_supercell(thresholds, mask, 3, 2), 1);
  std::vector<tagAMILEVEL> table(kAmiLevels);
  ASSERT_EQ(ami_split_levels(&dev, table.data(), thresholds, mask, 3, 2), 1);
  std::vector<int> seen;
  for (int r = 0; r < 11; ++r)
    for (int c = 0; c < 11; ++c) {
      const int v = thresholds[r][c];
      if (v >= 19 && v < 37) seen.push_back(v);
    }
  EXPECT_EQ(seen, (std::vector<int>{19, 32, 28, 23}));
  EXPECT_EQ(table[1].out[0], 1);  // the lowest level is never split
  EXPECT_EQ(table[1].out[3], 1);
}

}  // namespace

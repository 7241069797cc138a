// SPDX-License-Identifier: Apache-2.0
// The AM screen's threshold matrix: screen vector, cell ordering, supercell
// with split levels, tiling, and the fixed 45-degree screens.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "TAVIK_AmiTbl.h"
#include "TAVIK_Buffer.h"
#include "TAVIK_MacLib.h"

namespace {

// The fixed screens, rows from the top, each left to right. The 71-line screen
// is its 12 x 12 block repeated twice across and twice down.
constexpr uint8_t kCustom71Block[12][12] = {
    {253, 241, 213,  94,  38,  10,   1,  13,  41,  97, 216, 244},
    {236, 230, 195, 118,  62,  27,  17,  31,  66, 122, 199, 222},
    {208, 183, 174, 146,  83,  69,  45,  73,  87, 150, 166, 180},
    { 89, 106, 134, 164, 153, 125, 101, 129, 157, 159, 131, 103},
    { 33,  50,  78, 141, 178, 202, 220, 206, 169, 138,  75,  47},
    {  5,  22,  57, 113, 190, 234, 248, 225, 187, 110,  54,  19},
    {  1,  12,  40,  96, 215, 243, 250, 239, 211,  92,  36,   8},
    { 15,  29,  64, 120, 197, 223, 237, 229, 194, 117,  61,  26},
    { 43,  71,  85, 148, 167, 181, 209, 185, 173, 145,  82,  68},
    { 99, 127, 155, 160, 132, 104,  90, 108, 136, 162, 152, 124},
    {218, 204, 171, 139,  76,  48,  34,  52,  80, 143, 176, 201},
    {246, 227, 188, 111,  55,  20,   6,  24,  59, 115, 192, 232},
};
constexpr uint8_t Photo_Ami_Custom85L_45Deg[20][20] = {
    {253, 238, 192,  90,  13,   4,  23,  49, 182, 222, 254, 239, 193,  91,  15,   4,  25,  50, 183, 224},
    {247, 243, 171, 105,  44,  34,  39,  69, 176, 210, 245, 244, 173, 106,  45,  35,  40,  71, 178, 211},
    {160, 155, 136, 120, 100,  85,  80, 115, 128, 148, 159, 154, 137, 122, 101,  86,  81, 117, 129, 150},
    { 58,  63, 109, 146, 202, 207, 197, 138, 123,  72,  57,  62, 108, 147, 203, 208, 198, 139, 124,  73},
    {  7,  27,  53, 165, 217, 233, 225, 184,  92,  16,   6,  26,  52, 164, 219, 234, 226, 185,  94,  17},
    {  2,  22,  48, 180, 221, 250, 235, 189,  87,  11,   1,  21,  46, 179, 220, 252, 236, 190,  88,  12},
    { 32,  37,  68, 175, 213, 249, 240, 169, 103,  41,  31,  36,  67, 174, 212, 248, 241, 170, 104,  43},
    { 83,  78, 114, 132, 152, 162, 157, 133, 118,  97,  82,  77, 113, 131, 151, 161, 156, 134, 119,  99},
    {206, 196, 142, 127,  76,  60,  66, 111, 143, 199, 205, 194, 141, 125,  74,  59,  64, 110, 145, 201},
    {231, 229, 188,  96,  20,   9,  30,  55, 168, 215, 230, 227, 187,  95,  18,   8,  29,  54, 166, 216},
    {254, 239, 193,  91,  15,   4,  25,  50, 183, 224, 253, 238, 192,  90,  13,   4,  23,  49, 182, 222},
    {245, 244, 173, 106,  45,  35,  40,  71, 178, 211, 247, 243, 171, 105,  44,  34,  39,  69, 176, 210},
    {159, 154, 137, 122, 101,  86,  81, 117, 129, 150, 160, 155, 136, 120, 100,  85,  80, 115, 128, 148},
    { 57,  62, 108, 147, 203, 208, 198, 139, 124,  73,  58,  63, 109, 146, 202, 207, 197, 138, 123,  72},
    {  6,  26,  52, 164, 219, 234, 226, 185,  94,  17,   7,  27,  53, 165, 217, 233, 225, 184,  92,  16},
    {  1,  21,  46, 179, 220, 252, 236, 190,  88,  12,   2,  22,  48, 180, 221, 250, 235, 189,  87,  11},
    { 31,  36,  67, 174, 212, 248, 241, 170, 104,  43,  32,  37,  68, 175, 213, 249, 240, 169, 103,  41},
    { 82,  77, 113, 131, 151, 161, 156, 134, 119,  99,  83,  78, 114, 132, 152, 162, 157, 133, 118,  97},
    {205, 194, 141, 125,  74,  59,  64, 110, 145, 201, 206, 196, 142, 127,  76,  60,  66, 111, 143, 199},
    {230, 227, 187,  95,  18,   8,  29,  54, 166, 216, 231, 229, 188,  96,  20,   9,  30,  55, 168, 215},
};
constexpr uint8_t Photo_Ami_Custom106L_45Deg[16][16] = {
    {245, 197,  53,   5,  13,  61, 205, 253, 247, 199,  55,   7,  15,  63, 207, 254},
    {211, 181,  69,  29,  21,  77, 189, 216, 208, 183,  71,  31,  23,  79, 191, 219},
    {171, 139, 125,  85,  93, 109, 128, 160, 168, 136, 127,  87,  95, 111, 131, 163},
    { 43, 115, 155, 229, 237, 144,  96,  32,  40, 112, 152, 231, 239, 147,  99,  35},
    { 11,  59, 203, 251, 240, 192,  48,   1,   8,  56, 200, 248, 243, 195,  51,   3},
    { 19,  75, 187, 222, 214, 176,  64,  24,  16,  72, 184, 220, 212, 179,  67,  27},
    { 91, 107, 134, 166, 174, 142, 120,  80,  88, 104, 132, 164, 172, 140, 123,  83},
    {235, 150, 102,  38,  46, 118, 158, 224, 232, 148, 100,  36,  44, 116, 156, 227},
    {246, 198,  54,   5,  14,  62, 206, 254, 244, 196,  52,   5,  12,  60, 204, 252},
    {209, 182,  70,  30,  22,  78, 190, 218, 210, 180,  68,  28,  20,  76, 188, 217},
    {169, 137, 126,  86,  94, 110, 130, 162, 170, 138, 124,  84,  92, 108, 129, 161},
    { 41, 113, 153, 230, 238, 146,  98,  34,  42, 114, 154, 228, 236, 145,  97,  33},
    {  9,  57, 201, 249, 242, 194,  50,   3,  10,  58, 202, 250, 241, 193,  49,   2},
    { 17,  73, 185, 221, 213, 178,  66,  26,  18,  74, 186, 223, 215, 177,  65,  25},
    { 89, 105, 133, 165, 173, 141, 122,  82,  90, 106, 135, 167, 175, 143, 121,  81},
    {233, 149, 101,  37,  45, 117, 157, 226, 234, 151, 103,  39,  47, 119, 159, 225},
};
constexpr uint8_t Photo_Ami_Custom141L_45Deg[12][12] = {
    {250, 208,  38,   9,  66, 194, 254, 211,  41,  13,  70, 197},
    {162, 151, 123,  94, 109, 128, 156, 155, 126,  98, 112, 133},
    { 20,  77, 179, 236, 213,  43,  15,  71, 183, 240, 218,  48},
    {  6,  62, 190, 241, 199,  29,   1,  57, 185, 247, 204,  34},
    { 91, 105, 139, 167, 142, 114,  86, 100, 135, 163, 147, 119},
    {232, 224,  54,  25,  82, 171, 227, 220,  50,  22,  78, 176},
    {252, 209,  39,  11,  68, 195, 248, 206,  36,   8,  64, 192},
    {158, 153, 124,  96, 110, 132, 160, 149, 121,  93, 107, 130},
    { 16,  73, 181, 238, 217,  47,  18,  75, 178, 234, 215,  45},
    {  2,  59, 186, 245, 202,  32,   4,  61, 188, 243, 201,  31},
    { 87, 101, 137, 165, 146, 117,  89, 103, 140, 169, 144, 116},
    {229, 222,  52,  24,  80, 174, 231, 225,  55,  27,  84, 172},
};
constexpr uint8_t Photo_Ami_Custom212L_45Deg[16][16] = {
    {221,  29,  61, 253, 213,  21,  53, 245, 223,  31,  63, 254, 215,  23,  55, 247},
    {163, 125,  93, 141, 173, 117,  85, 128, 160, 127,  95, 143, 175, 119,  87, 131},
    { 35, 227, 205,  13,  45, 237, 192,   1,  32, 224, 207,  15,  47, 239, 195,   3},
    { 67, 147, 179, 109,  77, 152, 184,  96,  64, 144, 176, 111,  79, 155, 187,  99},
    {211,  19,  51, 243, 216,  24,  56, 248, 208,  16,  48, 240, 219,  27,  59, 251},
    {171, 115,  83, 134, 166, 120,  88, 136, 168, 112,  80, 132, 164, 123,  91, 139},
    { 43, 235, 198,   6,  38, 230, 200,   8,  40, 232, 196,   5,  36, 228, 203,  11},
    { 75, 158, 190, 102,  70, 150, 182, 104,  72, 156, 188, 100,  68, 148, 180, 107},
    {222,  30,  62, 254, 214,  22,  54, 246, 220,  28,  60, 252, 212,  20,  52, 244},
    {161, 126,  94, 142, 174, 118,  86, 130, 162, 124,  92, 140, 172, 116,  84, 129},
    { 33, 225, 206,  14,  46, 238, 194,   3,  34, 226, 204,  12,  44, 236, 193,   2},
    { 65, 145, 177, 110,  78, 154, 186,  98,  66, 146, 178, 108,  76, 153, 185,  97},
    {209,  17,  49, 241, 218,  26,  58, 250, 210,  18,  50, 242, 217,  25,  57, 249},
    {169, 113,  81, 133, 165, 122,  90, 138, 170, 114,  82, 135, 167, 121,  89, 137},
    { 41, 233, 197,   5,  37, 229, 202,  10,  42, 234, 199,   7,  39, 231, 201,   9},
    { 73, 157, 189, 101,  69, 149, 181, 106,  74, 159, 191, 103,  71, 151, 183, 105},
};

struct Custom71 {
  uint8_t cells[24][24];
};
constexpr Custom71 MakeCustom71() {
  Custom71 t{};
  for (int r = 0; r < 24; ++r)
    for (int c = 0; c < 24; ++c) t.cells[r][c] = kCustom71Block[r % 12][c % 12];
  return t;
}
constexpr Custom71 Photo_Ami_Custom71L_45Deg = MakeCustom71();

}  // namespace

namespace {

constexpr int64_t kMaxLevels = kAmiMaxCellSum * kAmiMaxCellSum;

int64_t sq(int64_t v) { return v * v; }

uint8_t saturate_level(int64_t v) { return static_cast<uint8_t>(v > 254 ? 254 : v); }

}  // namespace

bool ami_vector_usable(int64_t m, int64_t n) {
  return m >= 0 && n >= 0 && m + n >= 1 && m + n <= kAmiMaxCellSum;
}

// The screen period resolution / frequency in pixels, turned to the angle.
// The angle is converted with 3.1416, not the exact pi.
void m_and_n(int32_t resolution, int32_t frequency, int32_t angle, int64_t *m, int64_t *n) {
  if (frequency <= 0) {
    *m = 0;
    *n = 0;
    return;
  }
  const double rad = angle * 3.1416 / 180;
  *m = static_cast<int64_t>(std::cos(rad) * resolution / frequency + 0.5);
  *n = static_cast<int64_t>(std::sin(rad) * resolution / frequency + 0.5);
}

// 256 spread over L + 1 steps; the levels climb by them from 1, held at 254.
void threshold_1d(int64_t m, int64_t n, uint8_t *levels) {
  const int64_t count = sq(m) + sq(n);
  if (count <= 0) return;
  int64_t acc = 256;
  int64_t level = 1;
  levels[0] = 1;
  for (int64_t i = 0; i < count; ++i) {
    const int64_t step = acc / (count + 1);
    acc = acc % (count + 1) + 256;
    if (i > 0) {
      level = std::min<int64_t>(254, level + step);
      levels[i] = static_cast<uint8_t>(level);
    }
  }
}

// Half-open edges, so the cells of the screen lattice tile without overlap.
int in_mtx(int64_t x, int64_t yr, int64_t m, int64_t n) {
  return m * yr - n * x <= 0 && m * (m + yr) + n * (n - x) > 0 && m * x + n * yr >= 0 &&
         m * (x - m) + n * (yr - n) < 0;
}

int inscribed_square(int64_t x, int64_t y, int64_t m, int64_t n, int64_t *distance) {
  const int64_t s = m + n;
  const int64_t across = ((2 * x - n) * s - (m - n) * (2 * y - m)) *
                         ((2 * x - m - 2 * n) * s - (2 * y - n) * (m - n));
  const int64_t down = ((2 * x - n) * (n - m) - (2 * y - m) * s) *
                       ((n - m) * (2 * x - m) - (2 * y - 2 * m - n) * s);
  if (across > 0 || down > 0) return 0;
  const int64_t c = s / 2;
  *distance = sq(x - c) + sq(y - c);
  return 1;
}

// A round dot grows from the centre; past the inscribed square the white
// holes shrink toward the corners, the pixels farthest from any corner first.
int64_t cal_dist(int64_t x, int64_t y, int64_t m, int64_t n) {
  int64_t d = 0;
  if (inscribed_square(x, y, m, n, &d)) return d;
  const int64_t corners[4][2] = {{0, m}, {n, 0}, {m + n, n}, {m, m + n}};
  int64_t nearest = INT64_MAX;
  for (const auto &c : corners) nearest = std::min(nearest, sq(x - c[0]) + sq(y - c[1]));
  return 10000 - nearest;
}

void cal_mtx(const tagDEVDATA *, int64_t m, int64_t n, tagAMIARRAY &thresholds,
             tagAMIARRAY &mask) {
  for (auto &row : thresholds) row.fill(0);
  for (auto &row : mask) row.fill(0);
  if (!ami_vector_usable(m, n)) return;
  const int64_t box = m + n + 1;
  const int64_t count = sq(m) + sq(n);
  std::array<uint8_t, kMaxLevels + 1> levels{};
  threshold_1d(m, n, levels.data());

  std::array<std::array<bool, kAmiWork>, kAmiWork> taken{};
  std::array<std::array<int64_t, kAmiWork>, kAmiWork> dist{};
  for (int64_t y = 0; y < box; ++y)
    for (int64_t x = 0; x < box; ++x) {
      if (in_mtx(x, y - m, m, n)) {
        dist[y][x] = cal_dist(x, y, m, n);
        mask[y][x] = 1;
      } else {
        taken[y][x] = true;
      }
    }
  // Repeated minimum search; ties go to the first pixel in row-major order.
  for (int64_t i = 0; i < count; ++i) {
    int64_t best = 30000, by = -1, bx = -1;
    for (int64_t y = 0; y < box; ++y)
      for (int64_t x = 0; x < box; ++x)
        if (!taken[y][x] && dist[y][x] < best) {
          best = dist[y][x];
          by = y;
          bx = x;
        }
    if (by < 0) break;
    thresholds[by][bx] = levels[i];
    taken[by][bx] = true;
  }
}

int ami_supercell(tagAMIARRAY &thresholds, tagAMIARRAY &mask, int64_t m, int64_t n) {
  if (!ami_vector_usable(m, n)) return 0;
  const int64_t side = 2 * (m + n) + 1;
  const int64_t box = m + n + 1;
  TavikBuffer<uint8_t> block;
  if (!block.Allocate(static_cast<size_t>(side * side))) return 0;
  uint8_t *b = block.get();
  for (int64_t i = 0; i < 2; ++i)
    for (int64_t j = 0; j < 2; ++j) {
      const int64_t offRow = m - i * m + j * n;
      const int64_t offCol = i * n + j * m;
      for (int64_t y = 0; y < box; ++y)
        for (int64_t x = 0; x < box; ++x) {
          const int64_t r = offRow + y, c = offCol + x;
          if (mask[y][x] && r < side && c < side) b[r * side + c] = thresholds[y][x];
        }
    }
  for (int64_t r = 0; r < side; ++r)
    for (int64_t c = 0; c < side; ++c) {
      thresholds[r][c] = b[r * side + c];
      mask[r][c] = b[r * side + c] != 0;
    }
  return 1;
}

namespace {

// Marks the levels the supercell holds; their number.
int MarkPresentLevels(tagAMILEVEL *table, const tagAMIARRAY &thresholds, const tagAMIARRAY &mask,
                      int64_t side) {
  int present = 0;
  for (int64_t r = 0; r < side; ++r)
    for (int64_t c = 0; c < side; ++c)
      if (mask[r][c] && !table[thresholds[r][c]].present) {
        table[thresholds[r][c]].present = 1;
        ++present;
      }
  return present;
}

// The k sub-levels of present level p, whose next present level is q (256
// for none), in the order the supercell's copies of a pixel take them.
// Sub-levels are held at 254 so that full ink still meets a threshold below
// it.
void SplitLevel(uint8_t (&out)[4], int p, int q, int k) {
  out[0] = static_cast<uint8_t>(p);
  for (int t = 1; t < k; ++t) {
    if (q < kAmiLevels)
      out[t] = saturate_level(p + t * (q - p) / k);
    else
      out[t] = saturate_level(p + ((t * 100 * (256 - p)) / (10 * k) + 5) / 10);
  }
  if (k == 2) {
    out[2] = out[1];
    out[3] = out[0];
  } else {
    std::swap(out[1], out[3]);
  }
}

}  // namespace

int ami_split_levels(const tagDEVDATA *devData, tagAMILEVEL *table, tagAMIARRAY &thresholds,
                     const tagAMIARRAY &mask, int64_t m, int64_t n) {
  if (table == nullptr || !ami_vector_usable(m, n)) return 0;
  const int64_t side = 2 * (m + n) + 1;
  std::memset(table, 0, kAmiLevels * sizeof(tagAMILEVEL));
  const int present = MarkPresentLevels(table, thresholds, mask, side);
  int k = 1;
  if (present <= 127 && devData->customScreen) k = present < 64 ? 4 : 2;

  // The lowest level is not split.
  int lowest = 0;
  while (lowest < kAmiLevels && !table[lowest].present) ++lowest;
  if (lowest < kAmiLevels) {
    table[lowest].present = 0;
    std::fill(std::begin(table[lowest].out), std::end(table[lowest].out),
              static_cast<uint8_t>(lowest));
  }
  for (int p = 0; p < kAmiLevels; ++p) {
    if (!table[p].present) continue;
    int q = p + 1;
    while (q < kAmiLevels && !table[q].present) ++q;
    SplitLevel(table[p].out, p, q, k);
  }
  const uint32_t cycle = k == 2 ? 4 : static_cast<uint32_t>(k);
  for (int64_t r = 0; r < side; ++r)
    for (int64_t c = 0; c < side; ++c) {
      const uint8_t v = thresholds[r][c];
      if (v == 0) continue;
      tagAMILEVEL &e = table[v];
      thresholds[r][c] = e.out[e.counter % cycle];
      ++e.counter;
    }
  return 1;
}

int64_t ami_matrix_side(int64_t m, int64_t n) {
  const int64_t bigM = 2 * m, bigN = 2 * n;
  const int64_t g = gcd(bigM, bigN);
  return g > 0 ? (sq(bigM) + sq(bigN)) / g : 0;
}

// The supercell steps by (N, M) and (-M, N) in (row, column), the screen's
// lattice, so every matrix element is covered once.
void ami_tile(const tagAMIARRAY &thresholds, const tagAMIARRAY &mask, int64_t m, int64_t n,
              uint8_t *matrix, int64_t side, uint16_t *writes) {
  if (!ami_vector_usable(m, n) || side <= 0) return;
  const int64_t bigM = 2 * m, bigN = 2 * n;
  const int64_t norm = sq(bigM) + sq(bigN);
  const int64_t span = side * (bigM + bigN) / norm;
  const int64_t bq = side * bigM / norm;
  const int64_t box = 2 * (m + n) + 1;
  for (int64_t u = 0; u <= span + 1; ++u)
    for (int64_t v = 0; v <= span + 1; ++v) {
      const int64_t top = bq * bigM + u * bigN - v * bigM;
      const int64_t left = -(bq + 1) * bigN + u * bigM + v * bigN;
      const int64_t r0 = std::max<int64_t>(0, -top), r1 = std::min(box, side - top);
      const int64_t c0 = std::max<int64_t>(0, -left), c1 = std::min(box, side - left);
      for (int64_t r = r0; r < r1; ++r)
        for (int64_t c = c0; c < c1; ++c) {
          if (!mask[r][c]) continue;
          const int64_t at = (top + r) * side + (left + c);
          matrix[at] = thresholds[r][c];
          if (writes) ++writes[at];
        }
    }
}

tagAMIFIXED ami_fixed_screen(uint16_t frequency) {
  if (frequency >= 66 && frequency <= 77) return {&Photo_Ami_Custom71L_45Deg.cells[0][0], 24};
  if (frequency >= 78 && frequency <= 94) return {&Photo_Ami_Custom85L_45Deg[0][0], 20};
  if (frequency >= 95 && frequency <= 121) return {&Photo_Ami_Custom106L_45Deg[0][0], 16};
  if (frequency >= 122 && frequency <= 169) return {&Photo_Ami_Custom141L_45Deg[0][0], 12};
  if (frequency >= 170 && frequency <= 200) return {&Photo_Ami_Custom212L_45Deg[0][0], 16};
  return {nullptr, 0};
}

int cal_lar_mtx(const tagDEVDATA *devData, tagAMIARRAY &thresholds, std::span<uint8_t> matrix,
                int64_t m, int64_t n, int64_t *side, tagAMIARRAY &mask, int32_t resolution,
                uint16_t frequency, uint16_t angle) {
  const auto capacity = static_cast<int64_t>(matrix.size());
  if (matrix.empty() || !ami_supercell(thresholds, mask, m, n)) return 0;
  if (!ami_split_levels(devData, devData->levelTable.get(), thresholds, mask, m, n)) return 0;
  const int64_t p = ami_matrix_side(m, n);
  if (p <= 0 || p * p > capacity) return 0;
  *side = p;
  ami_tile(thresholds, mask, m, n, matrix.data(), p, nullptr);

  if ((angle == 45 || m == n) && resolution == 600 && devData->customScreen) {
    const tagAMIFIXED fixed = ami_fixed_screen(frequency);
    if (fixed.cells != nullptr) {
      if (fixed.side * fixed.side > capacity) return 0;
      std::memcpy(matrix.data(), fixed.cells, static_cast<size_t>(fixed.side * fixed.side));
      *side = fixed.side;
    }
  }
  return 1;
}

int ami_para_confirm(tagDEVDATA *devData, int32_t resolution, int32_t frequency,
                     int32_t angle, int64_t *side) {
  if (!devData->levelTable.Allocate(kAmiLevels)) return 0;
  int64_t m = 0, n = 0;
  m_and_n(resolution, frequency, angle, &m, &n);
  tagAMIARRAY thresholds{}, mask{};
  cal_mtx(devData, m, n, thresholds, mask);
  const int ok = cal_lar_mtx(devData, thresholds,
                             {devData->screenMatrix.get(), devData->screenMatrix.size()}, m, n,
                             side, mask, resolution, static_cast<uint16_t>(frequency),
                             static_cast<uint16_t>(angle));
  devData->levelTable.Release();
  return ok;
}

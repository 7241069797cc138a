// SPDX-License-Identifier: Apache-2.0
// Construction of the AM screen's threshold matrix.
#pragma once

#include <array>
#include <cstdint>
#include <span>

struct tagDEVDATA;

// Working arrays of the construction: [row][column]; only the top-left box of
// a cell or supercell is used. 100 bounds m + n to 49.
inline constexpr int kAmiWork = 100;
using tagAMIARRAY = std::array<std::array<uint8_t, kAmiWork>, kAmiWork>;

// One entry per threshold level: how the level is split over the four cells
// of a supercell. The table of 256 belongs to the device data record
// (levelTable) while its screen is built.
struct tagAMILEVEL {
  uint8_t present;
  uint8_t out[4];
  uint32_t counter;
};
inline constexpr int kAmiLevels = 256;

// Largest m + n whose supercell box, 2(m + n) + 1 wide, fits the working arrays.
inline constexpr int64_t kAmiMaxCellSum = (kAmiWork - 1) / 2;

// TAVIK_AmiTbl
int64_t gcd(int64_t a, int64_t b);
void reduce_frac(int64_t a, int64_t b, int64_t *numerator, int64_t *denominator);

// TAVIK_AmiTbl2
void m_and_n(int32_t resolution, int32_t frequency, int32_t angle, int64_t *m, int64_t *n);
// Writes the m*m + n*n levels of a cell to levels.
void threshold_1d(int64_t m, int64_t n, uint8_t *levels);
int in_mtx(int64_t x, int64_t yr, int64_t m, int64_t n);
int inscribed_square(int64_t x, int64_t y, int64_t m, int64_t n, int64_t *distance);
int64_t cal_dist(int64_t x, int64_t y, int64_t m, int64_t n);
void cal_mtx(const tagDEVDATA *devData, int64_t m, int64_t n, tagAMIARRAY &thresholds,
             tagAMIARRAY &mask);
// Supercell, level splitting (in the record's levelTable), tiling and the
// fixed screens into matrix. 0 when the record has no level table, a working
// block cannot be had or the matrix does not fit.
int cal_lar_mtx(const tagDEVDATA *devData, tagAMIARRAY &thresholds, std::span<uint8_t> matrix,
                int64_t m, int64_t n, int64_t *side, tagAMIARRAY &mask, int32_t resolution,
                uint16_t frequency, uint16_t angle);
// The whole construction into devData->screenMatrix, with a level table of
// the record's own for its duration. 1, or 0 as above.
int ami_para_confirm(tagDEVDATA *devData, int32_t resolution, int32_t frequency,
                     int32_t angle, int64_t *side);

// The stages of cal_lar_mtx, also used on their own by the checks.
// Joins four cells into the supercell box of side 2(m + n) + 1.
int ami_supercell(tagAMIARRAY &thresholds, tagAMIARRAY &mask, int64_t m, int64_t n);
// Splits each level into up to four sub-levels over the supercell's cells,
// with `levels` (kAmiLevels entries) as the working table. 0 without it.
int ami_split_levels(const tagDEVDATA *devData, tagAMILEVEL *levels, tagAMIARRAY &thresholds,
                     const tagAMIARRAY &mask, int64_t m, int64_t n);
// Tiles the supercell into the P x P matrix, P = (M^2 + N^2) / gcd(M, N).
// writes, when given, counts the writes of every matrix element.
void ami_tile(const tagAMIARRAY &thresholds, const tagAMIARRAY &mask, int64_t m, int64_t n,
              uint8_t *matrix, int64_t side, uint16_t *writes);
int64_t ami_matrix_side(int64_t m, int64_t n);
// Whether a screen vector can be built within the working arrays.
bool ami_vector_usable(int64_t m, int64_t n);

// A fixed 45-degree screen: its rows and side.
struct tagAMIFIXED {
  const uint8_t *cells;
  int64_t side;
};
// The fixed screen that replaces the computed one at this frequency, or
// cells == nullptr where the computed one stays.
tagAMIFIXED ami_fixed_screen(uint16_t frequency);

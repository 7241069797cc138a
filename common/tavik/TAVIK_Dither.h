// SPDX-License-Identifier: Apache-2.0
// Tone curves and the two binarizers of the image road: the AM screen
// (mAmiStretch) and error diffusion (binarize).
#pragma once

#include <array>
#include <cstdint>

#include "TAVIK_ImageLib.h"

using tagGAMMACURVE = std::array<uint8_t, 256>;

// The image road's method, as the diffusion flag of its functions and the
// device data's diffusionMode carry it.
inline constexpr int32_t kTavikAmScreen = 0;
inline constexpr int32_t kTavikErrorDiffusion = 1;

namespace tavik_gamma {

// The curves are fixed at every sixteenth input; columns: input, gamma_curve,
// 85L, 106L, 141L, 212L, gosa.
inline constexpr int kPinnedRows = 17;
inline constexpr uint8_t kPinned[kPinnedRows][7] = {
    {  0,   0,   0,   0,   0,   0,   0},
    { 16,   4,   5,   4,   4,   2,   4},
    { 32,  10,  12,   9,   9,   4,   9},
    { 48,  20,  20,  16,  15,   7,  15},
    { 64,  32,  30,  25,  22,  11,  22},
    { 80,  44,  42,  35,  30,  18,  29},
    { 96,  56,  55,  46,  41,  26,  37},
    {112,  71,  68,  59,  52,  36,  45},
    {128,  87,  82,  72,  65,  49,  53},
    {144, 104,  99,  88,  79,  62,  62},
    {160, 124, 118, 107,  96,  77,  72},
    {176, 147, 141, 132, 116,  92,  81},
    {192, 171, 164, 158, 142, 110,  91},
    {208, 191, 186, 181, 173, 131, 106},
    {224, 210, 208, 205, 202, 157, 126},
    {240, 233, 232, 229, 229, 198, 167},
    {255, 255, 255, 255, 255, 255, 255},
};
// Every curve gives 1 for the inputs 1 to 4.
inline constexpr int kLowRunEnd = 4;
// The finest screen's curve: 2 for the inputs 5 to 21, and its top.
inline constexpr int kFineColumn = 5;
inline constexpr int kFineFlatFrom = 5, kFineFlatTo = 21;
inline constexpr uint8_t kFineTop[16] = {198, 201, 205, 207, 211, 215, 218, 222,
                                         225, 229, 233, 237, 241, 246, 250, 255};

// Between two fixed points (x0, y0) and (x1, y1) an input x gives
// y0 + (y1 - y0)(x - x0) / (x1 - x0), rounded down: the straight line between
// them. Every fixed point lies on or below the line y = x and each curve's
// fixed points rise, so the filled curve does too.
constexpr tagGAMMACURVE MakeCurve(int column) {
  std::array<int, 256> pin{};
  pin.fill(-1);
  for (const auto &row : kPinned) pin[row[0]] = row[column];
  for (int x = 1; x <= kLowRunEnd; ++x) pin[x] = 1;
  if (column == kFineColumn) {
    for (int x = kFineFlatFrom; x <= kFineFlatTo; ++x) pin[x] = 2;
    for (int i = 0; i < 16; ++i) pin[240 + i] = kFineTop[i];
  }
  tagGAMMACURVE curve{};
  int x0 = 0;
  for (int x = 0; x < 256; ++x) {
    if (pin[x] >= 0) {
      curve[x] = static_cast<uint8_t>(pin[x]);
      x0 = x;
      continue;
    }
    int x1 = x + 1;
    while (pin[x1] < 0) ++x1;
    curve[x] = static_cast<uint8_t>(pin[x0] + (pin[x1] - pin[x0]) * (x - x0) / (x1 - x0));
  }
  return curve;
}

}  // namespace tavik_gamma

inline constexpr tagGAMMACURVE gamma_curve = tavik_gamma::MakeCurve(1);
inline constexpr tagGAMMACURVE gamma_curve_85L_45d = tavik_gamma::MakeCurve(2);
inline constexpr tagGAMMACURVE gamma_curve_106L_45d = tavik_gamma::MakeCurve(3);
inline constexpr tagGAMMACURVE gamma_curve_141L_45d = tavik_gamma::MakeCurve(4);
inline constexpr tagGAMMACURVE gamma_curve_212L_45d = tavik_gamma::MakeCurve(5);
inline constexpr tagGAMMACURVE gamma_curve_gosa = tavik_gamma::MakeCurve(6);

// The curve band_gamma applies: error diffusion has its own; the AM screen's
// depends on the frequency alone.
const tagGAMMACURVE &band_gamma_curve(int8_t diffusion, uint16_t frequency);

// Maps the first width bytes of each of lines rows through the tone curve
// of the method and frequency (band_gamma_curve).
void band_gamma(int8_t diffusion, uint8_t *buffer, int64_t width, int64_t lines,
                int32_t rowBytes, uint16_t frequency);
// The same with the curve given.
void band_curve(const tagGAMMACURVE &curve, uint8_t *buffer, int64_t width, int64_t lines,
                int32_t rowBytes);

// The largest ink value whose tone-corrected value is at most t. The curves
// never fall and curve[0] is 0, so curve[ink] <= t exactly when
// ink <= ami_ink_threshold(curve, t): an AM matrix mapped through it screens
// uncorrected ink values as the matrix screens corrected ones.
uint8_t ami_ink_threshold(const tagGAMMACURVE &curve, uint8_t t);

// Entries after each row of an ink matrix, continuing the row periodically,
// so that a vector of thresholds can be loaded from any column.
inline constexpr int64_t kAmiRowPad = 64;
inline constexpr int64_t ami_ink_matrix_pitch(int64_t side) { return side + kAmiRowPad; }

// Maps the side x side matrix through ami_ink_threshold into `out`, which
// holds side rows of ami_ink_matrix_pitch(side) bytes.
void ami_ink_matrix(const uint8_t *matrix, int64_t side, const tagGAMMACURVE &curve, uint8_t *out);

// The AM screen of ink values not yet tone-corrected, against an ink matrix
// (ami_ink_matrix), for a band whose rows are one to one with the rectangle
// (page coordinates, left and top not negative). Only the first inkWidth
// columns of each source row may hold ink; the bits right of them come out
// blank without being compared. Writes the same bits as band_gamma followed
// by mAmiStretch with the unmapped matrix.
void mAmiStretchInk(const uint8_t *src, int32_t srcRowBytes, int64_t inkWidth, uint8_t *dst,
                    int32_t dstRowBytes, const tagRECT64 *rect, const uint8_t *inkMatrix,
                    int64_t side);

// Thresholds the source against the matrix into the 1-bit destination (bit 0 =
// ink): pixel (x, y) of rect (destination coordinates, top-left of the whole
// bitmap at dst) is inked when its source value exceeds the matrix entry at
// (x mod side, y mod side); origin, when given, is added to the position
// first. Bits left of the rectangle keep their content, those right of it in
// its last byte become blank. The source is drawn one pixel to one pixel:
// result 1, or 0 (nothing drawn) for a source of another size than the
// rectangle or a rectangle reaching left of or above the bitmap.
int mAmiStretch(const uint8_t *src, uint8_t *dst, int64_t srcWidth, int64_t srcHeight,
                const tagRECT64 *rect, int32_t srcRowBytes, int32_t dstRowBytes,
                const uint8_t *matrix, uint16_t matrixSide, const int64_t *origin);

// Error diffusion into the 1-bit destination (bit 0 = ink); dst is the row of
// the rectangle's row 0. errors holds the two error rows (2W + 6 bytes) and
// carries them from call to call. Lines from top to bottom, each from left to
// right: a pixel's value less the weighted errors of its upper, left and two
// upper diagonal neighbours (DiffusedError) inks it from 128 on. The source
// is taken one pixel to one pixel; a source of another size than the
// rectangle, or a rectangle reaching left of or above the bitmap, draws
// nothing. Bits outside the rectangle keep their content.
// inkWidth, when not negative, promises that every source column from it on
// holds 0 (a page narrower than the band). The error still flows there and
// back, but where a line's errors right of it settle into those of the line
// before, the rest of the line is known without computing it.
// curve, when given, maps each source value first (band_gamma's work, done
// on the way).
void binarize(const uint8_t *src, int64_t srcWidth, int64_t srcHeight, uint8_t *dst,
              const tagRECT64 *rect, int32_t dstRowBytes, int8_t *errors,
              int64_t inkWidth = -1, const tagGAMMACURVE *curve = nullptr);

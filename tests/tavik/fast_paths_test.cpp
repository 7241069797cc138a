// The image road's fast paths against plain per-pixel references kept here,
// on every instruction set this processor has (the plain code included):
// ink conversion, the AM screen through the mapped matrix, error diffusion
// in vector groups and with the settled white margin skipped.
#include <gtest/gtest.h>
#include <hwy/targets.h>

#include <algorithm>
#include <random>
#include <vector>

#include "tavik/TAVIK_Dither.h"
#include "tavik/TAVIK_MacLib.h"
#include "tavik_reference.h"
#include "tools/vector_kernels.h"

namespace {

using namespace tavik_test;

// ------------------------------------------------------------ references --

uint8_t RefInk(const uint8_t *p) {
  return static_cast<uint8_t>(255 - ((2449 * p[0] + 4805 * p[1] + 938 * p[2]) >> 13));
}

// Error diffusion as the design states it, one pixel at a time, into bits of
// rows `rowBytes` apart with rectangle column 0 at bit `left`.
struct RefDiffusion {
  int w;
  std::vector<int> prev, cur;
  explicit RefDiffusion(int width) : w(width), prev(width + 2, 0), cur(width + 2, 0) {}
  void Run(const uint8_t *src, int h, uint8_t *dst, int rowBytes, int left) {
    for (int y = 0; y < h; ++y) {
      for (int i = 0; i < w; ++i) {
        const int e = (341 * (prev[i + 1] + cur[i]) + 171 * (prev[i] + prev[i + 2]) + 512) / 1024;
        const int v = src[y * w + i] - e;
        const bool ink = v >= 128;
        cur[i + 1] = ink ? 255 - v : -v;
        const int x = left + i;
        uint8_t &b = dst[y * rowBytes + x / 8];
        const uint8_t bit = static_cast<uint8_t>(0x80 >> (x % 8));
        b = ink ? static_cast<uint8_t>(b & ~bit) : static_cast<uint8_t>(b | bit);
      }
      prev = cur;
    }
  }
};

// ------------------------------------------------------------- tone curve --

TEST(ToneCurveTrick, MappedThresholdsDecideAsCorrectedInk) {
  for (const tagGAMMACURVE *curve : {&gamma_curve, &gamma_curve_85L_45d, &gamma_curve_106L_45d,
                                     &gamma_curve_141L_45d, &gamma_curve_212L_45d, &gamma_curve_gosa}) {
    for (int t = 0; t < 256; ++t) {
      const int mapped = ami_ink_threshold(*curve, static_cast<uint8_t>(t));
      for (int ink = 0; ink < 256; ++ink) {
        ASSERT_EQ((*curve)[ink] > t, ink > mapped) << "threshold " << t << " ink " << ink;
      }
    }
  }
}

// ---------------------------------------------------------- per target --

class FastPaths : public testing::TestWithParam<int64_t> {
 protected:
  void SetUp() override { hwy::SetSupportedTargetsForTest(GetParam()); }
  void TearDown() override { hwy::SetSupportedTargetsForTest(0); }
  std::mt19937 rng{static_cast<uint32_t>(GetParam() & 0xFFFF) + 99};

  std::vector<int> Widths(int most) {
    std::vector<int> widths;
    for (int w = 1; w <= 64; ++w) widths.push_back(w);
    for (int i = 0; i < 12; ++i) widths.push_back(65 + static_cast<int>(rng() % (most - 64)));
    widths.push_back(most);
    return widths;
  }
  // Ink values in [0, ink) of each row, 0 beyond, with white runs and small
  // values where the diffusion leaves persistent errors.
  std::vector<uint8_t> Band(int w, int h, int ink, bool plain = false) {
    std::vector<uint8_t> band(static_cast<size_t>(w) * h, 0);
    for (int y = 0; y < h; ++y) {
      const int kind = plain ? 0 : static_cast<int>(rng() % 4);
      for (int x = 0; x < ink; ++x) {
        uint8_t v = static_cast<uint8_t>(rng());
        if (kind == 1) v = static_cast<uint8_t>(v % 3);
        if (kind == 2 && (x / 7) % 2) v = 0;
        band[static_cast<size_t>(y) * w + x] = v;
      }
    }
    return band;
  }
};

TEST_P(FastPaths, InkConversionMatchesThePlainFormula) {
  for (int width : Widths(12500)) {
    // Lines as long as their pixels, shorter than the drawn width (down to
    // a cut pixel) and longer.
    for (int bytes : {3 * width, std::max(1, 3 * width - 3 * (width / 3) - 1), 3 * width + 5}) {
      std::vector<uint8_t> line(static_cast<size_t>(bytes));
      for (auto &b : line) b = static_cast<uint8_t>(rng());
      for (int mirror : {0, 1}) {
        std::vector<uint8_t> row(static_cast<size_t>(width) + 4, 0);
        Tavik_ConvertLine(row.data(), line.data(), bytes, width, mirror);
        for (int x = 0; x < width; ++x) {
          const int source = mirror ? width - 1 - x : x;
          uint8_t expected = 0;
          if (3 * source + 3 <= bytes) {
            expected = RefInk(&line[3 * static_cast<size_t>(source)]);
          } else if (3 * source < bytes) {
            uint8_t px[3] = {255, 255, 255};
            std::copy(line.begin() + 3 * source, line.end(), px);
            expected = RefInk(px);
          }
          ASSERT_EQ(row[x], expected) << "width " << width << " bytes " << bytes << " mirror "
                                      << mirror << " x " << x;
        }
        for (int x = width; x < width + 4; ++x) ASSERT_EQ(row[x], 0);
      }
    }
  }
}

// Screen parameters: one frequency in every fixed-screen band at 45 degrees,
// the edges of the bands, and computed screens over the angles.
const std::pair<int, int> kScreens[] = {
    {66, 45},  {77, 45},  {78, 45},  {94, 45},  {95, 45},  {121, 45}, {122, 45}, {169, 45},
    {170, 45}, {200, 45}, {70, 44},  {38, 37},  {150, 30}, {200, 0},  {200, 90}, {60, 45},
    {100, 15}, {133, 75}, {45, 60},  {175, 22}, {110, 8},  {85, 52}};

TEST_P(FastPaths, AmBandsMatchCorrectionThenScreen) {
  TavikBuffer<uint8_t> gray;
  ASSERT_TRUE(gray.Allocate(kTavikBandBufferSize));
  std::vector<uint8_t> page(static_cast<size_t>(kRow) * kH);
  for (auto &b : page) b = static_cast<uint8_t>(rng());
  for (const auto &[f, a] : kScreens) {
    tagDEVDATA dev = ScreenFor(f, a);
    ASSERT_FALSE(dev.inkMatrix.empty());
    const int64_t side = dev.screenSize;
    const tagGAMMACURVE &curve = band_gamma_curve(0, static_cast<uint16_t>(f));
    for (int trial = 0; trial < 3; ++trial) {
      const int w = trial == 0 ? 1 + static_cast<int>(rng() % 64) : 1 + static_cast<int>(rng() % kW);
      const int lines = 1 + static_cast<int>(rng() % 40);
      const int top = static_cast<int>(rng() % (kH - lines));
      tagBANDBITMAP band = Tavik_GrayBand(gray.get());
      band.bandTop = top;
      band.curBandLines = lines;
      band.bandNumber = 2;
      const tagBANDBITMAP pageBand = Tavik_PageBand(page.data());
      const std::vector<uint8_t> ink = Band(w, lines, w);
      for (int y = 0; y < lines; ++y)
        std::copy_n(&ink[static_cast<size_t>(y) * w], w, gray.get() + static_cast<size_t>(y) * kW);
      const std::vector<uint8_t> before = page;
      Tavik_ProcessBand(&dev, &band, &pageBand);
      const size_t bandStart = static_cast<size_t>(top) * kRow, bandEnd = bandStart + static_cast<size_t>(lines) * kRow;
      ASSERT_TRUE(std::equal(page.begin(), page.begin() + bandStart, before.begin()));
      ASSERT_TRUE(std::equal(page.begin() + bandEnd, page.end(), before.begin() + bandEnd));
      for (int y = top; y < top + lines; ++y) {
        for (int xb = 0; xb < kRow; ++xb) {
          uint8_t expected = 0;
          for (int bit = 0; bit < 8; ++bit) {
            const int x = 8 * xb + bit;
            const uint8_t v = x < w ? curve[ink[static_cast<size_t>(y - top) * w + x]] : 0;
            const bool inked = v > dev.screenMatrix.get()[(y % side) * side + x % side];
            if (!inked) expected |= static_cast<uint8_t>(0x80 >> bit);
          }
          ASSERT_EQ(page[static_cast<size_t>(y) * kRow + xb], expected)
              << f << "/" << a << " width " << w << " row " << y << " byte " << xb;
        }
      }
      ASSERT_TRUE(std::all_of(gray.get(), gray.get() + kTavikBandBufferSize, [](uint8_t b) { return b == 0; }))
          << "band not cleared";
    }
  }
}

// binarize over random bands and widths, split into calls at random, with
// and without the promise of a white margin, with and without the tone curve
// on the way, bit for bit and error for error.
TEST_P(FastPaths, ErrorDiffusionMatchesThePlainStep) {
  std::vector<int> widths = Widths(2000);
  // Tall narrow pages in a wide band, where the margin's errors settle; on
  // 4000, plain noise drives the errors' front right by about a column a
  // line, past what a group of lines takes as settled; on 3000, the front of
  // the rounding's persistent errors leaves the page's edge far behind.
  for (int w : {600, 2000, 2001, 4000, 3000}) widths.push_back(-w);
  for (int entry : widths) {
    const int w = std::abs(entry);
    const int h = entry == -3000 ? 1600 : entry < 0 ? 420 : 1 + static_cast<int>(rng() % 64);
    const int left = static_cast<int>(rng() % 11);
    const int rowBytes = (left + w + 7) / 8 + 1;
    // The ink reaches the full width, half of it or a few columns.
    const int ink = entry == -4000 ? 600
                    : entry < 0    ? 1 + static_cast<int>(rng() % 300)
                                   : std::vector<int>{w, w / 2, std::min(w, 3)}[rng() % 3];
    const bool promise = rng() % 2;
    // The tone curve applied on the way, or already applied.
    const tagGAMMACURVE *curve = rng() % 2 ? &gamma_curve_gosa : nullptr;
    const std::vector<uint8_t> src = Band(w, h, ink, entry == -4000);
    std::vector<uint8_t> corrected = src;
    if (curve)
      for (auto &v : corrected) v = (*curve)[v];
    std::vector<uint8_t> fast(static_cast<size_t>(rowBytes) * h), slow;
    for (auto &b : fast) b = static_cast<uint8_t>(rng());
    slow = fast;
    std::vector<int8_t> errors(2 * static_cast<size_t>(w) + 6, 0);
    RefDiffusion ref(w);
    int y = 0;
    while (y < h) {
      const int part = entry <= -3000 ? h : std::min(h - y, 1 + static_cast<int>(rng() % 40));
      const tagRECT64 rect{left, 0, left + w - 1, part - 1};
      binarize(&src[static_cast<size_t>(y) * w], w, part, &fast[static_cast<size_t>(y) * rowBytes], &rect,
               rowBytes, errors.data(), promise ? ink : -1, curve);
      ref.Run(&corrected[static_cast<size_t>(y) * w], part, &slow[static_cast<size_t>(y) * rowBytes], rowBytes, left);
      y += part;
      for (int i = 0; i < w + 2; ++i) {
        ASSERT_EQ(errors[i], ref.prev[i]) << "width " << w << " after row " << y << " entry " << i;
        ASSERT_EQ(errors[w + 2 + i], ref.cur[i]) << "width " << w << " after row " << y;
      }
    }
    ASSERT_EQ(fast, slow) << "width " << w << " height " << h << " left " << left << " ink " << ink
                          << " promise " << promise;
  }
}

INSTANTIATE_TEST_SUITE_P(EachInstructionSet, FastPaths,
                         testing::ValuesIn(hwy::SupportedAndGeneratedTargets()),
                         [](const testing::TestParamInfo<int64_t> &info) {
                           return std::string(hwy::TargetName(info.param));
                         });

}  // namespace

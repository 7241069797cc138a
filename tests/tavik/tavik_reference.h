// SPDX-License-Identifier: Apache-2.0
// Whole-page computations of the image road for the tests: what the bands
// must add up to when the page is taken in one piece.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "filter_support.h"
#include "tavik/TAVIK_Dither.h"
#include "tavik/TAVIK_MacLib.h"

namespace tavik_test {

using PixelFn = std::function<vtest::RGB(uint32_t, uint32_t)>;

constexpr int kW = 9920, kH = 14645, kRow = 1240;

inline uint8_t InkOfRgb(vtest::RGB c) {
  return static_cast<uint8_t>(255 - ((2449 * c.r + 4805 * c.g + 938 * c.b) >> 13));
}

// Whole-page computations of what the bands must add up to.
struct Reference {
  int width, height;
  std::vector<uint8_t> ink;  // kW x height, gamma applied, 0 beyond width
  Reference(int w, int h, const PixelFn &pixel,
            const tagGAMMACURVE &curve)
      : width(w), height(h), ink(static_cast<size_t>(kW) * h, 0) {
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) ink[y * kW + x] = curve[InkOfRgb(pixel(x, y))];
  }
  bool Am(const tagDEVDATA &dev, int x, int y) const {
    const int64_t s = dev.screenSize;
    return ink[y * kW + x] > dev.screenMatrix.get()[(y % s) * s + x % s];
  }
  // Error diffusion of the whole page in one pass, over the full band width.
  std::vector<bool> Diffused() const {
    std::vector<bool> out(static_cast<size_t>(kW) * height);
    std::vector<int> up(kW + 2, 0), cur(kW + 2, 0);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < kW; ++x) {
        const int e = (341 * (up[x + 1] + cur[x]) + 171 * (up[x] + up[x + 2]) + 512) / 1024;
        const int v = ink[y * kW + x] - e;
        out[y * kW + x] = v >= 128;
        cur[x + 1] = v >= 128 ? 255 - v : -v;
      }
      up = cur;
    }
    return out;
  }
};

inline tagDEVDATA ScreenFor(int32_t frequency, int32_t angle) {
  tagDEVDATA dev{};
  tagBANDBITMAP band = Tavik_GrayBand(nullptr);
  EXPECT_EQ(Tavik_SetDevData(&dev, &band, 0, frequency, angle, 600), 1);
  return dev;
}

// A pattern with every ink level and sharp edges, crossing two band borders.
inline vtest::RGB Pattern(uint32_t x, uint32_t y) {
  const uint8_t g = static_cast<uint8_t>((x * 7 + y * 3) ^ (y / 5));
  return {g, static_cast<uint8_t>(g / 2 + x), static_cast<uint8_t>(255 - g)};
}


}  // namespace tavik_test

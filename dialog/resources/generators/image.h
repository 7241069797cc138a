// SPDX-License-Identifier: Apache-2.0
// Small in-memory pictures and the simple file formats the dialog's
// resources use: BMP (24-bit and 1-bit), ICO (32-bit) and binary PPM.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vres {

struct Rgb {
  uint8_t r, g, b;
  friend bool operator==(const Rgb &, const Rgb &) = default;
};

inline constexpr Rgb kWhite{255, 255, 255};
inline constexpr Rgb kBlack{0, 0, 0};

// Top row first, left pixel first.
struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<Rgb> pixels;

  RgbImage() = default;
  RgbImage(int w, int h, Rgb fill = kWhite) : width(w), height(h), pixels(size_t(w) * h, fill) {}
  Rgb &at(int x, int y) { return pixels[size_t(y) * width + x]; }
  const Rgb &at(int x, int y) const { return pixels[size_t(y) * width + x]; }
  bool contains(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
  void set(int x, int y, Rgb c) {
    if (contains(x, y)) at(x, y) = c;
  }
};

// Pixels with an alpha channel, for the icon.
struct RgbaImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgba;  // 4 bytes per pixel, straight alpha
};

using Bytes = std::vector<uint8_t>;

// 24-bit BMP, bottom-up rows padded to 4 bytes.
Bytes EncodeBmp24(const RgbImage &image);
// 1-bit BMP with a black (index 0) and white (index 1) palette; pixels must be
// pure black or white.
Bytes EncodeBmp1(const RgbImage &image);
// Reads the BMP kinds above (either row order). Nothing for anything else or
// for damaged data.
std::optional<RgbImage> DecodeBmp(std::span<const uint8_t> bytes);

// One 32-bit image in an ICO container, with its AND mask.
Bytes EncodeIco(const RgbaImage &image);
// Reads back what EncodeIco writes (the first image of the file).
std::optional<RgbaImage> DecodeIco(std::span<const uint8_t> bytes);

// Binary PPM (P6, maxval 255).
Bytes EncodePpm(const RgbImage &image);
std::optional<RgbImage> DecodePpm(std::span<const uint8_t> bytes);

std::optional<Bytes> ReadFile(const std::string &path);
bool WriteFile(const std::string &path, std::span<const uint8_t> bytes);

}  // namespace vres

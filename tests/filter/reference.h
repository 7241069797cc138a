// A slow, plain model of what the filter must write, built from the rules of
// the command stream and the simple screens, pixel by pixel, independent of
// the filter's own code. Tests compare the filter's bytes against it.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace ref {

using Matrix = uint8_t[8][8];

// The screens as printed for the product, rows 0 to 7.
inline constexpr Matrix kCoarse = {
    {104, 88, 96, 120, 148, 164, 156, 132}, {32, 24, 16, 72, 220, 228, 236, 180},
    {40, 1, 8, 80, 212, 252, 244, 172},     {64, 48, 56, 112, 188, 204, 196, 140},
    {144, 160, 152, 128, 108, 92, 100, 124}, {216, 224, 232, 176, 36, 28, 20, 76},
    {208, 248, 240, 168, 44, 4, 12, 84},    {184, 200, 192, 136, 68, 52, 60, 116},
};
inline constexpr Matrix kFine = {
    {64, 128, 96, 160, 72, 136, 104, 168}, {192, 1, 224, 32, 200, 8, 232, 40},
    {112, 176, 80, 144, 120, 184, 88, 152}, {240, 48, 208, 16, 248, 56, 216, 24},
    {76, 140, 108, 172, 68, 132, 100, 164}, {204, 12, 236, 44, 196, 4, 228, 36},
    {124, 188, 92, 156, 116, 180, 84, 148}, {252, 60, 220, 28, 244, 52, 212, 20},
};

// Threshold of screening code 0, 1, 2 or 5 at page row y, output column x.
int Threshold(int code, uint32_t y, uint32_t x);

struct Rgb {
  uint8_t r, g, b;
};
using Pixel = std::function<Rgb(uint32_t x, uint32_t y)>;

// One page as the filter must print it.
struct Page {
  int32_t width = 0;   // as the size command announces it
  int32_t height = 0;
  std::vector<uint8_t> bitmap;  // `height` rows of 1240 bytes, 1 = ink

  bool Inked(int32_t x, int32_t y) const {
    return (bitmap[static_cast<size_t>(y) * 1240 + x / 8] >> (7 - x % 8)) & 1;
  }
};

// Renders a raster page of rasterWidth x rasterHeight RGB pixels with a
// simple screen, mirrored or not.
Page Render(uint32_t rasterWidth, uint32_t rasterHeight, const Pixel &pixel, int code, bool mirror);

struct Settings {
  int density = 0, length = 0, speed = 0, repeat = 0, enhance = 0, overlap = 0;
};

// 25-byte job header record.
std::vector<uint8_t> JobHeader(const Settings &s);
// Initialisation, size, lane blocks, page end.
std::vector<uint8_t> PageCommands(const Page &page);
// A whole job: header then pages; empty when there are no pages.
std::vector<uint8_t> Job(const Settings &s, const std::vector<Page> &pages);

}  // namespace ref

namespace ref {
// One raster line of `count` RGB pixels through a simple screen: the
// (count + 7) / 8 bytes of page row `row`, pixel by pixel.
std::vector<uint8_t> ConvertLine(const uint8_t *rgb, int count, int code, uint32_t row, bool mirror);
}  // namespace ref

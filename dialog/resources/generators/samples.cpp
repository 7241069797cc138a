// SPDX-License-Identifier: Apache-2.0
#include "samples.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

namespace vres {
namespace {

struct Glyph {
  char c;
  std::array<uint8_t, 7> rows;  // 5 dots a row, 0x10 the leftmost
};

constexpr Glyph kFont[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'A', {0x0E, 0x11, 0x11, 0x11, 0x1F, 0x11, 0x11}}, {'B', {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}},
    {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}}, {'D', {0x1C, 0x12, 0x11, 0x11, 0x11, 0x12, 0x1C}},
    {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}}, {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}},
    {'G', {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}}, {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}}, {'J', {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C}},
    {'K', {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}}, {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}},
    {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}}, {'N', {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11}},
    {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}},
    {'Q', {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D}}, {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}},
    {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}}, {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
    {'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}},
    {'W', {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A}}, {'X', {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}},
    {'Y', {0x11, 0x11, 0x11, 0x0A, 0x04, 0x04, 0x04}}, {'Z', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}},
    {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}}, {'+', {0x00, 0x04, 0x04, 0x1F, 0x04, 0x04, 0x00}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}}, {'%', {0x18, 0x19, 0x02, 0x04, 0x08, 0x13, 0x03}},
    {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}}, {'/', {0x00, 0x01, 0x02, 0x04, 0x08, 0x10, 0x00}},
    {' ', {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
};

const Glyph *FindGlyph(char c) {
  for (const Glyph &g : kFont)
    if (g.c == c) return &g;
  return nullptr;
}

double Clamp01(double v) { return std::clamp(v, 0.0, 1.0); }

Rgb Mix(Rgb a, Rgb b, double t) {
  t = Clamp01(t);
  auto m = [t](uint8_t p, uint8_t q) { return uint8_t(std::lround(p + (q - p) * t)); };
  return Rgb{m(a.r, b.r), m(a.g, b.g), m(a.b, b.b)};
}

Rgb Scale(Rgb c, double f) {
  auto s = [f](uint8_t v) { return uint8_t(std::lround(std::clamp(v * f, 0.0, 255.0))); };
  return Rgb{s(c.r), s(c.g), s(c.b)};
}

// Colour of the lit ball at a point of its disc (dx, dy in radii).
Rgb BallShade(double dx, double dy) {
  const double dz = std::sqrt(std::max(0.0, 1.0 - dx * dx - dy * dy));
  const double lx = -0.48, ly = -0.6, lz = 0.64;  // light from the upper left
  const double diffuse = std::max(0.0, dx * lx + dy * ly + dz * lz);
  const double highlight = std::pow(std::max(0.0, 2 * diffuse * dz - lz), 24.0);
  const Rgb lit = Scale(Rgb{225, 95, 40}, 0.22 + 0.85 * diffuse);
  return Mix(lit, kWhite, 0.7 * highlight);
}

}  // namespace

std::string GuideOptions(const tagGUIDEPICTURE &picture) {
  return std::string("TKMirror=TKMirrorOFF TKDotScreening=") + (picture.screening ? picture.screening : "");
}

RgbaImage DrawArrow(int size) {
  // Shaft and head in units of the icon's size; 4 x 4 samples a pixel give
  // the edges a soft alpha.
  const double s = size;
  const double shaftHalf = 0.12 * s, shaftTop = 0.08 * s, headTop = 0.48 * s, tip = 0.94 * s;
  const double headHalf = 0.40 * s, centre = 0.5 * s;
  auto inside = [&](double x, double y) {
    if (y >= shaftTop && y < headTop && std::abs(x - centre) <= shaftHalf) return true;
    if (y < headTop || y > tip) return false;
    return std::abs(x - centre) <= headHalf * (tip - y) / (tip - headTop);
  };
  RgbaImage image{size, size, std::vector<uint8_t>(size_t(size) * size * 4, 0)};
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      int hits = 0;
      for (int sy = 0; sy < 4; ++sy)
        for (int sx = 0; sx < 4; ++sx) hits += inside(x + (sx + 0.5) / 4, y + (sy + 0.5) / 4);
      uint8_t *p = &image.rgba[(size_t(y) * size + x) * 4];
      p[0] = 40;
      p[1] = 96;
      p[2] = 176;
      p[3] = uint8_t(hits * 255 / 16);
    }
  return image;
}

RgbImage DrawPhotoSample(int width, int height) {
  RgbImage image(width, height);
  const double horizon = 0.52 * height;
  const double ballX = 0.64 * width, ballR = 0.17 * height;
  const double groundY = 0.78 * height;  // where the ball rests
  const double ballY = groundY - ballR;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const double hillTop = horizon - 7 * std::sin(x * 0.045 + 0.6) - 4;
      const double meadowTop = 0.64 * height + 3 * std::sin(x * 0.07 + 2.0);
      Rgb c = Mix(Rgb{64, 112, 196}, Rgb{214, 228, 246}, y / horizon);
      if (y >= hillTop) c = Mix(Rgb{126, 150, 150}, Rgb{92, 128, 104}, (y - hillTop) / (0.2 * height));
      if (y >= meadowTop) {
        c = Mix(Rgb{150, 196, 92}, Rgb{44, 92, 36}, (y - meadowTop) / (height - meadowTop));
        // Soft shadow of the ball on the meadow.
        const double sx = (x - ballX - 5) / (1.3 * ballR), sy = (y - groundY) / (0.28 * ballR);
        const double d = sx * sx + sy * sy;
        if (d < 1.0) c = Scale(c, 0.55 + 0.45 * d);
      }
      const double dx = (x + 0.5 - ballX) / ballR, dy = (y + 0.5 - ballY) / ballR;
      const double edge = Clamp01((1.0 - std::sqrt(dx * dx + dy * dy)) * ballR + 0.5);
      if (edge > 0) c = Mix(c, BallShade(std::clamp(dx, -1.0, 1.0), std::clamp(dy, -1.0, 1.0)), edge);
      image.at(x, y) = c;
    }
  return image;
}

void FillRect(RgbImage &image, int x, int y, int w, int h, Rgb colour) {
  const int x0 = std::max(x, 0), y0 = std::max(y, 0);
  const int x1 = std::min(x + w, image.width), y1 = std::min(y + h, image.height);
  for (int yy = y0; yy < y1; ++yy)
    for (int xx = x0; xx < x1; ++xx) image.at(xx, yy) = colour;
}

void DrawText(RgbImage &image, int x, int y, int scale, std::string_view text, Rgb colour) {
  for (char c : text) {
    if (const Glyph *g = FindGlyph(c))
      for (int row = 0; row < 7; ++row)
        for (int col = 0; col < 5; ++col)
          if (g->rows[row] & (0x10 >> col)) FillRect(image, x + col * scale, y + row * scale, scale, scale, colour);
    x += 6 * scale;
  }
}

int TextWidth(std::string_view text, int scale) {
  return text.empty() ? 0 : int(text.size()) * 6 * scale - scale;
}

void DrawLine(RgbImage &image, double x0, double y0, double x1, double y1, double width, Rgb colour) {
  const double half = width / 2;
  const int left = int(std::floor(std::min(x0, x1) - half)), right = int(std::ceil(std::max(x0, x1) + half));
  const int top = int(std::floor(std::min(y0, y1) - half)), bottom = int(std::ceil(std::max(y0, y1) + half));
  const double dx = x1 - x0, dy = y1 - y0, len2 = dx * dx + dy * dy;
  for (int y = std::max(top, 0); y <= std::min(bottom, image.height - 1); ++y)
    for (int x = std::max(left, 0); x <= std::min(right, image.width - 1); ++x) {
      const double px = x + 0.5 - x0, py = y + 0.5 - y0;
      const double t = len2 > 0 ? std::clamp((px * dx + py * dy) / len2, 0.0, 1.0) : 0.0;
      const double ex = px - t * dx, ey = py - t * dy;
      if (ex * ex + ey * ey <= half * half) image.at(x, y) = colour;
    }
}

namespace {

constexpr Rgb kInk = kBlack;
constexpr int kMargin = 60;

void DrawFrame(RgbImage &image, int thickness) {
  FillRect(image, 0, 0, image.width, thickness, kInk);
  FillRect(image, 0, image.height - thickness, image.width, thickness, kInk);
  FillRect(image, 0, 0, thickness, image.height, kInk);
  FillRect(image, image.width - thickness, 0, thickness, image.height, kInk);
}

void DrawTitle(RgbImage &image, std::string_view title) { DrawText(image, kMargin, kMargin, 8, title, kInk); }

Rgb GrayOfPercent(int percent) {
  const auto v = uint8_t(std::lround(255.0 * (100 - percent) / 100.0));
  return Rgb{v, v, v};
}

void DrawDensityChart(RgbImage &image) {
  DrawTitle(image, "KT50 TEST A  DENSITY");
  for (int i = 0; i < kRampSteps; ++i) {
    const Rect r = RampPatchRect(i);
    FillRect(image, r.x, r.y, r.w, r.h, GrayOfPercent(RampPatchPercent(i)));
    const std::string label = std::to_string(RampPatchPercent(i)) + "%";
    DrawText(image, r.x + (r.w - TextWidth(label, 6)) / 2, r.y + r.h + 40, 6, label, kInk);
    // Thin outline so the light patches can be found on the sheet.
    FillRect(image, r.x - 4, r.y - 4, r.w + 8, 2, kInk);
    FillRect(image, r.x - 4, r.y + r.h + 2, r.w + 8, 2, kInk);
  }
  // A continuous ramp below the patches, white to black.
  const Rect first = RampPatchRect(0), last = RampPatchRect(kRampSteps - 1);
  const int x0 = first.x, x1 = last.x + last.w, y0 = first.y + first.h + 160;
  for (int x = x0; x < x1; ++x) {
    const auto v = uint8_t(std::lround(255.0 * (x1 - 1 - x) / (x1 - 1 - x0)));
    FillRect(image, x, y0, 1, 500, Rgb{v, v, v});
  }
  DrawText(image, x0, y0 + 540, 6, "0%", kInk);
  DrawText(image, x1 - TextWidth("100%", 6), y0 + 540, 6, "100%", kInk);
}

// Groups of ten lines of 1 to 4 pixels, vertical and horizontal, with gaps
// as wide as the lines.
void DrawLineGroups(RgbImage &image, int x, int y) {
  for (int w = 1; w <= 4; ++w) {
    const int gx = x + (w - 1) * 200;
    DrawText(image, gx, y, 4, std::to_string(w), kInk);
    for (int i = 0; i < 10; ++i) FillRect(image, gx + i * 2 * w, y + 50, w, 300, kInk);
    const int gy = y + 420 + (w - 1) * 110;
    DrawText(image, x + 860, gy, 4, std::to_string(w), kInk);
    for (int i = 0; i < 10; ++i) FillRect(image, x, gy + i * 2 * w, 800, w, kInk);
  }
}

// One-pixel lines from a common point every 7.5 degrees, and rings.
void DrawFanAndRings(RgbImage &image, int cx, int cy) {
  constexpr double kPi = 3.14159265358979323846;
  for (int i = 0; i <= 12; ++i) {
    const double a = i * 7.5 * kPi / 180;
    DrawLine(image, cx, cy, cx + 700 * std::cos(a), cy - 700 * std::sin(a), 1.0, kInk);
  }
  for (int r = 60; r <= 300; r += 30)
    for (int step = 0; step < 4 * r * 8; ++step) {
      const double a = step * kPi / (4 * r * 4);
      image.set(cx + 1100 + int(std::lround(r * std::cos(a))), cy - 320 + int(std::lround(r * std::sin(a))), kInk);
    }
}

void DrawSmallText(RgbImage &image, int x, int y) {
  for (int scale = 1; scale <= 4; ++scale) {
    const int ty = y + (scale - 1) * (scale + 2) * 14;
    DrawText(image, x, ty, 4, std::to_string(scale) + ":", kInk);
    DrawText(image, x + 80, ty, scale, "VANTREX KT50 0123456789 ABCDEFGHIJKLMNOPQRSTUVWXYZ +-./%", kInk);
  }
}

// One- and two-pixel checkerboards.
void DrawCheckers(RgbImage &image, int x, int y) {
  for (int cell = 1; cell <= 2; ++cell) {
    const int ox = x + (cell - 1) * 360;
    for (int yy = 0; yy < 300; ++yy)
      for (int xx = 0; xx < 300; ++xx)
        if (((xx / cell) + (yy / cell)) % 2 == 0) image.set(ox + xx, y + yy, kInk);
  }
}

void DrawLinesChart(RgbImage &image) {
  DrawTitle(image, "KT50 TEST B  FINE LINES");
  DrawLineGroups(image, 160, 260);
  DrawFanAndRings(image, 1300, 1060);
  DrawCheckers(image, 2560, 1300);
  DrawSmallText(image, 160, 1300);
}

constexpr int kLaneWidth = 2480;

// A ruler across one join: ticks every 4 pixels, long ones every 20, and two
// one-pixel lines on the last and first column of the meeting lanes.
void DrawJoin(RgbImage &image, int join) {
  const int top = 300, bottom = image.height - 300;
  FillRect(image, join - 1, top, 1, bottom - top, kInk);
  FillRect(image, join, top, 1, bottom - top, kInk);
  for (int dx = -120; dx <= 120; dx += 4) {
    const int len = dx % 20 == 0 ? 120 : 50;
    FillRect(image, join + dx, top - 10 - len, 1, len, kInk);
    FillRect(image, join + dx, bottom + 10, 1, len, kInk);
  }
  DrawLine(image, join - 300, top + 100, join + 300, top + 700, 2.0, kInk);
  DrawLine(image, join - 300, top + 700, join + 300, top + 100, 2.0, kInk);
}

void DrawLaneChart(RgbImage &image) {
  DrawTitle(image, "KT50 TEST C  LANE JOINS");
  // The filter mirrors the page by default, so chart lane i from the left is
  // printed as lane 4 - i: label each lane with the number it prints as.
  for (int lane = 0; lane < 4; ++lane) {
    const std::string label = "LANE " + std::to_string(4 - lane);
    DrawText(image, lane * kLaneWidth + (kLaneWidth - TextWidth(label, 10)) / 2, image.height / 2 - 35, 10,
             label, kInk);
  }
  for (int join = kLaneWidth; join < image.width; join += kLaneWidth) DrawJoin(image, join);
  // Lines across the whole page, 1, 2 and 4 pixels thick.
  int y = image.height - 120;
  for (int w : {1, 2, 4}) {
    FillRect(image, 0, y, image.width, w, kInk);
    y += 40;
  }
}

}  // namespace

int RampPatchPercent(int index) { return index * 100 / (kRampSteps - 1); }

Rect RampPatchRect(int index) { return Rect{160 + index * 290, 300, 260, 600}; }

const tagTESTCHART *FindTestChart(char id) {
  for (const tagTESTCHART &c : g_TestCharts)
    if (c.id == id) return &c;
  return nullptr;
}

RgbImage DrawTestChart(const tagTESTCHART &chart) {
  RgbImage image(chart.width, chart.height);
  DrawFrame(image, 4);
  if (chart.id == 'A') DrawDensityChart(image);
  if (chart.id == 'B') DrawLinesChart(image);
  if (chart.id == 'C') DrawLaneChart(image);
  return image;
}

}  // namespace vres

// SPDX-License-Identifier: Apache-2.0
// The pictures we draw ourselves: the photo-like sample of the dot screening
// guide and the test charts behind the stored test jobs A, B and C.
#pragma once

#include <string>
#include <string_view>

#include "image.h"

namespace vres {

// Size of every guide picture, before and after.
inline constexpr int kGuideWidth = 120;
inline constexpr int kGuideHeight = 90;

// The guide pictures: the two unscreened samples, and each sample as the
// filter prints it in the screening mode that the panel shows it for.
enum class GuideSample { Text, Photo };
struct tagGUIDEPICTURE {
  const char *name;       // file name without ".bmp"
  GuideSample sample;
  const char *screening;  // choice name given to the filter; nullptr: unscreened
};

inline constexpr tagGUIDEPICTURE g_GuidePictures[] = {
    {"V5_OrgTxt", GuideSample::Text, nullptr},
    {"peli_OrgPht", GuideSample::Photo, nullptr},
    // mode 0, plain threshold at 128
    {"Text_nichi_128", GuideSample::Text, "TKScreeningNone"},
    {"Gazou_nichi_128", GuideSample::Photo, "TKScreeningNone"},
    // modes 1 to 3 share one pair; the coarse 8x8 screen shows best at this size
    {"V5_C_An_MonoColor", GuideSample::Text, "TKScreeningRough"},
    {"A_1color", GuideSample::Photo, "TKScreeningRough"},
    // mode 4, error diffusion
    {"V5_C_Gn_MonoColor", GuideSample::Text, "TKScreeningErrorDiffusion"},
    {"G_1color", GuideSample::Photo, "TKScreeningErrorDiffusion"},
};

// Job options for a guide picture: its screening, mirror off so the picture
// reads the right way round.
std::string GuideOptions(const tagGUIDEPICTURE &picture);

// The arrow between the before- and after-pictures, pointing down, on a
// transparent square; the panel turns its view by 90 degrees.
inline constexpr int kArrowSize = 32;
RgbaImage DrawArrow(int size);

// A small landscape: sky gradient, distant hill, meadow, and a shaded ball
// with its soft shadow. Smooth tones everywhere, so screening shows.
RgbImage DrawPhotoSample(int width, int height);

// Our 5 x 7 bitmap font (digits, capitals, a few signs), each dot drawn as a
// scale x scale square; glyphs are 6 dots apart.
void DrawText(RgbImage &image, int x, int y, int scale, std::string_view text, Rgb colour);
int TextWidth(std::string_view text, int scale);

void FillRect(RgbImage &image, int x, int y, int w, int h, Rgb colour);
// A straight line of the given width in pixels between two points.
void DrawLine(RgbImage &image, double x0, double y0, double x1, double y1, double width, Rgb colour);

// What a test job is made of: its chart and the job options it is rendered with.
struct tagTESTCHART {
  char id;
  int width;
  int height;
  const char *options;  // job options given to the filter
};

// A: density ramp rendered with the fine screen; B: fine lines and small text
// marks; C: marks at the three joins of a full-width page. Everything else
// is the filter's defaults, as for an ordinary job.
inline constexpr tagTESTCHART g_TestCharts[] = {
    {'A', 3480, 2400, "TKDotScreening=TKScreeningFine"},
    {'B', 3480, 2400, ""},
    {'C', 9920, 1600, ""},
};

const tagTESTCHART *FindTestChart(char id);
RgbImage DrawTestChart(const tagTESTCHART &chart);

// The gray level the filter gives a raster pixel, 0 black to 255 white.
constexpr int FilterGray(Rgb c) { return (5 * c.r + 9 * c.g + 2 * c.b) >> 4; }

// The patches of chart A, left to right: ink coverage in percent.
inline constexpr int kRampSteps = 11;
int RampPatchPercent(int index);
// Rectangle of patch i of chart A (x, y, width, height).
struct Rect {
  int x, y, w, h;
};
Rect RampPatchRect(int index);

}  // namespace vres

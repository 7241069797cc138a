// SPDX-License-Identifier: Apache-2.0
// The guide pictures and the arrow as the build writes them into the bundle.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

#include "ImagePanelModel.h"
#include "image.h"
#include "samples.h"

namespace {

using namespace vres;

const std::string kResourceDir = VANTREX_PDE_RESOURCE_DIR;

RgbImage Load(const std::string &name) {
  const auto bytes = ReadFile(kResourceDir + "/" + name + ".bmp");
  if (!bytes) {
    ADD_FAILURE() << name << ".bmp missing";
    return {};
  }
  auto image = DecodeBmp(*bytes);
  if (!image) {
    ADD_FAILURE() << name << ".bmp does not decode";
    return {};
  }
  return *image;
}

const tagGUIDEPICTURE &Picture(std::string_view name) {
  for (const tagGUIDEPICTURE &p : g_GuidePictures)
    if (p.name == name) return p;
  throw std::runtime_error("no picture " + std::string(name));
}

bool Ink(const RgbImage &image, int x, int y) { return image.at(x, y) == kBlack; }

double Coverage(const RgbImage &image, int x0, int y0, int x1, int y1) {
  int ink = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) ink += Ink(image, x, y);
  return double(ink) / ((x1 - x0) * (y1 - y0));
}

TEST(GuidePictures, EveryPictureThePanelShowsIsInTheBundle) {
  std::set<std::string> named;
  for (int mode = 0; mode <= 5; ++mode)
    for (const ImagePanel::GuidePicture &p : ImagePanel::guidePictures(mode))
      if (!p.empty()) named.insert(std::string(p.name) + "." + p.type);
  EXPECT_EQ(named.size(), 9u);
  for (const std::string &file : named)
    EXPECT_TRUE(std::filesystem::is_regular_file(kResourceDir + "/" + file)) << file;
  for (const tagGUIDEPICTURE &p : g_GuidePictures) EXPECT_TRUE(named.count(std::string(p.name) + ".bmp")) << p.name;
}

TEST(GuidePictures, AllHaveThePanelSize) {
  for (const tagGUIDEPICTURE &p : g_GuidePictures) {
    const RgbImage image = Load(p.name);
    EXPECT_EQ(image.width, kGuideWidth) << p.name;
    EXPECT_EQ(image.height, kGuideHeight) << p.name;
  }
}

TEST(GuidePictures, BeforePicturesAreUnscreenedSamples) {
  for (const char *name : {"V5_OrgTxt", "peli_OrgPht"}) {
    const RgbImage image = Load(name);
    std::set<int> grays;
    for (const Rgb &c : image.pixels) grays.insert(FilterGray(c));
    EXPECT_GT(grays.size(), 40u) << name << " has too few tones to be a sample";
  }
  const RgbImage photo = Load("peli_OrgPht");
  const RgbImage drawn = DrawPhotoSample(kGuideWidth, kGuideHeight);
  EXPECT_EQ(photo.pixels, drawn.pixels);
}

TEST(GuidePictures, AfterPicturesAreOnlyBlackAndWhiteWithBoth) {
  for (const tagGUIDEPICTURE &p : g_GuidePictures) {
    if (!p.screening) continue;
    const RgbImage image = Load(p.name);
    size_t ink = 0;
    for (const Rgb &c : image.pixels) {
      ASSERT_TRUE(c == kBlack || c == kWhite) << p.name;
      ink += c == kBlack;
    }
    EXPECT_GT(ink, image.pixels.size() / 50) << p.name << " is nearly blank";
    EXPECT_LT(ink, image.pixels.size() * 9 / 10) << p.name << " is nearly all ink";
  }
}

TEST(GuidePictures, ThresholdPicturesInkExactlyTheGraysBelowTheMiddle) {
  for (const auto &[before, after] : {std::pair{"V5_OrgTxt", "Text_nichi_128"}, std::pair{"peli_OrgPht", "Gazou_nichi_128"}}) {
    const RgbImage source = Load(before), printed = Load(after);
    ASSERT_EQ(source.pixels.size(), printed.pixels.size());
    int wrong = 0;
    for (int y = 0; y < source.height; ++y)
      for (int x = 0; x < source.width; ++x) wrong += Ink(printed, x, y) != (FilterGray(source.at(x, y)) < 128);
    EXPECT_EQ(wrong, 0) << after << " does not read the right way round, or is not the plain threshold";
  }
}

TEST(GuidePictures, ModesMakeDifferentPicturesOfTheSameSample) {
  for (const auto &names : {std::vector<const char *>{"Text_nichi_128", "V5_C_An_MonoColor", "V5_C_Gn_MonoColor"},
                            std::vector<const char *>{"Gazou_nichi_128", "A_1color", "G_1color"}})
    for (size_t i = 0; i < names.size(); ++i)
      for (size_t j = i + 1; j < names.size(); ++j)
        EXPECT_NE(Load(names[i]).pixels, Load(names[j]).pixels) << names[i] << " and " << names[j];
}

TEST(GuidePictures, ScreensBreakSmoothTonesIntoDots) {
  // The sky of the photo is a smooth mid-light gradient: the plain threshold
  // leaves it one tone, the screens make a pattern of both.
  const int x0 = 0, y0 = 14, x1 = 60, y1 = 30;
  EXPECT_TRUE(Coverage(Load("Gazou_nichi_128"), x0, y0, x1, y1) == 0.0 ||
              Coverage(Load("Gazou_nichi_128"), x0, y0, x1, y1) == 1.0);
  for (const char *name : {"A_1color", "G_1color"}) {
    const double c = Coverage(Load(name), x0, y0, x1, y1);
    EXPECT_GT(c, 0.02) << name;
    EXPECT_LT(c, 0.98) << name;
  }
}

TEST(GuidePictures, PureBlackStaysInkedInEveryMode) {
  const RgbImage text = Load("V5_OrgTxt");
  int black = 0;
  for (const char *name : {"Text_nichi_128", "V5_C_An_MonoColor", "V5_C_Gn_MonoColor"}) {
    const RgbImage printed = Load(name);
    for (int y = 0; y < text.height; ++y)
      for (int x = 0; x < text.width; ++x)
        if (FilterGray(text.at(x, y)) == 0) {
          ++black;
          EXPECT_TRUE(Ink(printed, x, y)) << name << " at " << x << "," << y;
        }
  }
  EXPECT_GT(black, 0) << "the text sample has no pure black";
  // The dot screen's threshold never inks pure white either.
  const RgbImage screened = Load("V5_C_An_MonoColor");
  for (int y = 0; y < text.height; ++y)
    for (int x = 0; x < text.width; ++x)
      if (text.at(x, y) == kWhite) {
        EXPECT_FALSE(Ink(screened, x, y)) << x << "," << y;
      }
}

TEST(GuidePictures, OptionsTurnMirrorOffAndNameTheMode) {
  EXPECT_EQ(GuideOptions(Picture("A_1color")), "TKMirror=TKMirrorOFF TKDotScreening=TKScreeningRough");
  EXPECT_EQ(GuideOptions(Picture("G_1color")), "TKMirror=TKMirrorOFF TKDotScreening=TKScreeningErrorDiffusion");
}

TEST(ArrowIcon, IsADownArrowOnATransparentSquare) {
  const auto bytes = ReadFile(kResourceDir + "/YAJIRUSHI.ico");
  ASSERT_TRUE(bytes);
  const auto icon = DecodeIco(*bytes);
  ASSERT_TRUE(icon);
  ASSERT_EQ(icon->width, kArrowSize);
  ASSERT_EQ(icon->height, kArrowSize);
  auto opaque = [&](int x, int y) { return icon->rgba[(size_t(y) * icon->width + x) * 4 + 3] >= 128; };
  std::vector<int> widths(icon->height, 0);
  for (int y = 0; y < icon->height; ++y)
    for (int x = 0; x < icon->width; ++x) {
      widths[y] += opaque(x, y);
      EXPECT_EQ(opaque(x, y), opaque(icon->width - 1 - x, y)) << "not symmetric at " << x << "," << y;
    }
  const auto widest = std::max_element(widths.begin(), widths.end()) - widths.begin();
  int last = icon->height - 1;
  while (last > 0 && widths[last] == 0) --last;
  EXPECT_GT(widest, icon->height / 3) << "the head is not below the shaft";
  EXPECT_GE(last, icon->height * 3 / 4) << "the tip does not reach the bottom";
  EXPECT_LE(widths[last], 4) << "the lowest row is not a tip";
  EXPECT_GT(widths[widest], 2 * widths[icon->height / 4]) << "the head is not wider than the shaft";
  EXPECT_EQ(widths[0], 0) << "no transparent margin";
}

}  // namespace

// SPDX-License-Identifier: Apache-2.0
// The dot screening panel's model: enabling rule, guide pictures, popup
// width, the three settings written and the summary.
#include <gtest/gtest.h>

#include <cstring>

#include "ImagePanelModel.h"
#include "TestPpd.h"
#include "cmnFilter.h"

using namespace dialog_model_test;
using ImagePanel::GuideView;

namespace {

class ImagePanelTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_NE(ppd.get(), nullptr);
    ASSERT_TRUE(initPanelSettings(ppd.get(), s));
  }
  std::string stored(const char *keyword) const {
    return settings.getValue(fullSettingsKey(keyword)).value_or("<absent>");
  }
  void save(const ImagePanel::TypedTexts *typed = nullptr) {
    ImagePanel::writeNonPPDSettingsToPrintSettings(s, &settings, typed);
  }
  TestPpd ppd;
  PanelSettings s;
  MemoryPrintSettings settings;
};

std::string name(const ImagePanel::GuidePictures &p, GuideView v) {
  const auto &pic = p[static_cast<int>(v)];
  return pic.empty() ? "" : std::string(pic.name) + "." + pic.type;
}

}  // namespace

TEST(EnablingRule, OnlyFrequencyAndAngleMode) {
  for (int mode = -1; mode <= 6; ++mode) {
    EXPECT_EQ(ImagePanel::frequencyAngleEnabled(mode), mode == 3) << mode;
  }
}

TEST(GuidePictures, BeforePairAndArrowForModesZeroToFour) {
  for (int mode = 0; mode <= 4; ++mode) {
    const auto p = ImagePanel::guidePictures(mode);
    EXPECT_EQ(name(p, GuideView::SrcText), "V5_OrgTxt.bmp") << mode;
    EXPECT_EQ(name(p, GuideView::SrcImage), "peli_OrgPht.bmp") << mode;
    EXPECT_EQ(name(p, GuideView::SrcToDstArrow), "YAJIRUSHI.ico") << mode;
  }
}

TEST(GuidePictures, AfterPairPerMode) {
  auto p = ImagePanel::guidePictures(0);
  EXPECT_EQ(name(p, GuideView::DstText), "Text_nichi_128.bmp");
  EXPECT_EQ(name(p, GuideView::DstImage), "Gazou_nichi_128.bmp");
  for (int mode = 1; mode <= 3; ++mode) {
    p = ImagePanel::guidePictures(mode);
    EXPECT_EQ(name(p, GuideView::DstText), "V5_C_An_MonoColor.bmp") << mode;
    EXPECT_EQ(name(p, GuideView::DstImage), "A_1color.bmp") << mode;
  }
  p = ImagePanel::guidePictures(4);
  EXPECT_EQ(name(p, GuideView::DstText), "V5_C_Gn_MonoColor.bmp");
  EXPECT_EQ(name(p, GuideView::DstImage), "G_1color.bmp");
}

TEST(GuidePictures, SolidAndUnknownModesShowNothing) {
  for (int mode : {5, -1, 6, 1000}) {
    const auto p = ImagePanel::guidePictures(mode);
    for (const auto &pic : p) EXPECT_TRUE(pic.empty()) << mode;
  }
  // Leaving solid fills the views again.
  EXPECT_FALSE(ImagePanel::guidePictures(2)[0].empty());
}

TEST(PopupWidth, FactorTimesLaidOutWidth) {
  EXPECT_DOUBLE_EQ(ImagePanel::popupWidth(200.0, "1.5"), 300.0);
  EXPECT_DOUBLE_EQ(ImagePanel::popupWidth(200.0, "0.8"), 160.0);
  EXPECT_DOUBLE_EQ(ImagePanel::popupWidth(200.0, " 1"), 200.0);
  EXPECT_DOUBLE_EQ(ImagePanel::popupWidth(120.0, "1.25x"), 150.0);
}

TEST(PopupWidth, FactorThatIsNotPositiveKeepsTheWidth) {
  for (const char *factor : {"TKDotScreeningWidthAdjustValue", "", "0", "0.0", "-1.5", "abc",
                             "nan", "inf", "1e999"}) {
    EXPECT_DOUBLE_EQ(ImagePanel::popupWidth(200.0, factor), 200.0) << factor;
  }
}

TEST_F(ImagePanelTest, SavingTheDefaults) {
  save();
  const std::vector<std::string> expected = {fullSettingsKey("TKDotScreening"),
                                             fullSettingsKey("TKDotScreeningFrequency"),
                                             fullSettingsKey("TKDotScreeningAngle")};
  EXPECT_EQ(settings.writeLog(), expected);
  EXPECT_EQ(stored(kDotScreening), "TKScreeningNone");
  EXPECT_EQ(stored(kDotScreeningFrequency), "+038");
  EXPECT_EQ(stored(kDotScreeningAngle), "+37");
}

TEST_F(ImagePanelTest, TypedFrequencyInRangeOnly) {
  ImagePanel::TypedTexts typed{"200", "37"};
  save(&typed);
  EXPECT_EQ(stored(kDotScreeningFrequency), "+200");
  typed.frequency = "201";
  save(&typed);
  EXPECT_EQ(stored(kDotScreeningFrequency), "+200");
  typed.frequency = "38";
  save(&typed);
  EXPECT_EQ(stored(kDotScreeningFrequency), "+038");
  typed.frequency = "37";
  save(&typed);
  EXPECT_EQ(stored(kDotScreeningFrequency), "+038");
}

TEST_F(ImagePanelTest, TypedAngleInRangeOnly) {
  ImagePanel::TypedTexts typed{"38", "0"};
  save(&typed);
  EXPECT_EQ(stored(kDotScreeningAngle), "+00");
  typed.angle = "90";
  save(&typed);
  EXPECT_EQ(stored(kDotScreeningAngle), "+90");
  typed.angle = "91";
  save(&typed);
  EXPECT_EQ(stored(kDotScreeningAngle), "+90");
  typed.angle = "-1";
  save(&typed);
  EXPECT_EQ(stored(kDotScreeningAngle), "+90");
}

TEST_F(ImagePanelTest, OtherModesStillWriteFrequencyAndAngle) {
  ImagePanel::setFrequencyFromSlider(s, 120);
  ImagePanel::setAngleFromSlider(s, 45);
  ImagePanel::setMode(s, 4);
  EXPECT_FALSE(ImagePanel::frequencyAngleEnabled(s.nDotScreeningChoice));
  save();
  EXPECT_EQ(stored(kDotScreening), "TKScreeningErrorDiffusion");
  EXPECT_EQ(stored(kDotScreeningFrequency), "+120");
  EXPECT_EQ(stored(kDotScreeningAngle), "+45");
}

TEST_F(ImagePanelTest, SliderStoresAtOnce) {
  EXPECT_EQ(ImagePanel::setFrequencyFromSlider(s, 120), "120");
  EXPECT_EQ(s.nDotScreeningFrequencyChoice, 120);
  EXPECT_EQ(ImagePanel::setAngleFromSlider(s, 0), "0");
  EXPECT_EQ(s.nDotScreeningAngleChoice, 0);
}

TEST_F(ImagePanelTest, ModeOutsideTheChoicesIsIgnored) {
  ImagePanel::setMode(s, 3);
  ImagePanel::setMode(s, -1);
  ImagePanel::setMode(s, 6);
  EXPECT_EQ(s.nDotScreeningChoice, 3);
  EXPECT_EQ(ImagePanel::modeItems(s).size(), 6u);
  EXPECT_EQ(ImagePanel::modeItems(s)[3].keyword, "TKScreeningFrequencyAngle");
}

TEST_F(ImagePanelTest, ModeOptionWithoutChoicesWritesNoMode) {
  ppd_option_t *screening = s.optionDotScreening;
  const int saved = screening->num_choices;
  screening->num_choices = 0;
  EXPECT_TRUE(ImagePanel::modeItems(s).empty());
  ImagePanel::setMode(s, -1);  // the empty popup has no selection
  save();
  EXPECT_EQ(settings.values().count(fullSettingsKey(kDotScreening)), 0u);
  EXPECT_EQ(stored(kDotScreeningFrequency), "+038");
  const SummaryEntries entries = ImagePanel::summary(s);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].value, "");
  screening->num_choices = saved;
}

TEST_F(ImagePanelTest, NoPrintSettingsNothingTakenOrWritten) {
  ImagePanel::TypedTexts typed{"120", "45"};
  ImagePanel::writeNonPPDSettingsToPrintSettings(s, nullptr, &typed);
  EXPECT_EQ(s.nDotScreeningFrequencyChoice, 38);
  EXPECT_EQ(s.nDotScreeningAngleChoice, 37);
}

TEST_F(ImagePanelTest, SummaryInEveryMode) {
  const char *texts[] = {"None", "Rough", "Fine", "Frequency and Angle", "Error Diffusion",
                         "Solid"};
  s.nDotScreeningFrequencyChoice = 120;
  s.nDotScreeningAngleChoice = 45;
  for (int mode = 0; mode < 6; ++mode) {
    SCOPED_TRACE(mode);
    ImagePanel::setMode(s, mode);
    const SummaryEntries entries = ImagePanel::summary(s);
    ASSERT_EQ(entries.size(), mode == 3 ? 3u : 1u);
    EXPECT_EQ(entries[0].titleKey, "TKDotScreening");
    EXPECT_EQ(entries[0].value, texts[mode]);
    if (mode == 3) {
      EXPECT_EQ(entries[1].titleKey, "TKDotScreeningFrequency");
      EXPECT_EQ(entries[1].value, "120 lpi");
      EXPECT_EQ(entries[2].titleKey, "TKDotScreeningAngle");
      EXPECT_EQ(entries[2].value, "45 deg");
    }
  }
}

TEST(ImagePanelDefaults, ModeFromThePpdDefault) {
  auto options = kt50Options();
  optionNamed(options, "TKDotScreening").defaultChoice = "TKScreeningFrequencyAngle";
  TestPpd ppd(options);
  PanelSettings s;
  ASSERT_TRUE(initPanelSettings(ppd.get(), s));
  EXPECT_EQ(s.nDotScreeningChoice, 3);
  MemoryPrintSettings settings;
  ImagePanel::writeNonPPDSettingsToPrintSettings(s, &settings, nullptr);
  EXPECT_EQ(settings.getValue(fullSettingsKey(kDotScreening)).value_or(""),
            "TKScreeningFrequencyAngle");
}

// SPDX-License-Identifier: Apache-2.0
// The main settings panel's model: menus, sliders, typed values at save,
// the seven settings written, the mirror guide and the summary.
#include <gtest/gtest.h>

#include "FirstPanelModel.h"
#include "TestPpd.h"
#include "cmnFilter.h"

using namespace dialog_model_test;

namespace {

class FirstPanelTest : public ::testing::Test {
protected:
  explicit FirstPanelTest(std::vector<TestOption> options = kt50Options()) : ppd(options) {}
  void SetUp() override {
    ASSERT_NE(ppd.get(), nullptr);
    ASSERT_TRUE(initPanelSettings(ppd.get(), s));
  }
  std::string stored(const char *keyword) const {
    return settings.getValue(fullSettingsKey(keyword)).value_or("<absent>");
  }
  void save(const FirstPanel::TypedTexts *typed = nullptr) {
    FirstPanel::writeNonPPDSettingsToPrintSettings(s, &settings, typed);
  }
  TestPpd ppd;
  PanelSettings s;
  MemoryPrintSettings settings;
};

}  // namespace

TEST_F(FirstPanelTest, SavingTheDefaultsWritesSevenKeysInOrder) {
  save();
  const std::vector<std::string> expected = {
      fullSettingsKey("TKWriteDensity"), fullSettingsKey("TKAdjustLength"),
      fullSettingsKey("TKWriteSpeed"),   fullSettingsKey("TKWriteRepeat"),
      fullSettingsKey("TKLineEnhance"),  fullSettingsKey("TKLaneOverlap"),
      fullSettingsKey("TKMirror"),
  };
  EXPECT_EQ(settings.writeLog(), expected);
  EXPECT_EQ(stored(kWriteDensity), "+00");
  EXPECT_EQ(stored(kAdjustLength), "+000");
  EXPECT_EQ(stored(kWriteSpeed), "0");
  EXPECT_EQ(stored(kWriteRepeat), "0");
  EXPECT_EQ(stored(kLineEnhance), "TKEnhanceNone");
  EXPECT_EQ(stored(kLaneOverlap), "0");
  EXPECT_EQ(stored(kMirror), "TKMirrorON");
  EXPECT_EQ(settings.values().count(fullSettingsKey(kDotScreening)), 0u);
}

TEST_F(FirstPanelTest, WrittenValuesReadBackInEveryPanel) {
  for (int density = -16; density <= 16; ++density) {
    s.nWriteDensityChoice = density;
    s.nAdjustLengthChoice = density * 31;
    save();
    PanelSettings other;
    ASSERT_TRUE(initPanelSettings(ppd.get(), other));
    restorePanelSettings(other, &settings);
    EXPECT_EQ(other.nWriteDensityChoice, density);
    EXPECT_EQ(other.nAdjustLengthChoice, density * 31);
  }
  for (int pos = 0; pos < 7; ++pos) {
    FirstPanel::setMenuPosition(s, FirstPanel::Menu::LaneOverlap, pos);
    save();
    PanelSettings other = s;
    restorePanelSettings(other, &settings);
    EXPECT_EQ(other.nLaneOverlapChoice, pos);
  }
}

TEST_F(FirstPanelTest, TypedDensityIsTakenOnlyAtSave) {
  // The slider stands at 0; 3 is typed into the field.
  FirstPanel::TypedTexts typed{"3", FirstPanel::adjustLengthFieldText(s)};
  EXPECT_EQ(s.nWriteDensityChoice, 0);
  save(&typed);
  EXPECT_EQ(stored(kWriteDensity), "+03");
  EXPECT_EQ(s.nWriteDensityChoice, 3);
  EXPECT_EQ(FirstPanel::writeDensityFieldText(s), "3");

  FirstPanel::setWriteDensityFromSlider(s, 3);
  typed.writeDensity = "7";
  save(&typed);
  EXPECT_EQ(stored(kWriteDensity), "+07");

  typed.writeDensity = "20";
  save(&typed);
  EXPECT_EQ(stored(kWriteDensity), "+07");
  typed.writeDensity = "-17";
  save(&typed);
  EXPECT_EQ(stored(kWriteDensity), "+07");
  typed.writeDensity = "-16";
  save(&typed);
  EXPECT_EQ(stored(kWriteDensity), "-16");
}

TEST_F(FirstPanelTest, TypedLengthTimesHundredTruncated) {
  FirstPanel::TypedTexts typed{"0", "1.25"};
  save(&typed);
  EXPECT_EQ(stored(kAdjustLength), "+125");
  typed.adjustLength = "-0.5";
  save(&typed);
  EXPECT_EQ(stored(kAdjustLength), "-050");
  typed.adjustLength = "5.009";
  save(&typed);
  EXPECT_EQ(stored(kAdjustLength), "+500");
  typed.adjustLength = "5.01";  // 501: out of range, the previous value stays
  save(&typed);
  EXPECT_EQ(stored(kAdjustLength), "+500");
  typed.adjustLength = "-5.00";
  save(&typed);
  EXPECT_EQ(stored(kAdjustLength), "-500");
  typed.adjustLength = "1e30";
  save(&typed);
  EXPECT_EQ(stored(kAdjustLength), "-500");
}

TEST_F(FirstPanelTest, NeverShownPanelWritesTheModelAsItIs) {
  s.nWriteDensityChoice = -4;
  s.nAdjustLengthChoice = 7;
  save(nullptr);
  EXPECT_EQ(stored(kWriteDensity), "-04");
  EXPECT_EQ(stored(kAdjustLength), "+007");
}

TEST_F(FirstPanelTest, NoPrintSettingsNothingTakenOrWritten) {
  FirstPanel::TypedTexts typed{"5", "1.00"};
  FirstPanel::writeNonPPDSettingsToPrintSettings(s, nullptr, &typed);
  EXPECT_EQ(s.nWriteDensityChoice, 0);
  EXPECT_EQ(s.nAdjustLengthChoice, 0);
}

TEST_F(FirstPanelTest, SlidersStoreAndGiveFieldTexts) {
  EXPECT_EQ(FirstPanel::setAdjustLengthFromSlider(s, -125), "-1.25");
  EXPECT_EQ(s.nAdjustLengthChoice, -125);
  EXPECT_EQ(FirstPanel::setAdjustLengthFromSlider(s, 5), "0.05");
  EXPECT_EQ(FirstPanel::setAdjustLengthFromSlider(s, -5), "-0.05");
  EXPECT_EQ(FirstPanel::setAdjustLengthFromSlider(s, -500), "-5.00");
  EXPECT_EQ(FirstPanel::adjustLengthFieldText(s), "-5.00");
  EXPECT_EQ(FirstPanel::setWriteDensityFromSlider(s, -16), "-16");
  EXPECT_EQ(s.nWriteDensityChoice, -16);
}

TEST_F(FirstPanelTest, MenusListThePpdChoicesAndPositionsAreIndices) {
  const PPDChoiceList enhance = FirstPanel::menuItems(s, FirstPanel::Menu::LineEnhance);
  ASSERT_EQ(enhance.size(), 3u);
  EXPECT_EQ(enhance[1].text, "Bold 1");
  for (int pos = 0; pos < 3; ++pos) {
    FirstPanel::setMenuPosition(s, FirstPanel::Menu::LineEnhance, pos);
    save();
    EXPECT_EQ(stored(kLineEnhance), enhance[pos].keyword);
  }
  EXPECT_EQ(FirstPanel::menuItems(s, FirstPanel::Menu::Mirror).size(), 2u);
  EXPECT_EQ(FirstPanel::menuItems(s, FirstPanel::Menu::LaneOverlap).size(), 7u);
  EXPECT_STREQ(FirstPanel::menuKeys(FirstPanel::Menu::LaneOverlap).titleKey, "TKLaneOverlap");
  EXPECT_STREQ(FirstPanel::menuKeys(FirstPanel::Menu::Mirror).guideKey, "TKMirrorGuide");
}

TEST_F(FirstPanelTest, MenuPositionOutsideTheChoicesIsIgnored) {
  FirstPanel::setMenuPosition(s, FirstPanel::Menu::WriteSpeed, 2);
  FirstPanel::setMenuPosition(s, FirstPanel::Menu::WriteSpeed, -1);  // no selection
  EXPECT_EQ(s.nWriteSpeedChoice, 2);
  FirstPanel::setMenuPosition(s, FirstPanel::Menu::WriteSpeed, 4);
  EXPECT_EQ(s.nWriteSpeedChoice, 2);
  save();
  EXPECT_EQ(stored(kWriteSpeed), "2");
}

TEST(OSMirrorGuide, ShownOnlyForExactlyTrue) {
  MemoryPrintSettings settings;
  EXPECT_FALSE(FirstPanel::showsOSMirrorGuide(nullptr));
  EXPECT_FALSE(FirstPanel::showsOSMirrorGuide(&settings));
  settings.setValue("mirror", "true");
  EXPECT_TRUE(FirstPanel::showsOSMirrorGuide(&settings));
  for (const char *other : {"false", "TRUE", "True", "true ", "1", ""}) {
    settings.setValue("mirror", other);
    EXPECT_FALSE(FirstPanel::showsOSMirrorGuide(&settings)) << other;
  }
  settings.setValue("mirror", "true");
  settings.erase("mirror");
  EXPECT_FALSE(FirstPanel::showsOSMirrorGuide(&settings));
}

namespace {

// A PPD whose lane overlap lists two choices and whose mirror lists one,
// both with a default that is not a choice: the fallbacks (3 and 1) lie
// outside the lists.
std::vector<TestOption> shortOptions() {
  auto options = kt50Options();
  TestOption &overlap = optionNamed(options, "TKLaneOverlap");
  overlap.choices.resize(2);
  overlap.defaultChoice = "Bogus";
  TestOption &mirror = optionNamed(options, "TKMirror");
  mirror.choices.resize(1);
  mirror.defaultChoice = "Bogus";
  return options;
}

class ShortOptionsTest : public FirstPanelTest {
protected:
  ShortOptionsTest() : FirstPanelTest(shortOptions()) {}
};

}  // namespace

TEST_F(ShortOptionsTest, IndexBeyondAShortOptionWritesNothingForThatKey) {
  EXPECT_EQ(s.nLaneOverlapChoice, 3);
  EXPECT_EQ(s.nMirrorChoice, 1);
  save();
  EXPECT_EQ(settings.values().count(fullSettingsKey(kLaneOverlap)), 0u);
  EXPECT_EQ(settings.values().count(fullSettingsKey(kMirror)), 0u);
  EXPECT_EQ(settings.writeLog().size(), 5u);
  EXPECT_EQ(stored(kLineEnhance), "TKEnhanceNone");
  // The fields keep their values; the summary shows no text for them.
  EXPECT_EQ(s.nLaneOverlapChoice, 3);
  const SummaryEntries entries = FirstPanel::summary(s);
  ASSERT_EQ(entries.size(), 7u);
  EXPECT_EQ(entries[5].value, "");
  EXPECT_EQ(entries[6].value, "");
}

TEST_F(FirstPanelTest, SummaryOfTheDefaults) {
  const SummaryEntries entries = FirstPanel::summary(s);
  const std::vector<std::string> titles = {"TKWriteDensity", "TKAdjustLength", "TKWriteSpeed",
                                           "TKWriteRepeat",  "TKLineEnhance",  "TKLaneOverlap",
                                           "TKMirror"};
  ASSERT_EQ(entries.size(), titles.size());
  for (std::size_t i = 0; i < titles.size(); ++i) EXPECT_EQ(entries[i].titleKey, titles[i]);
  EXPECT_EQ(entries[0].value, "0 ");
  EXPECT_EQ(entries[1].value, "0.00 %");
  EXPECT_EQ(entries[2].value, "Speed 0");
  EXPECT_EQ(entries[3].value, "Repeat 0");
  EXPECT_EQ(entries[4].value, "None");
  EXPECT_EQ(entries[5].value, "Overlap 0");
  EXPECT_EQ(entries[6].value, "On");
}

TEST_F(FirstPanelTest, SummaryFollowsTheModelBeforeSaving) {
  s.nAdjustLengthChoice = -125;
  s.nWriteDensityChoice = -3;
  FirstPanel::setMenuPosition(s, FirstPanel::Menu::WriteSpeed, 2);
  SummaryEntries entries = FirstPanel::summary(s);
  EXPECT_EQ(entries[0].value, "-3 ");
  EXPECT_EQ(entries[1].value, "-1.25 %");
  EXPECT_EQ(entries[2].value, "Speed 2");
  s.nAdjustLengthChoice = 7;
  EXPECT_EQ(FirstPanel::summary(s)[1].value, "0.07 %");
  s.nAdjustLengthChoice = 500;
  EXPECT_EQ(FirstPanel::summary(s)[1].value, "5.00 %");
  EXPECT_TRUE(settings.writeLog().empty());
}

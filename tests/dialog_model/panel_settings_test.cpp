// SPDX-License-Identifier: Apache-2.0
// PanelSettings against parsed PPDs: creation checks, the two PPD look-ups,
// starting values and reading the ten settings back from the print settings.
#include <gtest/gtest.h>

#include <cstring>

#include "PanelSettings.h"
#include "TestPrintModel.h"
#include "TestPpd.h"
#include "cmnFilter.h"

using namespace dialog_model_test;

namespace {

const char *const kEightKeywords[] = {
    "TKWriteSpeed", "TKWriteRepeat",  "TKLineEnhance",           "TKLaneOverlap",
    "TKMirror",     "TKDotScreening", "TKDotScreeningFrequency", "TKDotScreeningAngle",
};

PanelSettings createdSettings(const TestPpd &ppd) {
  PanelSettings s;
  EXPECT_TRUE(initPanelSettings(ppd.get(), s));
  return s;
}

}  // namespace

TEST(PanelCreation, AllEightOptionsAreFoundInOrder) {
  TestPpd ppd;
  ASSERT_NE(ppd.get(), nullptr);
  PanelSettings s;
  ASSERT_TRUE(findPanelOptions(ppd.get(), s));
  const ppd_option_t *found[] = {
      s.optionWriteSpeed, s.optionWriteRepeat,  s.optionLineEnhance,
      s.optionLaneOverlap, s.optionMirror,      s.optionDotScreening,
      s.optionDotScreeningFrequency, s.optionDotScreeningAngle,
  };
  for (int i = 0; i < 8; ++i) {
    ASSERT_NE(found[i], nullptr) << kEightKeywords[i];
    EXPECT_STREQ(found[i]->keyword, kEightKeywords[i]);
  }
}

TEST(PanelCreation, RefusedWhenAnyOneOptionIsMissing) {
  for (const char *missing : kEightKeywords) {
    SCOPED_TRACE(missing);
    auto options = kt50Options();
    dropOption(options, missing);
    TestPpd ppd(options);
    ASSERT_NE(ppd.get(), nullptr);
    PanelSettings s;
    EXPECT_FALSE(findPanelOptions(ppd.get(), s));
    EXPECT_FALSE(initPanelSettings(ppd.get(), s));
    // The version panel needs no option at all.
    EXPECT_TRUE(VersionPanel::mayCreate(ppd.get()));
  }
}

TEST(PanelCreation, NoPpdNoPanel) {
  PanelSettings s;
  EXPECT_FALSE(findPanelOptions(nullptr, s));
  EXPECT_EQ(s.optionMirror, nullptr);
  EXPECT_FALSE(VersionPanel::mayCreate(nullptr));
}

TEST(PanelCreation, VersionPanelAloneForAPpdWithoutTheOptions) {
  TestPpd ppd(std::vector<TestOption>{});
  ASSERT_NE(ppd.get(), nullptr);
  PanelSettings s;
  EXPECT_FALSE(initPanelSettings(ppd.get(), s));
  EXPECT_TRUE(VersionPanel::mayCreate(ppd.get()));
}

TEST(PanelCreation, ProjectPpdGivesAllEightAndItsDefaults) {
  PpdPtr ppd = openProjectPpd();
  if (!ppd) GTEST_SKIP() << "the built PPD is not present";
  PanelSettings s;
  ASSERT_TRUE(initPanelSettings(ppd.get(), s));
  EXPECT_EQ(s.nWriteSpeedChoice, 0);
  EXPECT_EQ(s.nWriteRepeatChoice, 0);
  EXPECT_EQ(s.nLineEnhanceChoice, 0);
  EXPECT_EQ(s.nLaneOverlapChoice, 3);
  EXPECT_EQ(s.nMirrorChoice, 1);
  EXPECT_EQ(s.nDotScreeningChoice, 0);
  // Index and code agree for the three named choice lists.
  for (int i = 0; g_DotScreeningList[i].name; ++i) {
    EXPECT_STREQ(s.optionDotScreening->choices[i].choice, g_DotScreeningList[i].name);
  }
  for (int i = 0; g_LineEnhanceList[i].name; ++i) {
    EXPECT_STREQ(s.optionLineEnhance->choices[i].choice, g_LineEnhanceList[i].name);
  }
  for (int i = 0; g_MirrorList[i].name; ++i) {
    EXPECT_STREQ(s.optionMirror->choices[i].choice, g_MirrorList[i].name);
  }
  ASSERT_EQ(s.optionLaneOverlap->num_choices, 7);
}

TEST(MyPpdFindOption, LongKeywordIsCutToForty) {
  // The PPD parser takes option keywords of up to 39 characters, while the
  // option record holds 40: the 40-character name is set after parsing, at
  // the same place in the index's order (one more "Q" at the end).
  const std::string thirtyNine = "TK" + std::string(37, 'Q');
  const std::string forty = thirtyNine + "Q";
  auto options = kt50Options();
  options.push_back({thirtyNine, "", {{"a", "A"}}});
  TestPpd ppd(options);
  ASSERT_NE(ppd.get(), nullptr);
  ppd_option_t *option = myPpdFindOption(ppd.get(), thirtyNine.c_str());
  ASSERT_NE(option, nullptr);
  std::strcpy(option->keyword, forty.c_str());
  EXPECT_EQ(myPpdFindOption(ppd.get(), forty.c_str()), option);
  EXPECT_EQ(myPpdFindOption(ppd.get(), (forty + "X").c_str()), option);
  EXPECT_EQ(myPpdFindOption(ppd.get(), (forty + std::string(200, 'Z')).c_str()), option);
  EXPECT_EQ(myPpdFindOption(ppd.get(), thirtyNine.c_str()), nullptr);
  EXPECT_EQ(myPpdFindOption(ppd.get(), (thirtyNine + "X").c_str()), nullptr);
}

TEST(MyPpdFindOption, TheIndexOrderingDecides) {
  TestPpd ppd;
  ASSERT_NE(ppd.get(), nullptr);
  // The option index is ordered without regard to letter case.
  EXPECT_EQ(myPpdFindOption(ppd.get(), "tkmirror"), myPpdFindOption(ppd.get(), "TKMirror"));
  EXPECT_EQ(myPpdFindOption(ppd.get(), "TKMirrorX"), nullptr);
  EXPECT_EQ(myPpdFindOption(ppd.get(), ""), nullptr);
}

TEST(MyPpdFindOption, NullsAndAMissingIndexFindNothing) {
  TestPpd ppd;
  ASSERT_NE(ppd.get(), nullptr);
  EXPECT_EQ(myPpdFindOption(nullptr, "TKMirror"), nullptr);
  EXPECT_EQ(myPpdFindOption(ppd.get(), nullptr), nullptr);
  cups_array_t *index = ppd.get()->options;
  ppd.get()->options = nullptr;
  EXPECT_EQ(myPpdFindOption(ppd.get(), "TKMirror"), nullptr);
  ppd.get()->options = index;
  EXPECT_NE(myPpdFindOption(ppd.get(), "TKMirror"), nullptr);
}

TEST(PpdSearchChoice, ExactKeywordsOnly) {
  TestPpd ppd;
  ASSERT_NE(ppd.get(), nullptr);
  const ppd_option_t *enhance = myPpdFindOption(ppd.get(), "TKLineEnhance");
  ASSERT_NE(enhance, nullptr);
  EXPECT_EQ(ppdSearchChoice(enhance, "TKEnhanceNone", -7), 0);
  EXPECT_EQ(ppdSearchChoice(enhance, "TKEnhanceBold1", -7), 1);
  EXPECT_EQ(ppdSearchChoice(enhance, "TKEnhanceBold2", -7), 2);
  EXPECT_EQ(ppdSearchChoice(enhance, "tkenhancebold1", -7), -7);
  EXPECT_EQ(ppdSearchChoice(enhance, "TKENHANCEBOLD1", -7), -7);
  EXPECT_EQ(ppdSearchChoice(enhance, " TKEnhanceBold1", -7), -7);
  EXPECT_EQ(ppdSearchChoice(enhance, "TKEnhanceBold1 ", -7), -7);
  EXPECT_EQ(ppdSearchChoice(enhance, "", -7), -7);
  // The default comes back as given, even far outside the choices.
  EXPECT_EQ(ppdSearchChoice(enhance, "nothing", 99), 99);
  EXPECT_EQ(ppdSearchChoice(enhance, nullptr, 4), 4);
  EXPECT_EQ(ppdSearchChoice(nullptr, "TKEnhanceNone", 4), 4);
}

TEST(PpdSearchChoice, OptionWithoutChoicesGivesTheDefault) {
  TestPpd ppd;
  ASSERT_NE(ppd.get(), nullptr);
  ppd_option_t *enhance = myPpdFindOption(ppd.get(), "TKLineEnhance");
  ASSERT_NE(enhance, nullptr);
  const int saved = enhance->num_choices;
  enhance->num_choices = 0;
  EXPECT_EQ(ppdSearchChoice(enhance, "TKEnhanceNone", 5), 5);
  EXPECT_EQ(choiceAt(enhance, 0), nullptr);
  EXPECT_TRUE(choiceListOf(enhance).empty());
  enhance->num_choices = saved;
}

TEST(Defaults, PositionOfEachPpdDefault) {
  auto options = kt50Options();
  optionNamed(options, "TKWriteSpeed").defaultChoice = "2";
  optionNamed(options, "TKWriteRepeat").defaultChoice = "3";
  optionNamed(options, "TKLineEnhance").defaultChoice = "TKEnhanceBold1";
  optionNamed(options, "TKLaneOverlap").defaultChoice = "-1";
  optionNamed(options, "TKMirror").defaultChoice = "TKMirrorOFF";
  optionNamed(options, "TKDotScreening").defaultChoice = "TKScreeningSolid";
  TestPpd ppd(options);
  PanelSettings s = createdSettings(ppd);
  EXPECT_EQ(s.nWriteDensityChoice, 0);
  EXPECT_EQ(s.nAdjustLengthChoice, 0);
  EXPECT_EQ(s.nWriteSpeedChoice, 2);
  EXPECT_EQ(s.nWriteRepeatChoice, 3);
  EXPECT_EQ(s.nLineEnhanceChoice, 1);
  EXPECT_EQ(s.nLaneOverlapChoice, 2);
  EXPECT_EQ(s.nMirrorChoice, 0);
  EXPECT_EQ(s.nDotScreeningChoice, 5);
  EXPECT_EQ(s.nDotScreeningFrequencyChoice, 38);
  EXPECT_EQ(s.nDotScreeningAngleChoice, 37);
}

TEST(Defaults, FallbackWhenThePpdDefaultIsNotAChoice) {
  auto options = kt50Options();
  for (auto &o : options) o.defaultChoice = "Bogus";
  TestPpd ppd(options);
  PanelSettings s = createdSettings(ppd);
  EXPECT_EQ(s.nWriteSpeedChoice, 0);
  EXPECT_EQ(s.nWriteRepeatChoice, 0);
  EXPECT_EQ(s.nLineEnhanceChoice, 0);
  EXPECT_EQ(s.nLaneOverlapChoice, 3);
  EXPECT_EQ(s.nMirrorChoice, 1);
  EXPECT_EQ(s.nDotScreeningChoice, 0);
}

class ReadBack : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_NE(ppd.get(), nullptr);
    ASSERT_TRUE(initPanelSettings(ppd.get(), s));
  }
  void store(const char *keyword, std::string value) {
    settings.setValue(fullSettingsKey(keyword), value);
  }
  // A fresh restore from the stored settings.
  PanelSettings restored() {
    PanelSettings r = s;
    restorePanelSettings(r, &settings);
    return r;
  }
  TestPpd ppd;
  PanelSettings s;
  MemoryPrintSettings settings;
};

TEST_F(ReadBack, DensityInRangeOnly) {
  store(kWriteDensity, "+05");
  EXPECT_EQ(restored().nWriteDensityChoice, 5);
  store(kWriteDensity, "-16");
  EXPECT_EQ(restored().nWriteDensityChoice, -16);
  store(kWriteDensity, "+16");
  EXPECT_EQ(restored().nWriteDensityChoice, 16);
  store(kWriteDensity, "+17");
  EXPECT_EQ(restored().nWriteDensityChoice, 0);
  store(kWriteDensity, "-17");
  EXPECT_EQ(restored().nWriteDensityChoice, 0);
  store(kWriteDensity, "+99999999999");
  EXPECT_EQ(restored().nWriteDensityChoice, 0);
  // Without a restore the field keeps its earlier value.
  s.nWriteDensityChoice = 9;
  store(kWriteDensity, "+17");
  getNonPPDSettingsFromPrintSettings(s, &settings);
  EXPECT_EQ(s.nWriteDensityChoice, 9);
}

TEST_F(ReadBack, LengthInRangeOnly) {
  s.nAdjustLengthChoice = 123;
  store(kAdjustLength, "+000");
  getNonPPDSettingsFromPrintSettings(s, &settings);
  EXPECT_EQ(s.nAdjustLengthChoice, 0);
  store(kAdjustLength, "-050");
  EXPECT_EQ(restored().nAdjustLengthChoice, -50);
  store(kAdjustLength, "-500");
  EXPECT_EQ(restored().nAdjustLengthChoice, -500);
  store(kAdjustLength, "+501");
  EXPECT_EQ(restored().nAdjustLengthChoice, 0);
}

TEST_F(ReadBack, FrequencyAndAngle) {
  store(kDotScreeningFrequency, "+120");
  store(kDotScreeningAngle, "+00");
  PanelSettings r = restored();
  EXPECT_EQ(r.nDotScreeningFrequencyChoice, 120);
  EXPECT_EQ(r.nDotScreeningAngleChoice, 0);
  store(kDotScreeningFrequency, "+038");
  store(kDotScreeningAngle, "+90");
  r = restored();
  EXPECT_EQ(r.nDotScreeningFrequencyChoice, 38);
  EXPECT_EQ(r.nDotScreeningAngleChoice, 90);
  store(kDotScreeningFrequency, "+037");
  store(kDotScreeningAngle, "+91");
  r = restored();
  EXPECT_EQ(r.nDotScreeningFrequencyChoice, 38);
  EXPECT_EQ(r.nDotScreeningAngleChoice, 37);
  // Text without digits reads as 0: an angle, but not a frequency.
  store(kDotScreeningFrequency, "fast");
  store(kDotScreeningAngle, "steep");
  r = restored();
  EXPECT_EQ(r.nDotScreeningFrequencyChoice, 38);
  EXPECT_EQ(r.nDotScreeningAngleChoice, 0);
}

TEST_F(ReadBack, ChoicesByExactKeyword) {
  store(kMirror, "TKMirrorOFF");
  store(kLaneOverlap, "-3");
  store(kWriteSpeed, "2");
  store(kWriteRepeat, "3");
  store(kLineEnhance, "TKEnhanceBold2");
  store(kDotScreening, "TKScreeningErrorDiffusion");
  PanelSettings r = restored();
  EXPECT_EQ(r.nMirrorChoice, 0);
  EXPECT_EQ(r.nLaneOverlapChoice, 0);
  EXPECT_EQ(r.nWriteSpeedChoice, 2);
  EXPECT_EQ(r.nWriteRepeatChoice, 3);
  EXPECT_EQ(r.nLineEnhanceChoice, 2);
  EXPECT_EQ(r.nDotScreeningChoice, 4);
}

TEST_F(ReadBack, UnmatchedChoiceKeepsTheField) {
  s.nMirrorChoice = 0;
  store(kMirror, "tkmirroron");
  getNonPPDSettingsFromPrintSettings(s, &settings);
  EXPECT_EQ(s.nMirrorChoice, 0);
  store(kMirror, "TKMirrorON ");
  getNonPPDSettingsFromPrintSettings(s, &settings);
  EXPECT_EQ(s.nMirrorChoice, 0);
  store(kMirror, "TKMirrorON");
  getNonPPDSettingsFromPrintSettings(s, &settings);
  EXPECT_EQ(s.nMirrorChoice, 1);
}

TEST_F(ReadBack, NonAsciiChoiceValueKeepsTheField) {
  s.nMirrorChoice = 0;
  s.nLaneOverlapChoice = 5;
  store(kMirror, "TKMirrorON\xC3\xA9");
  // A value cut at an embedded NUL must not match "TKMirrorON".
  store(kMirror, std::string("TKMirrorON\0junk", 15));
  store(kLaneOverlap, "\xEF\xBC\x90");  // a full-width zero
  getNonPPDSettingsFromPrintSettings(s, &settings);
  EXPECT_EQ(s.nMirrorChoice, 0);
  EXPECT_EQ(s.nLaneOverlapChoice, 5);
}

TEST_F(ReadBack, OnlyFullKeysAreRead) {
  settings.setValue("TKWriteDensity", "+05");
  settings.setValue("TKMirror", "TKMirrorOFF");
  PanelSettings r = restored();
  EXPECT_EQ(r.nWriteDensityChoice, 0);
  EXPECT_EQ(r.nMirrorChoice, 1);
}

TEST_F(ReadBack, RestoreStartsFromTheDefaults) {
  s.nWriteDensityChoice = 4;
  s.nAdjustLengthChoice = -20;
  s.nMirrorChoice = 0;
  s.nDotScreeningAngleChoice = 15;
  restorePanelSettings(s, &settings);
  EXPECT_EQ(s.nWriteDensityChoice, 0);
  EXPECT_EQ(s.nAdjustLengthChoice, 0);
  EXPECT_EQ(s.nMirrorChoice, 1);
  EXPECT_EQ(s.nDotScreeningAngleChoice, 37);
}

TEST_F(ReadBack, NoPrintSettingsChangesNothing) {
  s.nWriteDensityChoice = 4;
  s.nLaneOverlapChoice = 6;
  getNonPPDSettingsFromPrintSettings(s, nullptr);
  EXPECT_EQ(s.nWriteDensityChoice, 4);
  EXPECT_EQ(s.nLaneOverlapChoice, 6);
}

TEST(ChoiceList, KeywordsAndTextsInPpdOrder) {
  TestPpd ppd;
  ASSERT_NE(ppd.get(), nullptr);
  const PPDChoiceList list = choiceListOf(myPpdFindOption(ppd.get(), "TKLaneOverlap"));
  ASSERT_EQ(list.size(), 7u);
  EXPECT_EQ(list[0].keyword, "-3");
  EXPECT_EQ(list[0].text, "Overlap -3");
  EXPECT_EQ(list[3].keyword, "0");
  EXPECT_EQ(list[6].keyword, "3");
  EXPECT_TRUE(choiceListOf(nullptr).empty());
}

TEST(ChoiceList, Latin1TextsArriveAsUtf8) {
  auto options = kt50Options();
  optionNamed(options, "TKMirror").choices[0].text = "Miroir d\xE9sactiv\xE9";
  TestPpd ppd(options);
  ASSERT_NE(ppd.get(), nullptr);
  const PPDChoiceList list = choiceListOf(myPpdFindOption(ppd.get(), "TKMirror"));
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].text, "Miroir d\xC3\xA9sactiv\xC3\xA9");
}

TEST(ChoiceList, UndecodableTextFallsBackToTheKeyword) {
  TestPpd ppd;
  ASSERT_NE(ppd.get(), nullptr);
  ppd_option_t *mirror = myPpdFindOption(ppd.get(), "TKMirror");
  ASSERT_NE(mirror, nullptr);
  std::strcpy(mirror->choices[1].text, "On \xFF\xFE");
  std::strcpy(mirror->choices[0].text, "Cut \xE2\x82");  // sequence cut short
  const PPDChoiceList list = choiceListOf(mirror);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].text, "TKMirrorOFF");
  EXPECT_EQ(list[1].text, "TKMirrorON");
  EXPECT_EQ(choiceDisplayText(mirror, 1), "TKMirrorON");
  EXPECT_EQ(choiceDisplayText(mirror, 2), "");
  EXPECT_EQ(choiceDisplayText(mirror, -1), "");
}

TEST(ChoiceList, GuardedAccessByIndex) {
  TestPpd ppd;
  ASSERT_NE(ppd.get(), nullptr);
  const ppd_option_t *mirror = myPpdFindOption(ppd.get(), "TKMirror");
  EXPECT_EQ(choiceKeywordAt(mirror, 0).value_or("?"), "TKMirrorOFF");
  EXPECT_EQ(choiceKeywordAt(mirror, 1).value_or("?"), "TKMirrorON");
  EXPECT_FALSE(choiceKeywordAt(mirror, 2).has_value());
  EXPECT_FALSE(choiceKeywordAt(mirror, -1).has_value());
  EXPECT_FALSE(choiceKeywordAt(nullptr, 0).has_value());
}

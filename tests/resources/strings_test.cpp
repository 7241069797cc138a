// SPDX-License-Identifier: Apache-2.0
// The bundle's strings tables as the build writes them: every key the panels
// ask for, in both languages, with texts the panels can use as they stand.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <set>
#include <string>

#include "FirstPanelModel.h"
#include "ImagePanelModel.h"
#include "PanelInfo.h"
#include "TestPrintModel.h"
#include "image.h"
#include "strings_table.h"

namespace {

using namespace vres;

const std::string kResourceDir = VANTREX_PDE_RESOURCE_DIR;

// Keys whose texts are formats taking the test's letter as their one %s.
const std::set<std::string> kFormatKeys = {"TKTestPrintJobTitle", "TKTestPrintMsgOk", "TKTestPrintMsgNg"};

const std::set<std::string> kAllKeys = {
    "FirstPanel", "ImagePanel", "OptionPanel", "VersionPanel",
    "TKWriteDensity", "TKAdjustLength", "TKWriteSpeed", "TKWriteSpeedGuide", "TKWriteRepeat",
    "TKWriteRepeatGuide", "TKLineEnhance", "TKLineEnhanceGuide", "TKLaneOverlap", "TKLaneOverlapGuide",
    "TKMirror", "TKMirrorGuide", "OSMirrorGuide",
    "TKDotScreening", "TKDotScreeningGuide", "TKDotScreeningWidthAdjustValue", "TKDotScreeningFrequency",
    "TKDotScreeningAngle", "TKDotScreeningSrcImageTitle", "TKDotScreeningDstImageTitle",
    "TKTestBoxTitle", "TKTestBoxGuide", "TKTestATitle", "TKTestBTitle", "TKTestCTitle",
    "TKTestPrintJobTitle", "TKTestPrintMsgTitle", "TKTestPrintMsgOk", "TKTestPrintMsgNg",
};

using Table = std::map<std::string, std::string>;

Table LoadTable(const std::string &language) {
  const std::string path = kResourceDir + "/" + language + ".lproj/Localizable.strings";
  const auto bytes = ReadFile(path);
  if (!bytes) {
    ADD_FAILURE() << path << ": missing";
    return {};
  }
  // Written as UTF-16 with a byte order mark, which GNUstep reads without a
  // guess about the system's encoding.
  EXPECT_GE(bytes->size(), 2u);
  if (bytes->size() >= 2) {
    EXPECT_EQ((*bytes)[0], 0xFF) << path;
    EXPECT_EQ((*bytes)[1], 0xFE) << path;
  }
  const auto text = StringsFileText(*bytes);
  if (!text) {
    ADD_FAILURE() << path << ": broken encoding";
    return {};
  }
  std::vector<StringsEntry> entries;
  std::string error;
  EXPECT_TRUE(ParseStrings(*text, entries, error)) << path << ": " << error;
  Table table;
  for (const StringsEntry &e : entries) table[e.key] = e.value;
  return table;
}

// Columns a text takes in a label: wide characters count two.
size_t Columns(const std::string &utf8) {
  size_t columns = 0;
  for (size_t i = 0; i < utf8.size(); ++i) {
    const auto b = uint8_t(utf8[i]);
    if (b < 0x80) ++columns;
    else if ((b & 0xC0) != 0x80) columns += 2;
  }
  return columns;
}

class StringsTables : public testing::TestWithParam<const char *> {
 protected:
  void SetUp() override { table_ = LoadTable(GetParam()); }
  Table table_;
};

TEST_P(StringsTables, HoldExactlyTheKeysOfThePanels) {
  std::set<std::string> keys;
  for (const auto &[key, value] : table_) keys.insert(key);
  for (const std::string &key : kAllKeys) EXPECT_TRUE(keys.count(key)) << "missing " << key;
  for (const std::string &key : keys) EXPECT_TRUE(kAllKeys.count(key)) << "unknown key " << key;
}

TEST_P(StringsTables, HoldEveryKeyThePanelModelsAskFor) {
  std::vector<std::string> asked;
  for (const PanelIdentity *panel : kPanelOrder) asked.push_back(panel->panelNameKey);
  for (const char *key : kFirstPDEKeys) asked.push_back(key);
  for (const char *key : kImagePDEKeys) asked.push_back(key);
  for (FirstPanel::Menu menu : FirstPanel::kMenus) {
    asked.push_back(FirstPanel::menuKeys(menu).titleKey);
    asked.push_back(FirstPanel::menuKeys(menu).guideKey);
  }
  asked.insert(asked.end(), {FirstPanel::kWriteDensityTitleKey, FirstPanel::kAdjustLengthTitleKey,
                             FirstPanel::kOSMirrorGuideKey});
  asked.insert(asked.end(), {ImagePanel::kDotScreeningTitleKey, ImagePanel::kDotScreeningGuideKey,
                             ImagePanel::kWidthAdjustValueKey, ImagePanel::kFrequencyTitleKey,
                             ImagePanel::kAngleTitleKey, ImagePanel::kSrcImageTitleKey,
                             ImagePanel::kDstImageTitleKey});
  asked.insert(asked.end(), {OptionPanel::kTestBoxTitleKey, OptionPanel::kTestBoxGuideKey,
                             OptionPanel::kJobTitleKey, OptionPanel::kMessageTitleKey,
                             OptionPanel::kMessageOkKey, OptionPanel::kMessageNgKey});
  for (const char *key : OptionPanel::kTestButtonTitleKeys) asked.push_back(key);
  for (const std::string &key : asked) {
    ASSERT_TRUE(table_.count(key)) << "missing " << key;
    EXPECT_FALSE(table_.at(key).empty()) << key;
  }
}

TEST_P(StringsTables, FormatsTakeExactlyOneStringAndOtherTextsNone) {
  for (const auto &[key, value] : table_) {
    const FormatCount count = CountConversions(value);
    if (kFormatKeys.count(key)) {
      EXPECT_EQ(count.strings, 1) << key << ": " << value;
      EXPECT_EQ(count.others, 0) << key << ": " << value;
    } else {
      // Titles become summary keys and labels as they stand; a stray % there
      // would be harmless, but one in a format could read a missing argument.
      EXPECT_EQ(count.strings + count.others, 0) << key << ": " << value;
    }
  }
}

TEST_P(StringsTables, JobTitleHasAnAsciiForm) {
  // The print system takes the title as ASCII; without one the job would go
  // out untitled.
  const std::string title = table_["TKTestPrintJobTitle"];
  for (char c : title) EXPECT_TRUE(uint8_t(c) >= 0x20 && uint8_t(c) < 0x7F) << title;
  const std::string filled = OptionPanel::formatWithIdentifier(title, "B");
  EXPECT_NE(filled.find('B'), std::string::npos) << filled;
  EXPECT_EQ(filled.find('%'), std::string::npos) << filled;
}

TEST_P(StringsTables, WidthFactorReadsAsAPositiveDecimal) {
  const std::string factor = table_["TKDotScreeningWidthAdjustValue"];
  char *end = nullptr;
  const double value = std::strtod(factor.c_str(), &end);
  EXPECT_EQ(*end, '\0') << factor;
  EXPECT_GE(value, 0.8) << factor;
  EXPECT_LE(value, 1.5) << factor;
  EXPECT_DOUBLE_EQ(ImagePanel::popupWidth(200.0, factor), 200.0 * value);
}

TEST_P(StringsTables, SummaryTitlesOfAPanelAreDistinct) {
  // The summary is a dictionary keyed by the localised titles: two equal
  // titles would lose an entry.
  for (const auto &keys : {std::vector<const char *>(std::begin(kFirstPDEKeys), std::end(kFirstPDEKeys)),
                           std::vector<const char *>(std::begin(kImagePDEKeys), std::end(kImagePDEKeys))}) {
    std::set<std::string> titles;
    for (const char *key : keys) EXPECT_TRUE(titles.insert(table_[key]).second) << key << ": " << table_[key];
  }
}

TEST_P(StringsTables, TextsFitAPanelOfAboutFiveHundredPixels) {
  for (const auto &[key, value] : table_) {
    // Guides and alert texts may take a line of the panel; labels, titles and
    // buttons a short part of one.
    const bool sentence = key.find("Guide") != std::string::npos || key.find("Msg") != std::string::npos;
    EXPECT_LE(Columns(value), sentence ? 80u : 36u) << key << ": " << value;
    EXPECT_EQ(value.find('\n'), std::string::npos) << key;
  }
}

INSTANTIATE_TEST_SUITE_P(Languages, StringsTables, testing::Values("English", "Japanese"));

TEST(StringsTableLanguages, JapaneseIsTranslatedAndEnglishWidthIsUnchanged) {
  const Table english = LoadTable("English"), japanese = LoadTable("Japanese");
  EXPECT_EQ(english.at("TKDotScreeningWidthAdjustValue"), "1.0");
  EXPECT_EQ(japanese.at("TKDotScreeningWidthAdjustValue"), "1.1");
  for (const char *key : {"FirstPanel", "ImagePanel", "OptionPanel", "TKWriteDensity", "TKTestPrintMsgOk"})
    EXPECT_NE(english.at(key), japanese.at(key)) << key;
}

}  // namespace

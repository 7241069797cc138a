// SPDX-License-Identifier: Apache-2.0
// The KT50's PPD: the system's checker accepts it, and its options agree with
// the job option table that the filter and the dialog share.
// The PPD API is deprecated in libcups, but it is how the print dialog reads
// this file, so the test reads it the same way.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <cups/ppd.h>
#include <cups/raster.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cmnFilter.h"
#include "cups_support.h"

namespace {

using namespace vantrex::test;
namespace fs = std::filesystem;

// Lines of the checker's report that name a failure or a warning.
std::vector<std::string> Findings(const std::string &report) {
  std::vector<std::string> found;
  std::istringstream lines(report);
  for (std::string line; std::getline(lines, line);)
    if (line.find("FAIL") != std::string::npos || line.find("WARN") != std::string::npos)
      found.push_back(line);
  return found;
}

// The one warning a conforming PPD for this printer cannot avoid: the
// option keywords "TKDotScreening", "TKDotScreeningFrequency" and
// "TKDotScreeningAngle" are fixed by the print settings that the dialog and
// the filter share, and the checker dislikes keywords that prefix others.
bool IsKeywordPrefixNote(const std::string &line) {
  return line.find("WARN    TKDotScreening shares a common prefix with TKDotScreening") !=
         std::string::npos;
}

TEST(PpdCheck, CupstestppdPassesWithNoFailureAndNoOtherWarning) {
  // A root that holds our filter where the checker looks for it.
  TempDir root;
  const fs::path filterDir = root.path() + VANTREX_CUPS_SERVERBIN + "/filter";
  fs::create_directories(filterDir);
  fs::copy_file(VANTREX_FILTER_PATH, filterDir / "vantrex-filter");
  fs::permissions(filterDir / "vantrex-filter", fs::perms(0755));

  CommandResult check = RunCommand({"cupstestppd", "-R", root.path(), VANTREX_PPD_PATH});
  EXPECT_EQ(check.status, 0) << check.output;
  EXPECT_NE(check.output.find(": PASS"), std::string::npos) << check.output;
  for (const std::string &line : Findings(check.output))
    EXPECT_TRUE(IsKeywordPrefixNote(line)) << line;
}

TEST(PpdCheck, WithoutTheFilterTheCheckerFails) {
  // Guards the check above: the checker really looks for the filter.
  CommandResult check = RunCommand({"cupstestppd", "-R", "/nonexistent", VANTREX_PPD_PATH});
  EXPECT_NE(check.status, 0);
  EXPECT_NE(check.output.find("vantrex-filter"), std::string::npos) << check.output;
}

struct PpdCloser {
  void operator()(ppd_file_t *ppd) const { ppdClose(ppd); }
};
using Ppd = std::unique_ptr<ppd_file_t, PpdCloser>;

class PpdContents : public ::testing::Test {
 protected:
  void SetUp() override {
    ppd_.reset(ppdOpenFile(VANTREX_PPD_PATH));
    ASSERT_TRUE(ppd_) << ppdErrorString(ppdLastError(nullptr));
  }
  std::vector<std::string> Choices(const char *keyword) {
    std::vector<std::string> names;
    if (ppd_option_t *option = ppdFindOption(ppd_.get(), keyword))
      for (int i = 0; i < option->num_choices; ++i) names.push_back(option->choices[i].choice);
    return names;
  }
  std::string Default(const char *keyword) {
    ppd_option_t *option = ppdFindOption(ppd_.get(), keyword);
    return option ? option->defchoice : "";
  }
  // Choice names read as the filter reads them: letters skipped, then atoi.
  std::vector<int> Values(const char *keyword) {
    std::vector<int> values;
    for (const std::string &name : Choices(keyword)) {
      size_t i = 0;
      while (i < name.size() && std::isalpha(static_cast<unsigned char>(name[i]))) ++i;
      values.push_back(std::atoi(name.c_str() + i));
    }
    return values;
  }
  Ppd ppd_;
};

std::vector<std::string> Names(const auto &list) {
  std::vector<std::string> names;
  for (const tagCHOICE &choice : list)
    if (choice.name) names.push_back(choice.name);
  return names;
}

TEST_F(PpdContents, ChoiceOptionsHaveTheSharedNamesInCodeOrder) {
  EXPECT_EQ(Choices(kLineEnhance), Names(g_LineEnhanceList));
  EXPECT_EQ(Choices(kMirror), Names(g_MirrorList));
  EXPECT_EQ(Choices(kDotScreening), Names(g_DotScreeningList));
  EXPECT_EQ(Default(kLineEnhance), g_LineEnhanceList[kLineEnhanceDefault].name);
  EXPECT_EQ(Default(kMirror), g_MirrorList[kMirrorDefault].name);
  EXPECT_EQ(Default(kDotScreening), g_DotScreeningList[kDotScreeningDefault].name);
}

TEST_F(PpdContents, IntegerOptionsReadAsTheirValuesInAscendingOrder) {
  EXPECT_EQ(Values(kWriteSpeed), (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(Values(kWriteRepeat), (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(Values(kLaneOverlap), (std::vector<int>{-3, -2, -1, 0, 1, 2, 3}));
  for (const tagINTOPTION *option :
       {&g_WriteSpeedOption, &g_WriteRepeatOption, &g_LaneOverlapOption,
        &g_DotScreeningFrequencyOption, &g_DotScreeningAngleOption}) {
    SCOPED_TRACE(option->keyword);
    const std::vector<int> values = Values(option->keyword);
    ASSERT_FALSE(values.empty());
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
    EXPECT_EQ(std::adjacent_find(values.begin(), values.end()), values.end()) << "duplicate";
    EXPECT_GE(values.front(), option->min);
    EXPECT_LE(values.back(), option->max);
    // The PPD's default is the filter's default, so a job without the
    // option prints as the dialog shows it.
    const std::string def = Default(option->keyword);
    EXPECT_EQ(std::atoi(def.c_str() + def.find_first_not_of(
                                          "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")),
              option->def);
  }
}

TEST_F(PpdContents, ScreenFrequenciesCoverEveryFixedScreenBand) {
  const std::vector<int> f = Values(kDotScreeningFrequency);
  ASSERT_FALSE(f.empty());
  EXPECT_EQ(f.front(), 38);
  EXPECT_EQ(f.back(), 200);
  // Fixed screens: 66-77, 78-94, 95-121, 122-169, 170-200.
  for (auto [low, high] : {std::pair{66, 77}, {78, 94}, {95, 121}, {122, 169}, {170, 200}})
    EXPECT_TRUE(std::any_of(f.begin(), f.end(), [&](int v) { return v >= low && v <= high; }))
        << low << ".." << high;
  const std::vector<int> a = Values(kDotScreeningAngle);
  for (int needed : {0, 37, 45, 90})
    EXPECT_NE(std::find(a.begin(), a.end(), needed), a.end()) << needed;
}

TEST_F(PpdContents, RasterIsRgbEightBitAt600Dpi) {
  ppdMarkDefaults(ppd_.get());
  cups_page_header2_t header{};
  ASSERT_EQ(cupsRasterInterpretPPD(&header, ppd_.get(), 0, nullptr, nullptr), 0)
      << cupsRasterErrorString();
  EXPECT_EQ(header.cupsColorSpace, CUPS_CSPACE_RGB);
  EXPECT_EQ(header.cupsBitsPerColor, 8u);
  EXPECT_EQ(header.cupsBitsPerPixel, 24u);
  EXPECT_EQ(header.cupsColorOrder, CUPS_ORDER_CHUNKED);
  EXPECT_EQ(header.HWResolution[0], 600u);
  EXPECT_EQ(header.HWResolution[1], 600u);
  EXPECT_EQ(header.cupsBytesPerLine, header.cupsWidth * 3);
}

TEST_F(PpdContents, EveryPageSizeFitsThePrintArea) {
  ASSERT_GT(ppd_->num_sizes, 0);
  for (int i = 0; i < ppd_->num_sizes; ++i) {
    const ppd_size_t &size = ppd_->sizes[i];
    SCOPED_TRACE(size.name);
    if (std::string(size.name) == "Custom") continue;
    EXPECT_LE(size.width * 600 / 72, 9920.0);
    EXPECT_LE(size.length * 600 / 72, 14645.0);
  }
  EXPECT_TRUE(ppd_->variable_sizes);
  EXPECT_LE(ppd_->custom_max[0] * 600 / 72, 9920.0);
  EXPECT_LE(ppd_->custom_max[1] * 600 / 72, 14645.0);
  const char *filter = nullptr;
  ppd_attr_t *attr = ppdFindAttr(ppd_.get(), "cupsFilter", nullptr);
  if (attr) filter = attr->value;
  ASSERT_NE(filter, nullptr);
  EXPECT_STREQ(filter, "application/vnd.cups-raster 0 vantrex-filter");
}

}  // namespace

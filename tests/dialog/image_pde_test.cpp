// SPDX-License-Identifier: Apache-2.0
// The dot screening panel through the real controls of "ImagePDE": the
// enabling rule, the guide pictures, showing twice, saving and summary.
#include <gtest/gtest.h>

#include "pde_host.h"

using pde_test::runHost;

namespace {

const std::string kPrefix = "com.tavik.printsettings.VANTREX_KT50.";
const char *const kFrequencyAngleControls[] = {
    "DotScreeningFrequency", "DotScreeningFrequency_Slider", "DotScreeningAngle",
    "DotScreeningAngle_Slider"};
const char *const kPictureViews[] = {"DotScreeningSrcText", "DotScreeningSrcImage",
                                     "DotScreeningSrcToDstArrow", "DotScreeningDstText",
                                     "DotScreeningDstImage"};

std::string getAll(const char *const *names, std::size_t count) {
  std::string script;
  for (std::size_t i = 0; i < count; ++i) script += std::string("get ImagePDE ") + names[i] + "\n";
  return script;
}

TEST(ImagePDEControls, OnlyFrequencyAndAngleModeEnablesItsFourControls) {
  std::string gets = getAll(kFrequencyAngleControls, 4) + "get ImagePDE DotScreening\n";
  std::string script = "show ImagePDE\n" + gets;
  for (int mode : {3, 0, 1, 2, 4, 5})
    script += "choose ImagePDE DotScreening " + std::to_string(mode) + "\n" + gets;
  auto run = runHost({}, script);
  ASSERT_EQ(run.status, 0) << run.dump();
  for (const char *control : kFrequencyAngleControls) {
    // Default mode (none), then modes 3, 0, 1, 2, 4, 5.
    EXPECT_EQ(run.all(std::string("ImagePDE.") + control + ".enabled"),
              (std::vector<std::string>{"0", "1", "0", "0", "0", "0", "0"}))
        << control;
  }
  for (const std::string &enabled : run.all("ImagePDE.DotScreening.enabled"))
    EXPECT_EQ(enabled, "1");
}

TEST(ImagePDEControls, SolidEmptiesAllFivePicturesAndOtherModesRefillThem) {
  std::string gets = getAll(kPictureViews, 5);
  auto run = runHost({}, "show ImagePDE\n" + gets + "choose ImagePDE DotScreening 5\n" + gets +
                             "choose ImagePDE DotScreening 4\n" + gets);
  ASSERT_EQ(run.status, 0) << run.dump();
  for (const char *view : kPictureViews)
    EXPECT_EQ(run.all(std::string("ImagePDE.") + view + ".image"),
              (std::vector<std::string>{"set", "none", "set"}))
        << view;
}

TEST(ImagePDEControls, ShowingTwiceAddsNoItemTwiceAndTurnsTheArrowOnce) {
  // Japanese widens the mode pop-up by its factor 1.1: 240 laid out, 264 shown.
  auto run = runHost({"-NSLanguages", "(Japanese)"}, "show ImagePDE\n"
                         "get ImagePDE DotScreening\nget ImagePDE DotScreeningSrcToDstArrow\n"
                         "show ImagePDE\n"
                         "get ImagePDE DotScreening\nget ImagePDE DotScreeningSrcToDstArrow\n"
                         "items ImagePDE DotScreening\n");
  ASSERT_EQ(run.status, 0) << run.dump();
  EXPECT_EQ(run.all("ImagePDE.DotScreening.count"), (std::vector<std::string>{"6", "6"}));
  EXPECT_EQ(run.all("ImagePDE.DotScreeningSrcToDstArrow.rotation"),
            (std::vector<std::string>{"90", "90"}));
  auto frames = run.all("ImagePDE.DotScreening.frame");
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0], frames[1]) << "the popup was resized again";
  EXPECT_NE(frames[0].find(" 264 "), std::string::npos) << frames[0];
  EXPECT_EQ(run["ImagePDE.DotScreening.item 3"], "Frequency and Angle");
}

TEST(ImagePDEControls, SlidersStoreAtOnceAndTypedValuesAreCheckedAtSave) {
  auto run = runHost({}, "show ImagePDE\n"
                         "choose ImagePDE DotScreening 3\n"
                         "slider ImagePDE DotScreeningFrequency_Slider 120\n"
                         "slider ImagePDE DotScreeningAngle_Slider 45\n"
                         "get ImagePDE DotScreeningFrequency\n"
                         "summary ImagePDE\n"
                         "type ImagePDE DotScreeningFrequency 201\n"
                         "type ImagePDE DotScreeningAngle 0\n"
                         "save ImagePDE\n"
                         "writes\n"
                         "store\n"
                         "get ImagePDE DotScreeningFrequency_Slider\n"
                         "get ImagePDE DotScreeningAngle_Slider\n");
  ASSERT_EQ(run.status, 0) << run.dump();
  EXPECT_EQ(run["ImagePDE.DotScreeningFrequency.string"], "120");
  EXPECT_EQ(run["ImagePDE.summary.count"], "4");
  EXPECT_EQ(run.all("write"),
            (std::vector<std::string>{kPrefix + "TKDotScreening",
                                      kPrefix + "TKDotScreeningFrequency",
                                      kPrefix + "TKDotScreeningAngle"}));
  EXPECT_EQ(run["store[" + kPrefix + "TKDotScreening]"], "TKScreeningFrequencyAngle");
  EXPECT_EQ(run["store[" + kPrefix + "TKDotScreeningFrequency]"], "+120");
  EXPECT_EQ(run["store[" + kPrefix + "TKDotScreeningAngle]"], "+00");
  EXPECT_EQ(run["ImagePDE.DotScreeningFrequency_Slider.range"], "38..200");
  EXPECT_EQ(run["ImagePDE.DotScreeningAngle_Slider.range"], "0..90");
}

TEST(ImagePDEControls, NeverShownPanelSavesRestoredValuesWithoutTheFields) {
  auto run = runHost({"--set", kPrefix + "TKDotScreening=TKScreeningErrorDiffusion", "--set",
                      kPrefix + "TKDotScreeningAngle=abc"},
                     "restore ImagePDE\nsave ImagePDE\nstore\n");
  ASSERT_EQ(run.status, 0) << run.dump();
  EXPECT_EQ(run["store[" + kPrefix + "TKDotScreening]"], "TKScreeningErrorDiffusion");
  EXPECT_EQ(run["store[" + kPrefix + "TKDotScreeningFrequency]"], "+038");
  // Text without digits reads as 0, which is a valid angle.
  EXPECT_EQ(run["store[" + kPrefix + "TKDotScreeningAngle]"], "+00");
}

TEST(ImagePDESummary, ListsFrequencyAndAngleOnlyForTheirMode) {
  auto run = runHost({}, "show ImagePDE\nsummary ImagePDE\n"
                         "choose ImagePDE DotScreening 3\nsummary ImagePDE\n");
  ASSERT_EQ(run.status, 0) << run.dump();
  EXPECT_EQ(run.all("ImagePDE.summary.count"), (std::vector<std::string>{"2", "4"}));
  std::string order = run["ImagePDE.summary.order"];
  std::size_t first = order.find(" | "), second = order.rfind(" | ");
  ASSERT_NE(first, second) << order;
  EXPECT_EQ(run["ImagePDE.summary[" + order.substr(0, first) + "]"], "Frequency and Angle");
  EXPECT_EQ(run["ImagePDE.summary[" + order.substr(first + 3, second - first - 3) + "]"],
            "38 lpi");
  EXPECT_EQ(run["ImagePDE.summary[" + order.substr(second + 3) + "]"], "37 deg");
}

}  // namespace

// SPDX-License-Identifier: Apache-2.0
// The main settings panel through the real controls of "FirstPDE": sliders
// and their entry fields, the five menus, saving, restoring, the mirror
// guide and the summary.
#include <gtest/gtest.h>

#include "pde_host.h"

using pde_test::runHost;

namespace {

const std::string kPrefix = "com.tavik.printsettings.VANTREX_KT50.";

TEST(FirstPDEControls, LengthSliderShowsItsValueAsPercentText) {
  auto run = runHost({}, "show FirstPDE\n"
                         "slider FirstPDE AdjustLength_Slider -125\n"
                         "get FirstPDE AdjustLength\n"
                         "slider FirstPDE AdjustLength_Slider 5\n"
                         "get FirstPDE AdjustLength\n"
                         "slider FirstPDE AdjustLength_Slider -5\n"
                         "get FirstPDE AdjustLength\n"
                         "slider FirstPDE AdjustLength_Slider -500\n"
                         "get FirstPDE AdjustLength\n"
                         "get FirstPDE AdjustLength_Slider\n"
                         "get FirstPDE WriteDensity_Slider\n");
  ASSERT_EQ(run.status, 0) << run.dump();
  EXPECT_EQ(run.all("FirstPDE.AdjustLength.string"),
            (std::vector<std::string>{"-1.25", "0.05", "-0.05", "-5.00"}));
  // The interface file keeps the sliders inside the ranges the model keeps.
  EXPECT_EQ(run["FirstPDE.AdjustLength_Slider.range"], "-500..500");
  EXPECT_EQ(run["FirstPDE.WriteDensity_Slider.range"], "-16..16");
}

TEST(FirstPDEControls, SliderValueReachesTheModelAtOnce) {
  auto run = runHost({}, "show FirstPDE\n"
                         "slider FirstPDE WriteDensity_Slider -16\n"
                         "get FirstPDE WriteDensity\n"
                         "summary FirstPDE\n");
  ASSERT_EQ(run.status, 0) << run.dump();
  EXPECT_EQ(run["FirstPDE.WriteDensity.string"], "-16");
  bool found = false;
  for (const auto &[label, value] : run.values)
    if (label.rfind("FirstPDE.summary[", 0) == 0 && value == "-16 ") found = true;
  EXPECT_TRUE(found) << run.dump();
}

TEST(FirstPDEControls, TypedDensityIsTakenAtSaveAndTheSliderFollows) {
  auto run = runHost({}, "show FirstPDE\n"
                         "type FirstPDE WriteDensity 3\n"
                         "get FirstPDE WriteDensity_Slider\n"
                         "save FirstPDE\n"
                         "store\n"
                         "show FirstPDE\n"
                         "get FirstPDE WriteDensity_Slider\n");
  ASSERT_EQ(run.status, 0) << run.dump();
  EXPECT_EQ(run.all("FirstPDE.WriteDensity_Slider.int"), (std::vector<std::string>{"0", "3"}));
  EXPECT_EQ(run["store[" + kPrefix + "TKWriteDensity]"], "+03");
}

TEST(FirstPDEControls, TypedValuesOutOfRangeKeepTheEarlierValues) {
  auto run = runHost({}, "show FirstPDE\n"
                         "slider FirstPDE WriteDensity_Slider -7\n"
                         "slider FirstPDE AdjustLength_Slider 250\n"
                         "type FirstPDE WriteDensity 20\n"
                         "type FirstPDE AdjustLength 5.01\n"
                         "save FirstPDE\n"
                         "get FirstPDE WriteDensity\n"
                         "store\n"
                         "type FirstPDE AdjustLength -0.5\n"
                         "save FirstPDE\n"
                         "store\n");
  ASSERT_EQ(run.status, 0) << run.dump();
  EXPECT_EQ(run.all("store[" + kPrefix + "TKWriteDensity]"),
            (std::vector<std::string>{"-07", "-07"}));
  EXPECT_EQ(run.all("store[" + kPrefix + "TKAdjustLength]"),
            (std::vector<std::string>{"+250", "-050"}));
  // The field keeps the dropped text until the next update.
  EXPECT_EQ(run["FirstPDE.WriteDensity.string"], "20");
}

TEST(FirstPDEControls, SaveWritesExactlyTheSevenKeysInTheirSyntaxes) {
  auto run = runHost({}, "show FirstPDE\n"
                         "choose FirstPDE WriteSpeed 2\n"
                         "choose FirstPDE LaneOverlap 0\n"
                         "choose FirstPDE Mirror 0\n"
                         "choose FirstPDE LineEnhance 1\n"
                         "slider FirstPDE AdjustLength_Slider 25\n"
                         "save FirstPDE\n"
                         "writes\n"
                         "store\n");
  ASSERT_EQ(run.status, 0) << run.dump();
  std::vector<std::string> expectedKeys;
  for (const char *key : {"TKWriteDensity", "TKAdjustLength", "TKWriteSpeed", "TKWriteRepeat",
                          "TKLineEnhance", "TKLaneOverlap", "TKMirror"})
    expectedKeys.push_back(kPrefix + key);
  EXPECT_EQ(run.all("write"), expectedKeys);
  EXPECT_EQ(run["store[" + kPrefix + "TKWriteDensity]"], "+00");
  EXPECT_EQ(run["store[" + kPrefix + "TKAdjustLength]"], "+025");
  EXPECT_EQ(run["store[" + kPrefix + "TKWriteSpeed]"], "2");
  EXPECT_EQ(run["store[" + kPrefix + "TKWriteRepeat]"], "0");
  EXPECT_EQ(run["store[" + kPrefix + "TKLineEnhance]"], "TKEnhanceBold1");
  EXPECT_EQ(run["store[" + kPrefix + "TKLaneOverlap]"], "-3");
  EXPECT_EQ(run["store[" + kPrefix + "TKMirror]"], "TKMirrorOFF");
}

TEST(FirstPDEControls, ShowingTwiceFillsEveryMenuOnceInPpdOrder) {
  auto run = runHost({}, "show FirstPDE\nshow FirstPDE\n"
                         "items FirstPDE LaneOverlap\n"
                         "get FirstPDE WriteSpeed\nget FirstPDE WriteRepeat\n"
                         "get FirstPDE LineEnhance\nget FirstPDE LaneOverlap\n"
                         "get FirstPDE Mirror\n");
  ASSERT_EQ(run.status, 0) << run.dump();
  EXPECT_EQ(run["FirstPDE.WriteSpeed.count"], "4");
  EXPECT_EQ(run["FirstPDE.WriteRepeat.count"], "4");
  EXPECT_EQ(run["FirstPDE.LineEnhance.count"], "3");
  EXPECT_EQ(run["FirstPDE.LaneOverlap.count"], "7");
  EXPECT_EQ(run["FirstPDE.Mirror.count"], "2");
  EXPECT_EQ(run["FirstPDE.LaneOverlap.item 0"], "Overlap -3 dots");
  EXPECT_EQ(run["FirstPDE.LaneOverlap.item 6"], "Overlap +3 dots");
  // The PPD's defaults are selected: lane overlap 0 (fourth), mirror on.
  EXPECT_EQ(run["FirstPDE.LaneOverlap.selected"], "3");
  EXPECT_EQ(run["FirstPDE.Mirror.selected"], "1");
}

// Two choices with the same display text keep two menu items, so menu
// positions stay equal to choice indices (a pop-up's addItemWithTitle:
// would drop the first of them).
TEST(FirstPDEControls, ChoicesWithTheSameTextKeepTheirOwnItems) {
  std::string dir = pde_test::makeTempDir();
  std::string text = pde_test::kt50PpdText();
  std::size_t at = text.find("*TKWriteSpeed 3/Speed 3:");
  ASSERT_NE(at, std::string::npos);
  text.replace(at, 24, "*TKWriteSpeed 3/Speed 2:");
  pde_test::writeFile(dir + "/same-text.ppd", text);
  auto run = runHost({"--ppd", dir + "/same-text.ppd"},
                     "show FirstPDE\nget FirstPDE WriteSpeed\nitems FirstPDE WriteSpeed\n"
                     "choose FirstPDE WriteSpeed 3\nsave FirstPDE\nstore\n");
  ASSERT_EQ(run.status, 0) << run.dump();
  EXPECT_EQ(run["FirstPDE.WriteSpeed.count"], "4");
  EXPECT_EQ(run["FirstPDE.WriteSpeed.item 2"], "Speed 2");
  EXPECT_EQ(run["FirstPDE.WriteSpeed.item 3"], "Speed 2");
  EXPECT_EQ(run["store[" + kPrefix + "TKWriteSpeed]"], "3");
}

TEST(FirstPDEControls, RestoreShowsStoredValuesInTheControls) {
  auto run = runHost({"--set", kPrefix + "TKWriteDensity=+05", "--set",
                      kPrefix + "TKAdjustLength=-125", "--set", kPrefix + "TKWriteRepeat=3",
                      "--set", kPrefix + "TKMirror=tkmirroroff"},
                     "show FirstPDE\nrestore FirstPDE\n"
                     "get FirstPDE WriteDensity_Slider\nget FirstPDE WriteDensity\n"
                     "get FirstPDE AdjustLength\nget FirstPDE WriteRepeat\n"
                     "get FirstPDE Mirror\n");
  ASSERT_EQ(run.status, 0) << run.dump();
  EXPECT_EQ(run["FirstPDE.WriteDensity_Slider.int"], "5");
  EXPECT_EQ(run["FirstPDE.WriteDensity.string"], "5");
  EXPECT_EQ(run["FirstPDE.AdjustLength.string"], "-1.25");
  EXPECT_EQ(run["FirstPDE.WriteRepeat.selected"], "3");
  // Another letter case matches no choice: the default stays.
  EXPECT_EQ(run["FirstPDE.Mirror.selected"], "1");
}

TEST(FirstPDEControls, SystemMirrorGuideShowsOnlyForExactlyTrue) {
  std::string script = "show FirstPDE\nget FirstPDE OSMirrorGuide\n";
  auto on = runHost({"--set", "mirror=true"}, script);
  auto upper = runHost({"--set", "mirror=TRUE"}, script);
  auto absent = runHost({}, script);
  ASSERT_EQ(on.status, 0) << on.dump();
  EXPECT_NE(on["FirstPDE.OSMirrorGuide.string"], "");
  EXPECT_NE(on["FirstPDE.OSMirrorGuide.string"], "OSMirrorGuide") << "left as its key";
  EXPECT_EQ(upper["FirstPDE.OSMirrorGuide.string"], "");
  EXPECT_EQ(absent["FirstPDE.OSMirrorGuide.string"], "");
}

TEST(FirstPDESummary, HoldsSevenEntriesAndTheirDisplayOrder) {
  auto run = runHost({}, "summary FirstPDE\n"
                         "show FirstPDE\n"
                         "choose FirstPDE WriteSpeed 2\n"
                         "slider FirstPDE AdjustLength_Slider -125\n"
                         "summary FirstPDE\n");
  ASSERT_EQ(run.status, 0) << run.dump();
  EXPECT_EQ(run.all("FirstPDE.summary.count"), (std::vector<std::string>{"8", "8"}));
  std::string order = run["FirstPDE.summary.order"];
  std::vector<std::string> titles;
  for (std::size_t start = 0, bar; start <= order.size(); start = bar + 3) {
    bar = order.find(" | ", start);
    if (bar == std::string::npos) bar = order.size();
    titles.push_back(order.substr(start, bar - start));
  }
  ASSERT_EQ(titles.size(), 7u) << order;
  EXPECT_EQ(run["FirstPDE.summary[" + titles[0] + "]"], "0 ");
  EXPECT_EQ(run.all("FirstPDE.summary[" + titles[1] + "]"),
            (std::vector<std::string>{"0.00 %", "-1.25 %"}));
  // The menu choice shows before any save.
  EXPECT_EQ(run["FirstPDE.summary[" + titles[2] + "]"], "Speed 2");
  EXPECT_EQ(run["FirstPDE.summary[" + titles[6] + "]"], "On");
  for (const std::string &title : titles) EXPECT_EQ(title.rfind("TK", 0), std::string::npos);
}

}  // namespace

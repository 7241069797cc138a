// SPDX-License-Identifier: Apache-2.0
// The plug-in's panel set as the print dialog receives it: four panels in a
// fixed order for the general print dialog, none for other dialog types,
// and nil when any panel refuses creation.
#include <gtest/gtest.h>

#include <filesystem>

#include "pde_host.h"

using pde_test::runHost;

namespace {

const char kGeneralType[] = "BDB091F4-E57F-11D3-B5CC-0050E4603277";

TEST(PanelSet, GeneralPrintDialogGetsFourPanelsInOrder) {
  auto run = runHost({"--type", kGeneralType}, "panels\n");
  ASSERT_EQ(run.status, 0) << run.dump();
  EXPECT_EQ(run["panels"], "4");
  EXPECT_EQ(run["panel 0"],
            "FirstPDE kind=com.tavik.printPDEs.VANTREX_KT50.FirstPanel "
            "keys=TKWriteDensity,TKAdjustLength,TKWriteSpeed,TKWriteRepeat,TKLineEnhance,"
            "TKLaneOverlap,TKMirror help=0 hide=1");
  EXPECT_EQ(run["panel 1"],
            "ImagePDE kind=com.tavik.printPDEs.VANTREX_KT50.ImagePanel "
            "keys=TKDotScreening,TKDotScreeningFrequency,TKDotScreeningAngle help=0 hide=1");
  EXPECT_EQ(run["panel 2"],
            "OptionPDE kind=com.tavik.printPDEs.VANTREX_KT50.OptionPanel keys=nil help=0 hide=1");
  EXPECT_EQ(run["panel 3"],
            "VersionPDE kind=com.tavik.printPDEs.VANTREX_KT50.VersionPanel keys=nil help=0 "
            "hide=1");
}

TEST(PanelSet, OtherDialogTypesGetAnEmptyArrayNotNil) {
  for (const char *type : {"", "page setup", "bdb091f4-e57f-11d3-b5cc-0050e4603277",
                           "BDB091F4-E57F-11D3-B5CC-0050E4603277 "}) {
    auto run = runHost({"--type", type}, "panels\n");
    ASSERT_EQ(run.status, 0) << run.dump();
    EXPECT_EQ(run["panels"], "0") << "type '" << type << "'";
  }
}

TEST(PanelSet, PpdWithoutScreenAngleGivesNoPanelsAtAll) {
  std::string dir = pde_test::makeTempDir();
  std::string ppd = dir + "/no-angle.ppd";
  std::string text = pde_test::ppdWithoutOption("TKDotScreeningAngle");
  ASSERT_EQ(text.find("*OpenUI *TKDotScreeningAngle"), std::string::npos);
  ASSERT_NE(text.find("*OpenUI *TKDotScreeningFrequency"), std::string::npos);
  pde_test::writeFile(ppd, text);
  auto run = runHost({"--ppd", ppd}, "panels\n");
  ASSERT_EQ(run.status, 0) << run.dump();
  EXPECT_EQ(run["panels"], "nil");
}

TEST(PanelSet, EachMissingOptionRefusesTheWholeSet) {
  std::string dir = pde_test::makeTempDir();
  for (const char *keyword : {"TKWriteSpeed", "TKWriteRepeat", "TKLineEnhance", "TKLaneOverlap",
                              "TKMirror", "TKDotScreening", "TKDotScreeningFrequency"}) {
    std::string ppd = dir + "/" + keyword + ".ppd";
    pde_test::writeFile(ppd, pde_test::ppdWithoutOption(keyword));
    auto run = runHost({"--ppd", ppd}, "panels\n");
    ASSERT_EQ(run.status, 0) << run.dump();
    EXPECT_EQ(run["panels"], "nil") << "without " << keyword;
  }
}

TEST(PanelSet, HostThatHandsOutNoPpdGetsNoPanels) {
  auto run = runHost({"--old-host"}, "panels\n");
  ASSERT_EQ(run.status, 0) << run.dump();
  EXPECT_EQ(run["panels"], "nil");
}

// The dialog's whole sequence without a script: every panel loads its view,
// restores, shows, saves and gives its summary; the screenshots exist.
TEST(PanelSet, DialogSequenceRunsEveryPanelAndSavesScreenshots) {
  std::string dir = pde_test::makeTempDir();
  auto run = runHost({"--screenshot", dir}, "");
  ASSERT_EQ(run.status, 0) << run.dump();
  for (const char *panel : {"FirstPDE", "ImagePDE", "OptionPDE", "VersionPDE"}) {
    std::string name = panel;
    EXPECT_EQ(run[name + ".view"], "loaded");
    EXPECT_EQ(run[name + ".restore"], "1");
    EXPECT_EQ(run[name + ".save"], "1");
    EXPECT_NE(run[name + ".name"].rfind("<missing", 0), 0u);
    EXPECT_NE(run[name + ".name"], name.substr(0, name.size() - 3) + "Panel")
        << "panel name left as its key";
    std::string png = pde_test::readFile(dir + "/" + name + ".png");
    ASSERT_GT(png.size(), 8u) << name;
    EXPECT_EQ(png.substr(1, 3), "PNG") << name;
  }
  EXPECT_EQ(run["OptionPDE.summary"], "nil");
  EXPECT_EQ(run["VersionPDE.summary"], "nil");
  EXPECT_EQ(run["FirstPDE.summary.count"], "8");
}

}  // namespace

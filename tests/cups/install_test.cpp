// SPDX-License-Identifier: Apache-2.0
// Installation of the driver component into a staging root (DESTDIR): the
// filter lands in the scheduler's filter folder, the PPD where lpinfo -m
// looks, the checker accepts the installed pair, and the uninstall step
// removes both; a whole install brings the tools and the manual pages but
// not the dialog stand-in unless asked for.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "cups_support.h"

namespace {

using namespace vantrex::test;
namespace fs = std::filesystem;

const std::string kFilterDir = VANTREX_CUPS_SERVERBIN "/filter";
const std::string kPpdDir = VANTREX_PPD_INSTALL_DIR;

TEST(Install, StagedInstallPutsFilterAndPpdWhereCupsFindsThem) {
  TempDir stage;
  const std::string destdir = "DESTDIR=" + stage.path();
  CommandResult install =
      RunCommand({VANTREX_CMAKE_COMMAND, "--install", VANTREX_BUILD_DIR, "--component", "driver"},
                 {destdir});
  ASSERT_EQ(install.status, 0) << install.output;

  const std::string filter = stage.path() + kFilterDir + "/vantrex-filter";
  const std::string ppd = stage.path() + kPpdDir + "/vantrex-kt50.ppd";
  ASSERT_TRUE(fs::is_regular_file(filter)) << install.output;
  ASSERT_TRUE(fs::is_regular_file(ppd)) << install.output;
  struct stat info{};
  ASSERT_EQ(stat(filter.c_str(), &info), 0);
  // The scheduler runs only filters that others cannot change.
  EXPECT_EQ(info.st_mode & 0777, 0755u);
  EXPECT_EQ(ReadBytes(ppd), ReadBytes(VANTREX_PPD_PATH));
  EXPECT_EQ(fs::file_size(filter), fs::file_size(VANTREX_FILTER_PATH));
  // lpinfo -m lists PPDs found under a "ppd" folder of a share directory.
  EXPECT_NE(kPpdDir.find("/share/ppd/"), std::string::npos) << kPpdDir;

  CommandResult check = RunCommand({"cupstestppd", "-R", stage.path(), ppd});
  EXPECT_EQ(check.status, 0) << check.output;
  EXPECT_EQ(check.output.find("Missing cupsFilter"), std::string::npos) << check.output;

  CommandResult uninstall = RunCommand(
      {VANTREX_CMAKE_COMMAND, "-DMANIFEST=" VANTREX_BUILD_DIR "/install_manifest_driver.txt", "-P",
       VANTREX_UNINSTALL_SCRIPT},
      {destdir});
  ASSERT_EQ(uninstall.status, 0) << uninstall.output;
  EXPECT_FALSE(fs::exists(filter));
  EXPECT_FALSE(fs::exists(ppd));
  EXPECT_FALSE(fs::exists(stage.path() + kPpdDir)) << "empty PPD folder left behind";
}

TEST(Install, WholeInstallBringsToolsAndManualPagesButNotTheDialogHost) {
  TempDir stage;
  CommandResult install = RunCommand({VANTREX_CMAKE_COMMAND, "--install", VANTREX_BUILD_DIR},
                                     {"DESTDIR=" + stage.path()});
  ASSERT_EQ(install.status, 0) << install.output;
  const std::string bin = stage.path() + VANTREX_INSTALL_BINDIR;
  const std::string man = stage.path() + VANTREX_INSTALL_MANDIR;
  for (const char *tool : {"vantrex-decode", "vantrex-mkraster", "vantrex-rasterinfo"})
    EXPECT_TRUE(fs::is_regular_file(bin + "/" + tool)) << tool;
  for (const char *page : {"man8/vantrex-filter.8", "man1/vantrex-decode.1",
                           "man1/vantrex-mkraster.1", "man1/vantrex-rasterinfo.1"})
    EXPECT_TRUE(fs::is_regular_file(man + "/" + page)) << page;
  // The stand-in has this build folder's path in it: useless anywhere else.
  EXPECT_EQ(fs::exists(bin + "/vantrex-pde-host"), VANTREX_INSTALL_PDE_HOST != 0);
}

}  // namespace

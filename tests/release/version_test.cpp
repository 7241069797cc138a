// SPDX-License-Identifier: Apache-2.0
// The version a user sees anywhere (each program's --version, the PPD's
// *FileVersion, the dialog's version panel, the Debian packages) is the
// project version.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "private_cups.h"
#include "release_support.h"

namespace {

using namespace release_test;
using vantrex::test::RunCommand;

const std::string kVersion = VANTREX_PROJECT_VERSION;

std::string FirstLine(const std::string &text) { return text.substr(0, text.find('\n')); }

TEST(Version, EveryProgramPrintsTheProjectVersion) {
  const auto programs = Split(VANTREX_PROGRAMS, ',');
  ASSERT_GE(programs.size(), 4u) << VANTREX_PROGRAMS;
  for (const std::string &entry : programs) {
    const std::string name = entry.substr(0, entry.find('='));
    const std::string path = entry.substr(entry.find('=') + 1);
    const auto run = RunCommand({path, "--version"});
    EXPECT_EQ(run.status, 0) << name << ": " << run.output;
    // "<program> <version>", or the version alone.
    const std::string line = FirstLine(run.output);
    EXPECT_TRUE(line == name + " " + kVersion || line == kVersion) << name << ": " << run.output;
  }
}

TEST(Version, FilterKeepsItsArgumentCountRuleBesideVersion) {
  const std::string path = ProgramPath("vantrex-filter");
  ASSERT_FALSE(path.empty());
  for (const char *other : {"--help", "-V", "version"}) {
    const auto run = RunCommand({path, other});
    EXPECT_EQ(run.status, 1) << other;
    EXPECT_EQ(run.output, "") << other;
  }
  EXPECT_EQ(RunCommand({path, "--version", "x"}).status, 1);
}

TEST(Version, PpdFileVersionIsTheProjectVersion) {
  const std::string ppd = ReadText(VANTREX_PPD_PATH);
  std::smatch match;
  const std::regex fileVersion(R"re((^|\n)\*FileVersion:\s*"([^"]*)")re");
  ASSERT_TRUE(std::regex_search(ppd, match, fileVersion)) << VANTREX_PPD_PATH;
  EXPECT_EQ(match[2].str(), kVersion);
}

TEST(Version, VersionPanelShowsTheProjectVersion) {
  const std::string panel = VANTREX_VERSION_PANEL;
  if (panel.empty()) GTEST_SKIP() << "the dialog plug-in is not built here";
  const std::string xib = ReadText(panel);
  std::smatch match;
  ASSERT_TRUE(std::regex_search(xib, match, std::regex(R"re(title="Version ([^"]*)")re"))) << panel;
  EXPECT_EQ(match[1].str(), kVersion);
}

TEST(Version, DebianChangelogTopEntryIsTheProjectVersion) {
  const std::string top = FirstLine(ReadText(VANTREX_CHANGELOG));
  std::smatch match;
  ASSERT_TRUE(std::regex_match(top, match, std::regex(R"re((\S+) \(([^)]+)\) \S+; urgency=\w+)re")))
      << top;
  EXPECT_EQ(match[1].str(), "vantrex");
  // A Debian revision ("-1") may follow the project version, nothing else.
  const std::string version = match[2].str();
  EXPECT_TRUE(version == kVersion || version.rfind(kVersion + "-", 0) == 0) << version;
}

}  // namespace

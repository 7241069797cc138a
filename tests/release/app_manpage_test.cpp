// SPDX-License-Identifier: Apache-2.0
// vantrex-printer-app(1) lists the application's sub-commands and options as
// its --help does, and its ten printer settings with the ranges, keywords
// and defaults the application really has.
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>

#include "vendor_options.h"
#include "private_cups.h"
#include "release_support.h"

namespace {

using namespace release_test;
using vantrex::test::RunCommand;

// The description lines of ".B <name>" up to the next paragraph request.
std::vector<std::string> Entry(const std::vector<std::string> &lines, const std::string &name) {
  std::vector<std::string> entry;
  size_t i = 0;
  while (i < lines.size() && lines[i] != ".B " + name) ++i;
  for (++i; i < lines.size() && lines[i] != ".TP" && lines[i] != ".PP" &&
            lines[i].rfind(".SH", 0) != 0;
       ++i)
    entry.push_back(lines[i]);
  return entry;
}

TEST(ManPages, PrinterAppPageListsTheApplicationsSettings) {
  const auto lines = ManLines("vantrex-printer-app.1");
  ASSERT_EQ(VendorOptions().size(), 10u);
  for (const tagVENDOROPTION &option : VendorOptions()) {
    const auto entry = Entry(lines, option.name);
    ASSERT_FALSE(entry.empty()) << option.name;
    const std::string def = FormatVendorValue(option, VendorDefault(option));
    if (option.range) {
      std::smatch m;
      const std::string text = entry.front();
      ASSERT_TRUE(std::regex_search(text, m, std::regex(R"re(^(-?\d+) to (-?\d+)\b.*default (-?\d+)\.$)re")))
          << option.name << ": " << text;
      EXPECT_EQ(std::stoi(m[1]), option.range->min) << option.name;
      EXPECT_EQ(std::stoi(m[2]), option.range->max) << option.name;
      EXPECT_EQ(m[3].str(), def) << option.name;
      continue;
    }
    // ".BR keyword " text" keyword ...": bold words are the keywords, and
    // the one before " (the default)..." is the default.
    std::set<std::string> keywords;
    std::vector<std::string> defaults;
    for (const std::string &line : entry) {
      ASSERT_EQ(line.rfind(".BR ", 0), 0u) << option.name << ": " << line;
      const auto args = RoffArguments(line);
      for (size_t k = 0; k < args.size(); k += 2) {
        if (args[k] == ".") continue;
        keywords.insert(args[k]);
        if (k + 1 < args.size() && args[k + 1].rfind(" (the default)", 0) == 0)
          defaults.push_back(args[k]);
      }
    }
    std::set<std::string> expected;
    for (const tagVENDORKEYWORD &keyword : option.keywords) expected.insert(keyword.keyword);
    EXPECT_EQ(keywords, expected) << option.name;
    EXPECT_EQ(defaults, std::vector<std::string>{def}) << option.name;
  }
}

// The first word of each indented line of a --help block ("Sub-commands:").
std::set<std::string> HelpBlock(const std::string &help, const std::string &title) {
  std::set<std::string> words;
  bool inside = false;
  for (const std::string &line : Split(help, '\n')) {
    if (line.empty() || line[0] != ' ') inside = line == title;
    else if (inside) words.insert(line.substr(2, line.find(' ', 2) - 2));
  }
  return words;
}

// The first argument of each ".TP" item of a section.
std::set<std::string> PageItems(const std::vector<std::string> &lines, const std::string &section) {
  std::set<std::string> items;
  bool inside = false;
  for (size_t i = 0; i + 1 < lines.size(); ++i) {
    if (lines[i].rfind(".SH", 0) == 0) inside = lines[i] == ".SH " + section;
    else if (inside && lines[i] == ".TP") items.insert(RoffArguments(lines[i + 1]).at(0));
  }
  return items;
}

TEST(ManPages, PrinterAppPageListsWhatItsHelpLists) {
  const std::string app = ProgramPath("vantrex-printer-app");
  ASSERT_FALSE(app.empty());
  const auto help = RunCommand({app, "--help"});
  ASSERT_EQ(help.status, 0) << help.output;
  const auto lines = ManLines("vantrex-printer-app.1");
  const auto commands = HelpBlock(help.output, "Sub-commands:");
  EXPECT_GE(commands.size(), 10u) << help.output;
  EXPECT_EQ(commands, PageItems(lines, "SUB-COMMANDS"));
  auto options = HelpBlock(help.output, "Options:");
  EXPECT_GE(options.size(), 5u) << help.output;
  options.insert({"--help", "--version"});
  EXPECT_EQ(options, PageItems(lines, "OPTIONS"));
}

}  // namespace

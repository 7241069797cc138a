// SPDX-License-Identifier: Apache-2.0
// The manual pages: each formats without a warning and is named as its
// file; each program's own usage and its page list the same options; the
// filter's page gives the job option table's ranges, defaults and choices.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>
#include <span>
#include <string>

#include "cmnFilter.h"
#include "private_cups.h"
#include "release_support.h"

namespace {

using namespace release_test;
using vantrex::test::RunCommand;
namespace fs = std::filesystem;

// Words that start with "-" and a letter: the options a text mentions.
std::set<std::string> OptionWords(const std::string &text) {
  std::set<std::string> words;
  const std::regex word(R"re((^|[\s\[\]|(),"'])(--?[A-Za-z][A-Za-z0-9-]*))re");
  for (auto it = std::sregex_iterator(text.begin(), text.end(), word); it != std::sregex_iterator();
       ++it) {
    words.insert((*it)[2].str());
  }
  return words;
}

// The lines of the page's SYNOPSIS and OPTIONS sections.
std::string SynopsisAndOptions(const std::vector<std::string> &lines) {
  std::string text;
  bool inside = false;
  for (const std::string &line : lines) {
    if (line.rfind(".SH", 0) == 0) inside = line == ".SH SYNOPSIS" || line == ".SH OPTIONS";
    else if (inside) text += line + "\n";
  }
  return text;
}

TEST(ManPages, EachFormatsWithoutWarningsUnderItsOwnName) {
  int pages = 0;
  for (const auto &entry : fs::directory_iterator(VANTREX_MAN_DIR)) {
    const std::string file = entry.path().filename();
    const std::string section = entry.path().extension().string().substr(1);
    if (section != "1" && section != "8") continue;
    ++pages;
    const auto run = RunCommand({VANTREX_GROFF, "-man", "-ww", "-z", "-Tutf8", entry.path()});
    EXPECT_EQ(run.status, 0) << file;
    EXPECT_EQ(run.output, "") << file;
    std::string upper = entry.path().stem();
    for (char &c : upper) c = static_cast<char>(toupper(c));
    const auto lines = ManLines(file);
    const auto th = std::find_if(lines.begin(), lines.end(),
                                 [](const std::string &l) { return l.rfind(".TH ", 0) == 0; });
    ASSERT_NE(th, lines.end()) << file;
    EXPECT_EQ(th->rfind(".TH " + upper + " " + section + " ", 0), 0u) << file << ": " << *th;
  }
  EXPECT_GE(pages, 5);
}

TEST(ManPages, ProgramUsageAndPageListTheSameOptions) {
  struct Case {
    const char *program;
    std::vector<std::string> usageArgs;  // arguments that make it print its usage
    const char *page;
  };
  const Case cases[] = {
      {"vantrex-decode", {"--help"}, "vantrex-decode.1"},
      {"vantrex-mkraster", {"-?"}, "vantrex-mkraster.1"},
      {"vantrex-rasterinfo", {"a", "b"}, "vantrex-rasterinfo.1"},
  };
  for (const Case &c : cases) {
    const std::string path = ProgramPath(c.program);
    ASSERT_FALSE(path.empty()) << c.program;
    std::vector<std::string> argv{path};
    argv.insert(argv.end(), c.usageArgs.begin(), c.usageArgs.end());
    const auto usage = RunCommand(argv);
    const auto fromUsage = OptionWords(usage.output);
    EXPECT_GE(fromUsage.size(), 1u) << usage.output;
    EXPECT_EQ(fromUsage, OptionWords(SynopsisAndOptions(ManLines(c.page)))) << c.program;
  }
}

// The line after ".B <keyword>" in the filter's page, or "" when absent.
std::string DescriptionOf(const std::vector<std::string> &lines, const std::string &keyword,
                          size_t from = 0) {
  for (size_t i = from; i + 1 < lines.size(); ++i)
    if (lines[i] == ".B " + keyword) return lines[i + 1];
  return {};
}

size_t LineOf(const std::vector<std::string> &lines, const std::string &line) {
  return static_cast<size_t>(std::find(lines.begin(), lines.end(), line) - lines.begin());
}

TEST(ManPages, FilterPageGivesTheJobOptionTable) {
  const auto lines = ManLines("vantrex-filter.8");
  for (const tagJOBOPTION &row : g_JobOptions) {
    const tagINTOPTION &option = row.option;
    if (row.choices.empty()) {
      const std::string text = DescriptionOf(lines, option.keyword);
      std::smatch m;
      ASSERT_TRUE(std::regex_search(text, m, std::regex(R"re(from (-?\d+) to (-?\d+); default (-?\d+))re")))
          << option.keyword << ": \"" << text << "\"";
      EXPECT_EQ(std::stoi(m[1]), option.min) << option.keyword;
      EXPECT_EQ(std::stoi(m[2]), option.max) << option.keyword;
      EXPECT_EQ(std::stoi(m[3]), option.def) << option.keyword;
      continue;
    }
    // The page lists the choices in the table's order inside .RS/.RE, each
    // as ".B <name>", and marks exactly the default one.
    size_t at = LineOf(lines, std::string(".B ") + option.keyword);
    ASSERT_LT(at, lines.size()) << option.keyword;
    const size_t end = std::find(lines.begin() + at, lines.end(), ".RE") - lines.begin();
    std::vector<std::string> names, defaults;
    for (size_t i = at + 1; i + 1 < end; ++i) {
      if (lines[i].rfind(".B ", 0) != 0) continue;
      names.push_back(lines[i].substr(3));
      if (lines[i + 1].find("(the default)") != std::string::npos) defaults.push_back(names.back());
    }
    std::vector<std::string> expected;
    std::string expectedDefault;
    for (const tagCHOICE &choice : row.choices) {
      expected.push_back(choice.name);
      if (choice.code == option.def) expectedDefault = choice.name;
    }
    EXPECT_EQ(names, expected) << option.keyword;
    EXPECT_EQ(defaults, std::vector<std::string>{expectedDefault}) << option.keyword;
  }
}

}  // namespace

// SPDX-License-Identifier: Apache-2.0
// The filter's messages are the ones its manual page lists: faulty jobs of
// every kind are run through the real program, and each line it writes on
// standard error must match one of the page's MESSAGES patterns (bold text
// literally, an italic word standing for any text).
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "private_cups.h"
#include "rasterwriter.h"
#include "release_support.h"

namespace {

using namespace release_test;
using vantrex::test::RunCommand;
namespace fs = std::filesystem;

std::string Literal(const std::string &text) {
  static const std::regex special(R"re([.^$|()\[\]{}*+?\\])re");
  return std::regex_replace(text, special, R"re(\$&)re");
}

// One pattern per .B or .BI line of the MESSAGES section.
std::vector<std::regex> DocumentedMessages() {
  std::vector<std::regex> patterns;
  bool inside = false;
  for (const std::string &line : ManLines("vantrex-filter.8")) {
    if (line.rfind(".SH", 0) == 0) inside = line == ".SH MESSAGES";
    if (!inside) continue;
    const bool bold = line.rfind(".B ", 0) == 0, boldItalic = line.rfind(".BI ", 0) == 0;
    if (!bold && !boldItalic) continue;
    std::string pattern;
    const auto args = RoffArguments(line);
    for (size_t k = 0; k < args.size(); ++k)
      pattern += bold ? (k ? " " : "") + Literal(args[k]) : (k % 2 ? ".+" : Literal(args[k]));
    patterns.emplace_back(pattern);
  }
  return patterns;
}

struct TempFolder {
  std::string path;
  TempFolder() {
    char name[] = "/tmp/vantrex-release-XXXXXX";
    path = mkdtemp(name) ? name : "";
  }
  ~TempFolder() {
    if (!path.empty()) fs::remove_all(path);
  }
};

void WriteRasterFile(const std::string &path, const std::vector<vraster::tagRASTERPAGE> &pages,
                     size_t cutTo = 0) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(vraster::WriteRaster(fd, pages, false));
  close(fd);
  if (cutTo) fs::resize_file(path, cutTo);
}

TEST(FilterMessages, EveryMessageOfAFaultyJobIsOnTheManualPage) {
  const auto patterns = DocumentedMessages();
  ASSERT_GE(patterns.size(), 10u);
  TempFolder dir;
  ASSERT_FALSE(dir.path.empty());
  const std::string junk = dir.path + "/junk", gray = dir.path + "/gray.ras",
                    cut = dir.path + "/cut.ras", wide = dir.path + "/wide.ras",
                    good = dir.path + "/good.ras";
  WriteBytesTo(junk, "not a raster at all");
  WriteRasterFile(gray, {{64, 8, CUPS_CSPACE_W, 8, {}}});
  // Two pages of 64 x 64 RGB, cut inside the second page's lines.
  WriteRasterFile(cut, {{64, 64, CUPS_CSPACE_RGB, 8, {}}, {64, 64, CUPS_CSPACE_RGB, 8, {}}},
                  1800 + 2 * 64 * 64 * 3 - 500);
  WriteRasterFile(wide, {{19841, 1, CUPS_CSPACE_RGB, 8, {}}});
  WriteRasterFile(good, {{64, 64, CUPS_CSPACE_RGB, 8, {}}});

  struct Job {
    std::string input;
    std::string output;  // where the stream goes
  };
  const Job jobs[] = {{dir.path + "/absent", "/dev/null"}, {junk, "/dev/null"},
                      {gray, "/dev/null"},                 {cut, "/dev/null"},
                      {wide, "/dev/null"},                 {good, "/dev/full"}};
  const std::string filter = ProgramPath("vantrex-filter");
  ASSERT_FALSE(filter.empty());
  std::set<size_t> used;
  int errors = 0;
  for (const Job &job : jobs) {
    const auto run = RunCommand({filter, "1", "user", "title", "1", "", job.input}, {}, job.output);
    EXPECT_EQ(run.status, 1) << job.input << ": " << run.output;
    for (const std::string &line : Split(run.output, '\n')) {
      errors += line.rfind("ERROR: ", 0) == 0;
      size_t k = 0;
      while (k < patterns.size() && !std::regex_match(line, patterns[k])) ++k;
      EXPECT_LT(k, patterns.size()) << "not on the manual page: \"" << line << "\"";
      used.insert(k);
    }
  }
  EXPECT_EQ(errors, 6);
  // PAGE, INFO and six different failures.
  EXPECT_GE(used.size(), 8u);
}

}  // namespace

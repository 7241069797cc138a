// SPDX-License-Identifier: Apache-2.0
// The vantrex-decode program as a user runs it: output, files and exit codes.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "stream_builder.h"

namespace {

using kt50test::StreamBuilder;
using kt50test::TempPath;

struct CliRun {
  int status = -1;
  std::string out, err;
};

std::string Slurp(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Runs the program through the shell with `args` (already quoted as needed)
// and standard input from `input`.
CliRun Decode(const std::string &args, const std::string &input = "/dev/null") {
  const std::string out = TempPath("cli.out"), err = TempPath("cli.err");
  const std::string command = std::string("'") + VANTREX_DECODE_BIN + "' " + args + " < '" +
                              input + "' > '" + out + "' 2> '" + err + "'";
  const int raw = std::system(command.c_str());
  CliRun run;
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  run.out = Slurp(out);
  run.err = Slurp(err);
  std::remove(out.c_str());
  std::remove(err.c_str());
  return run;
}

bool Exists(const std::string &path) { return access(path.c_str(), F_OK) == 0; }

std::string TwoPageJob() {
  StreamBuilder b;
  b.Header(4).Init().Size(9920, 14645).Block(1, 100, 1, {100}).FF();
  b.Init().Size(2364, 2364).FF();
  const std::string path = TempPath("two.prn");
  kt50test::WriteFile(path, b.bytes);
  return path;
}

TEST(DecodeCli, ChecksAndSummarises) {
  const std::string job = TwoPageJob();
  const CliRun byName = Decode("'" + job + "'");
  EXPECT_EQ(byName.status, 0) << byName.err;
  EXPECT_EQ(byName.out, "2 pages: 9920x14645, 2364x2364\n");
  EXPECT_EQ(byName.err, "");
  const CliRun byStdin = Decode("-", job);
  EXPECT_EQ(byStdin.status, 0);
  EXPECT_EQ(byStdin.out, byName.out);
  const CliRun empty = Decode("");
  EXPECT_EQ(empty.status, 0);
  EXPECT_EQ(empty.out, "0 pages\n");
  std::remove(job.c_str());
}

TEST(DecodeCli, SummaryFlagsInkBeyondTheWidth) {
  StreamBuilder b;
  b.Header().Init().Size(2364, 2364).Block(1, 0, 1, {0}, 2364).FF();
  b.Init().Size(2364, 2364).Block(1, 0, 1, {0}, 2363).FF();
  const std::string job = TempPath("beyond.prn");
  kt50test::WriteFile(job, b.bytes);
  const CliRun run = Decode("'" + job + "'");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "2 pages: 2364x2364 (ink beyond the width), 2364x2364\n");
  std::remove(job.c_str());
}

TEST(DecodeCli, ListsEveryCommandWithItsOffset) {
  const std::string job = TwoPageJob();
  const CliRun run = Decode("--list '" + job + "'");
  EXPECT_EQ(run.status, 0) << run.err;
  for (const char *line : {"       0  WRITE_DENSITY 4\n", "      20  ADJUST_LENGTH 0\n",
                           "write density 4, write speed 0", "      25  INIT\n",
                           "      28  SIZE          width 9920 height 14645\n",
                           "      35  LANE_NO       lane 1\n",
                           "      39  OFFSET_Y      first row 100\n",
                           "      44  RASTER        bytes per row 310, rows 1, data 310 bytes at 51\n",
                           "     361  FF\n", "     364  INIT\n", "     374  FF\n",
                           "2 pages: 9920x14645, 2364x2364\n"})
    EXPECT_NE(run.out.find(line), std::string::npos) << "missing: " << line << "\n" << run.out;
  std::remove(job.c_str());
}

TEST(DecodeCli, FaultsNameFileAndOffset) {
  StreamBuilder b;
  b.Header().Init().Size(9920, 100).LaneNo(1).OffsetY(0).Raster(1, 300);
  const std::string job = TempPath("bad.prn");
  kt50test::WriteFile(job, b.bytes);
  const CliRun run = Decode("'" + job + "'");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "vantrex-decode: " + job + ": offset 47: expected 310 bytes per row, found 300\n");
  EXPECT_EQ(run.out, "");

  const CliRun piped = Decode("", job);
  EXPECT_EQ(piped.status, 1);
  EXPECT_EQ(piped.err.rfind("vantrex-decode: stdin: offset 47: ", 0), 0u) << piped.err;

  const CliRun missing = Decode("'" + TempPath("missing.prn") + "'");
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("cannot read"), std::string::npos) << missing.err;
  std::remove(job.c_str());
}

TEST(DecodeCli, RendersOneFilePerPage) {
  const std::string job = TwoPageJob();
  const std::string prefix = TempPath("render");
  const CliRun png = Decode("--out '" + prefix + "' '" + job + "'");
  EXPECT_EQ(png.status, 0) << png.err;
  EXPECT_EQ(png.out, "2 pages: 9920x14645, 2364x2364\n" + prefix + "-1.png\n" + prefix + "-2.png\n");
  const std::string first = Slurp(prefix + "-1.png");
  ASSERT_GT(first.size(), 8u);
  EXPECT_EQ(first.substr(1, 3), "PNG");

  const CliRun pbm = Decode("--format pbm --out '" + prefix + "' -", job);
  EXPECT_EQ(pbm.status, 0) << pbm.err;
  const std::string second = Slurp(prefix + "-2.pbm");
  EXPECT_EQ(second.substr(0, 13), "P4\n2364 2364\n");
  EXPECT_EQ(second.size(), 13u + 296u * 2364u);
  for (const char *ext : {"-1.png", "-2.png", "-1.pbm", "-2.pbm"}) std::remove((prefix + ext).c_str());

  // A faulty job leaves no pictures, not even of its sound first page.
  std::vector<uint8_t> bytes = kt50test::ReadFile(job);
  bytes.resize(bytes.size() - 1);
  kt50test::WriteFile(job, bytes);
  const CliRun bad = Decode("--out '" + prefix + "' '" + job + "'");
  EXPECT_EQ(bad.status, 1);
  EXPECT_FALSE(Exists(prefix + "-1.png"));

  const CliRun unwritable = Decode("--out /nonexistent-dir/page -", TwoPageJob());
  EXPECT_EQ(unwritable.status, 1);
  EXPECT_NE(unwritable.err.find("/nonexistent-dir/page-1.png"), std::string::npos) << unwritable.err;
  std::remove(job.c_str());
}

TEST(DecodeCli, BadUsageExitsWithTwo) {
  for (const char *args : {"--bogus", "--format gif --out x", "--out", "--format", "a b",
                           "--format pbm"}) {
    const CliRun run = Decode(args);
    EXPECT_EQ(run.status, 2) << args;
    EXPECT_NE(run.err.find("usage: vantrex-decode"), std::string::npos) << args << ": " << run.err;
    EXPECT_EQ(run.out, "") << args;
  }
  const CliRun help = Decode("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("usage: vantrex-decode", 0), 0u);
}

}  // namespace

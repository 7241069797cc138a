// The private scheduler itself: it starts, serves clients, carries a raw
// job to its capture file, and leaves nothing behind.
#include "private_cups.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

using vantrex::test::PrivateCups;
namespace fs = std::filesystem;

std::string ReadAll(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(PrivateCupsLifecycle, RunsAndIsGoneAfterDestruction) {
  pid_t pid = -1;
  std::string root;
  {
    PrivateCups cups("");
    ASSERT_TRUE(cups.ok()) << cups.error();
    pid = cups.pid();
    root = cups.root();
    EXPECT_GT(pid, 0);
    EXPECT_EQ(cups.server(), "127.0.0.1:" + std::to_string(cups.port()));
    auto status = cups.run({"lpstat", "-h", cups.server(), "-r"});
    EXPECT_EQ(status.status, 0) << status.output;
    EXPECT_NE(status.output.find("scheduler is running"), std::string::npos) << status.output;
    EXPECT_TRUE(fs::is_directory(root));
  }
  EXPECT_EQ(kill(pid, 0), -1);
  EXPECT_EQ(errno, ESRCH);
  EXPECT_FALSE(fs::exists(root));
}

TEST(PrivateCupsLifecycle, TwoSchedulersUseDifferentPortsAndRoots) {
  PrivateCups a("");
  PrivateCups b("");
  ASSERT_TRUE(a.ok()) << a.error();
  ASSERT_TRUE(b.ok()) << b.error();
  EXPECT_NE(a.port(), b.port());
  EXPECT_NE(a.root(), b.root());
}

TEST(PrivateCupsQueues, RawJobReachesCaptureFileUnchanged) {
  PrivateCups cups("");
  ASSERT_TRUE(cups.ok()) << cups.error();
  const std::string out = cups.captureDir() + "/raw.out";
  ASSERT_TRUE(cups.addQueue("RAWQ", "", out)) << cups.error();

  // Every byte value, including ESC and NUL, which a text filter would alter.
  std::string data;
  for (int round = 0; round < 40; ++round)
    for (int b = 0; b < 256; ++b) data.push_back(static_cast<char>(b));
  const std::string in = cups.root() + "/raw.in";
  std::ofstream(in, std::ios::binary) << data;

  const int job = cups.submit("RAWQ", in, {"raw"});
  ASSERT_GT(job, 0) << cups.error();
  const ipp_jstate_t state = cups.waitForJob(job, 60);
  EXPECT_EQ(state, IPP_JSTATE_COMPLETED)
      << vantrex::test::JobStateName(state) << "\n" << cups.errorLog();
  EXPECT_EQ(ReadAll(out), data);
}

TEST(PrivateCupsQueues, MissingPpdOrUnknownJobIsReportedNotHidden) {
  PrivateCups cups("");
  ASSERT_TRUE(cups.ok()) << cups.error();
  EXPECT_FALSE(cups.addQueue("BAD", cups.root() + "/no-such.ppd", cups.captureDir() + "/x"));
  EXPECT_FALSE(cups.error().empty());
  EXPECT_EQ(cups.submit("NOQUEUE", "/etc/hostname"), 0);
  EXPECT_LT(cups.waitForJob(4242, 1), IPP_JSTATE_CANCELED);
}

TEST(PrivateCupsLifecycle, MissingFilterProgramFailsToStart) {
  PrivateCups cups("/nonexistent/vantrex-filter");
  EXPECT_FALSE(cups.ok());
  EXPECT_NE(cups.error().find("filter not found"), std::string::npos) << cups.error();
}

}  // namespace

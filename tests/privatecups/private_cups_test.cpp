// The private scheduler itself: it starts, serves clients, carries a raw
// job to its capture file, and leaves nothing behind.
#include "private_cups.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

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

// True while the process exists and is not a zombie left for its reaper.
bool Alive(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return false;
  const auto close = line.rfind(')');
  return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z';
}

TEST(PrivateCupsLifecycle, DaemonEndsWhenTheTestProcessDiesWithoutCleanUp) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // A test process that crashes: no destructor runs.
    close(fds[0]);
    PrivateCups cups("");
    const std::string report = std::to_string(cups.ok() ? cups.pid() : -1) + " " + cups.root();
    if (write(fds[1], report.c_str(), report.size()) < 0) _exit(2);
    close(fds[1]);
    _exit(0);
  }
  close(fds[1]);
  char buffer[512] = {};
  const ssize_t n = read(fds[0], buffer, sizeof buffer - 1);
  close(fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_GT(n, 0);
  pid_t daemon = -1;
  char root[400] = {};
  ASSERT_EQ(std::sscanf(buffer, "%d %399s", &daemon, root), 2) << buffer;
  ASSERT_GT(daemon, 0) << "the child could not start its scheduler";
  // Wait (bounded) for the daemon to notice; its parent is gone.
  for (int i = 0; i < 200 && Alive(daemon); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(Alive(daemon));
  if (Alive(daemon)) kill(daemon, SIGKILL);
  fs::remove_all(root);
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
  EXPECT_EQ(static_cast<int>(cups.waitForJob(4242, 1)), 0);
}

// The scheduler runs the filter as "lp": a build folder that only root may
// enter (a clone under /root) must not keep the filter from running.
TEST(PrivateCupsQueues, FilterFromAFolderOnlyRootMayEnterRuns) {
  char pattern[] = "/tmp/vantrex-private-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const fs::path dir = pattern;
  const std::string filter = (dir / "vantrex-filter").string();
  std::ofstream(filter) << "#!/bin/sh\necho \"filtered as $(id -un)\"\n";
  fs::permissions(filter, fs::perms::owner_all);
  fs::permissions(dir, fs::perms::owner_all);
  const std::string raster = (dir / "page.ras").string();
  std::ofstream(raster, std::ios::binary) << "RaS2" << std::string(2000, '\0');
  {
    PrivateCups cups(filter);
    ASSERT_TRUE(cups.ok()) << cups.error();
    const std::string out = cups.captureDir() + "/kt50.out";
    ASSERT_TRUE(cups.addQueue("KT50", VANTREX_PPD_PATH, out)) << cups.error();
    const int job = cups.submit("KT50", raster, {});
    ASSERT_GT(job, 0) << cups.error();
    const ipp_jstate_t state = cups.waitForJob(job, 60);
    EXPECT_EQ(state, IPP_JSTATE_COMPLETED)
        << vantrex::test::JobStateName(state) << "\n" << cups.errorLog();
    EXPECT_EQ(ReadAll(out).rfind("filtered as ", 0), 0u) << ReadAll(out);
  }
  fs::remove_all(dir);
}

TEST(PrivateCupsLifecycle, MissingFilterProgramFailsToStart) {
  PrivateCups cups("/nonexistent/vantrex-filter");
  EXPECT_FALSE(cups.ok());
  EXPECT_NE(cups.error().find("filter not found"), std::string::npos) << cups.error();
}

}  // namespace

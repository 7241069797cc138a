// SPDX-License-Identifier: Apache-2.0
#include "filter_support.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace vtest {

namespace {

std::string TempRoot() {
  const char *tmp = getenv("TMPDIR");
  return tmp && *tmp ? tmp : "/tmp";
}

std::vector<uint8_t> ReadWholeFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteWholeFile(const std::string &path, std::span<const uint8_t> bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

// Child side of RunProgram: wires the descriptors and execs; never returns.
[[noreturn]] void ExecChild(const std::vector<std::string> &argv, int stdinFd, int stdoutFd,
                            int stderrFd, const RunOptions &options) {
  dup2(stdinFd, STDIN_FILENO);
  dup2(stdoutFd, STDOUT_FILENO);
  dup2(stderrFd, STDERR_FILENO);
  signal(SIGPIPE, SIG_DFL);
  if (options.addressSpaceLimit) {
    const rlimit limit{options.addressSpaceLimit, options.addressSpaceLimit};
    setrlimit(RLIMIT_AS, &limit);
  }
  std::vector<char *> args;
  for (const std::string &a : argv) args.push_back(const_cast<char *>(a.c_str()));
  args.push_back(nullptr);
  execv(args[0], args.data());
  _exit(127);
}

long MsSince(const timespec &start) {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
}

// How much of the input the next write offers, pausing first now and then.
class Pacer {
 public:
  explicit Pacer(const RunOptions &options) : most_(options.writePieces), rng_(options.pieceSeed) {}
  size_t Piece(size_t left) {
    if (most_ == 0) return left;
    if (rng_() % 4 == 0) usleep(static_cast<useconds_t>(rng_() % 1000));
    return std::min<size_t>(left, 1 + rng_() % most_);
  }

 private:
  size_t most_;
  std::mt19937 rng_;
};

// Feeds `input` to inFd (if >= 0) and collects outFd until it ends, without
// blocking on either; cancels the child as the options say.
std::vector<uint8_t> Pump(pid_t pid, int inFd, std::span<const uint8_t> input, int outFd,
                          const RunOptions &options, RunResult &result) {
  const long closeOutputAfter = options.closeOutputAfter;
  const bool cancels = options.terminateAfterOutput >= 0 || options.terminateAfterMs >= 0;
  bool terminated = false;
  timespec start, termAt{};
  clock_gettime(CLOCK_MONOTONIC, &start);
  std::vector<uint8_t> out;
  size_t sent = 0;
  Pacer pacer(options);
  const auto terminate = [&] {
    kill(pid, SIGTERM);
    terminated = true;
    clock_gettime(CLOCK_MONOTONIC, &termAt);
    if (inFd >= 0 && !options.holdInputAfterTerminate) {
      close(inFd);
      inFd = -1;
    }
  };
  if (inFd >= 0) fcntl(inFd, F_SETFL, O_NONBLOCK);
  while (outFd >= 0 || (inFd >= 0 && sent < input.size())) {
    if (inFd >= 0 && sent == input.size() && !cancels) {
      close(inFd);
      inFd = -1;
    }
    if (terminated && MsSince(termAt) > options.killAfterTerminateMs) kill(pid, SIGKILL);
    if (!terminated && options.terminateAfterMs >= 0 && MsSince(start) >= options.terminateAfterMs)
      terminate();
    pollfd fds[2];
    nfds_t n = 0;
    if (inFd >= 0 && sent < input.size()) fds[n++] = {inFd, POLLOUT, 0};
    if (outFd >= 0) fds[n++] = {outFd, POLLIN, 0};
    if (poll(fds, n, cancels ? 10 : -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (nfds_t i = 0; i < n; ++i) {
      if (fds[i].revents == 0) continue;
      if (fds[i].fd == inFd) {
        const ssize_t w = write(inFd, input.data() + sent, pacer.Piece(input.size() - sent));
        if (w > 0) sent += static_cast<size_t>(w);
        if (w < 0 && errno != EAGAIN) {
          close(inFd);
          inFd = -1;
        }
      } else {
        uint8_t chunk[65536];
        const ssize_t r = read(outFd, chunk, sizeof chunk);
        if (r > 0) out.insert(out.end(), chunk, chunk + r);
        if (options.terminateAfterOutput >= 0 && !terminated &&
            static_cast<long>(out.size()) >= options.terminateAfterOutput)
          terminate();
        const bool enough = closeOutputAfter >= 0 && static_cast<long>(out.size()) >= closeOutputAfter;
        if (r == 0 || (r < 0 && errno != EINTR) || enough) {
          if (r == 0 && terminated) result.msToEndAfterTerminate = MsSince(termAt);
          close(outFd);
          outFd = -1;
        }
      }
    }
  }
  if (inFd >= 0) close(inFd);
  return out;
}

}  // namespace

std::vector<uint8_t> MakeRaster(std::span<const tagRASTERPAGE> pages, Compression compression) {
  TempFile file;
  const int fd = open(file.path().c_str(), O_WRONLY | O_TRUNC);
  if (fd < 0) throw std::runtime_error("cannot open " + file.path());
  const bool ok = vraster::WriteRaster(fd, pages, compression == Compression::Compressed);
  close(fd);
  if (!ok) throw std::runtime_error("libcups refused to write the raster");
  return ReadWholeFile(file.path());
}

tagRASTERPAGE RgbPage(uint32_t width, uint32_t height,
                      std::function<RGB(uint32_t x, uint32_t y)> pixel) {
  tagRASTERPAGE page;
  page.width = width;
  page.height = height;
  page.fill = [width, pixel = std::move(pixel)](uint32_t row, std::span<uint8_t> line) {
    for (uint32_t x = 0; x < width; ++x) {
      const RGB c = pixel(x, row);
      line[3 * x] = c.r;
      line[3 * x + 1] = c.g;
      line[3 * x + 2] = c.b;
    }
  };
  return page;
}

tagRASTERPAGE SolidPage(uint32_t width, uint32_t height, RGB color) {
  return RgbPage(width, height, [color](uint32_t, uint32_t) { return color; });
}

const std::string &FilterPath() {
  static const std::string path = VANTREX_FILTER_PATH;
  return path;
}

RunResult RunProgram(const std::vector<std::string> &command, std::span<const uint8_t> input,
                     const std::string &stdinFile, const RunOptions &options) {
  TempFile peakFile;
  std::vector<std::string> argv = command;
  if (options.measurePeakMemory) argv.insert(argv.begin(), {VANTREX_PEAKRSS_PATH, peakFile.path()});
  signal(SIGPIPE, SIG_IGN);  // a child that stops reading must not kill the test
  TempFile errFile;
  int inPipe[2] = {-1, -1}, outPipe[2];
  const int errFd = open(errFile.path().c_str(), O_WRONLY | O_TRUNC);
  int inFd = stdinFile.empty() ? -1 : open(stdinFile.c_str(), O_RDONLY);
  if (errFd < 0 || (!stdinFile.empty() && inFd < 0) || pipe(outPipe) != 0 ||
      (stdinFile.empty() && pipe(inPipe) != 0)) {
    throw std::runtime_error("cannot set up the child's descriptors");
  }
  if (stdinFile.empty()) inFd = inPipe[0];

  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    if (inPipe[1] >= 0) close(inPipe[1]);
    close(outPipe[0]);
    ExecChild(argv, inFd, outPipe[1], errFd, options);
  }
  close(inFd);
  close(outPipe[1]);
  close(errFd);

  RunResult result;
  result.out = Pump(pid, inPipe[1], input, outPipe[0], options, result);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  if (options.measurePeakMemory) {
    const std::vector<uint8_t> peak = ReadWholeFile(peakFile.path());
    result.maxRssKb = std::stol(std::string(peak.begin(), peak.end()));
  }
  const std::vector<uint8_t> err = ReadWholeFile(errFile.path());
  result.err.assign(err.begin(), err.end());
  return result;
}

RunResult RunFilter(const std::string &options, std::span<const uint8_t> raster, Input input,
                    const RunOptions &runOptions) {
  std::vector<std::string> argv{FilterPath(), "1", "tester", "test job", "1", options};
  if (input == Input::Pipe) return RunProgram(argv, raster, {}, runOptions);
  TempFile file(raster);
  if (input == Input::Stdin) return RunProgram(argv, {}, file.path(), runOptions);
  argv.push_back(file.path());
  return RunProgram(argv, {}, "/dev/null", runOptions);
}

TempFile::TempFile(std::span<const uint8_t> contents) {
  std::string pattern = TempRoot() + "/vantrex-test-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  dir_ = pattern;
  path_ = dir_ + "/data";
  WriteWholeFile(path_, contents);
}

TempFile::~TempFile() {
  unlink(path_.c_str());
  rmdir(dir_.c_str());
}

}  // namespace vtest

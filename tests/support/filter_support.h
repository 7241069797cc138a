// SPDX-License-Identifier: Apache-2.0
// Test support for everything that drives the filter:
//  - CUPS raster made through libcups (MakeRaster, with the page records and
//    line fills of tools/rasterwriter.h, plus a few ready-made fills);
//  - running the real vantrex-filter (RunFilter) or any program (RunProgram)
//    with its input on a pipe, a redirected file or a named file, capturing
//    standard output, standard error and the exit status.
// Link `vantrex_test_support`; it makes sure vantrex-filter is built first.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "rasterwriter.h"

namespace vtest {

using vraster::LineFill;
using vraster::tagRASTERPAGE;

// ----------------------------------------------------------------- raster --

enum class Compression { None, Compressed };

// The bytes of a CUPS raster holding `pages` (none: a raster without pages).
std::vector<uint8_t> MakeRaster(std::span<const tagRASTERPAGE> pages,
                                Compression compression = Compression::None);

// An 8-bit RGB page whose pixels come from `pixel(x, y)` -> {r, g, b}.
struct RGB {
  uint8_t r, g, b;
};
tagRASTERPAGE RgbPage(uint32_t width, uint32_t height,
                      std::function<RGB(uint32_t x, uint32_t y)> pixel);
// An 8-bit RGB page of one colour.
tagRASTERPAGE SolidPage(uint32_t width, uint32_t height, RGB color);

// ---------------------------------------------------------------- running --

enum class Input {
  Pipe,      // argc 6, raster written into standard input through a pipe
  Stdin,     // argc 6, standard input redirected from a file
  NamedFile  // argc 7, raster in a file named by argv[6]
};

struct RunResult {
  int exitStatus = -1;  // exit code, or 128 + signal number when killed
  std::vector<uint8_t> out;
  std::string err;
  long maxRssKb = -1;                // peak resident memory, when measured
  long msToEndAfterTerminate = -1;   // from SIGTERM to the end of its output
};

struct RunOptions {
  // Limit of the child's address space in bytes (RLIMIT_AS); 0 for none.
  // Useless under AddressSanitizer, which needs a huge address space.
  uint64_t addressSpaceLimit = 0;
  // Close the read end of standard output after this many bytes (emulates a
  // backend that goes away); -1 to read everything.
  long closeOutputAfter = -1;
  // Cancel the job as the scheduler does once this many output bytes have
  // arrived: SIGTERM to the child, then end of input. Until then the input
  // stays open after the last byte, as a slow upstream filter's would. -1: never.
  long terminateAfterOutput = -1;
  // Cancel this many milliseconds after the start instead. -1: never.
  long terminateAfterMs = -1;
  // Keep the input open after cancelling, as a stalled upstream filter
  // would; the child must end on the signal alone.
  bool holdInputAfterTerminate = false;
  // A child still running this long after SIGTERM is killed.
  long killAfterTerminateMs = 10000;
  // Measure the program's peak resident memory (RunResult::maxRssKb).
  bool measurePeakMemory = false;
  // Write the input in pieces of 1 to this many bytes, now and then pausing
  // up to a millisecond, as an upstream filter may (sizes and pauses drawn
  // from pieceSeed); 0: as fast as the pipe takes it.
  size_t writePieces = 0;
  unsigned pieceSeed = 0;
};

// Path of the vantrex-filter binary built with the tests.
const std::string &FilterPath();

// Runs `argv` (argv[0] is the program path) with `input` as standard input
// (a pipe) unless `stdinFile` names a file to redirect from.
RunResult RunProgram(const std::vector<std::string> &argv, std::span<const uint8_t> input,
                     const std::string &stdinFile = {}, const RunOptions &options = {});

// Runs vantrex-filter as CUPS does: argv[0] the queue, then job id, user,
// title, copies, `options` (argv[5]) and, for Input::NamedFile, a temporary
// file holding `raster`.
RunResult RunFilter(const std::string &options, std::span<const uint8_t> raster,
                    Input input = Input::Pipe, const RunOptions &runOptions = {});

// A file in a fresh temporary directory, both removed on destruction.
class TempFile {
 public:
  explicit TempFile(std::span<const uint8_t> contents = {});
  ~TempFile();
  TempFile(const TempFile &) = delete;
  TempFile &operator=(const TempFile &) = delete;
  const std::string &path() const { return path_; }

 private:
  std::string dir_;
  std::string path_;
};

}  // namespace vtest

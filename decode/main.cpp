// SPDX-License-Identifier: Apache-2.0
// vantrex-decode: checks a KT50 command stream, lists its commands and renders
// its pages, so a job can be seen before media is spent on it.
//
// Exit status: 0 for a sound stream, 1 for a faulty stream or a file that
// cannot be read or written, 2 for bad usage.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <span>
#include <string_view>
#include <vector>

#include "kt50image.h"
#include "kt50stream.h"
#include "vantrex_version.h"

namespace {

constexpr const char kProgram[] = "vantrex-decode";
constexpr const char kUsage[] =
    "usage: vantrex-decode [--list] [--out PREFIX] [--format png|pbm] [FILE|-]\n"
    "       vantrex-decode -h | --help | --version\n";
constexpr const char kHelp[] =
    "Checks a KT50 command stream (standard input when FILE is - or absent)\n"
    "and prints its pages and sizes.\n"
    "  --list          also list the job header and every command with its offset\n"
    "  --out PREFIX    render page n to PREFIX-n.png (black = ink)\n"
    "  --format pbm    render to PREFIX-n.pbm instead\n"
    "  --version       print the version and exit\n"
    "Pages of 1 to 9920 x 1 to 14645 pixels are accepted. Exit status: 0 sound,\n"
    "1 faulty stream or file error, 2 bad usage.\n";

struct Options {
  bool list = false;
  std::string outPrefix;
  kt50::ImageFormat format = kt50::ImageFormat::Png;
  std::string input = "-";
};

int Usage(const char *problem) {
  if (problem) std::fprintf(stderr, "%s: %s\n", kProgram, problem);
  std::fputs(kUsage, stderr);
  return 2;
}

// Returns 0 when the arguments are good, else the exit status.
int ParseArguments(int argc, char **argv, Options &options) {
  bool haveInput = false;
  bool haveFormat = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--list") {
      options.list = true;
    } else if (arg == "--out" || arg == "--format") {
      if (i + 1 >= argc) return Usage("option needs a value");
      const std::string_view value = argv[++i];
      if (arg == "--out") {
        if (value.empty()) return Usage("empty --out prefix");
        options.outPrefix = value;
      } else if (value == "png" || value == "pbm") {
        options.format = value == "png" ? kt50::ImageFormat::Png : kt50::ImageFormat::Pbm;
        haveFormat = true;
      } else {
        return Usage("--format takes png or pbm");
      }
    } else if (arg == "-h" || arg == "--help") {
      std::fputs(kUsage, stdout);
      std::fputs(kHelp, stdout);
      std::exit(0);
    } else if (arg == "--version") {
      std::puts("vantrex-decode " VANTREX_VERSION);
      std::exit(0);
    } else if (arg.size() > 1 && arg[0] == '-') {
      return Usage("unknown option");
    } else {
      if (haveInput) return Usage("only one input file");
      options.input = arg;
      haveInput = true;
    }
  }
  if (haveFormat && options.outPrefix.empty()) return Usage("--format needs --out");
  return 0;
}

bool ReadAll(const std::string &name, std::vector<uint8_t> &bytes) {
  std::FILE *file = name == "-" ? stdin : std::fopen(name.c_str(), "rb");
  if (!file) return false;
  struct stat info {};
  if (fstat(fileno(file), &info) == 0 && S_ISREG(info.st_mode))
    bytes.reserve(static_cast<size_t>(info.st_size));
  uint8_t chunk[1 << 16];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
    bytes.insert(bytes.end(), chunk, chunk + got);
  const bool ok = !std::ferror(file);
  if (file != stdin) std::fclose(file);
  return ok;
}

void PrintCommand(const kt50::Command &cmd) {
  const char *name = kt50::CommandName(cmd.code);
  if (cmd.paramCount == 0) {
    std::printf("%8zu  %s\n", cmd.offset, name);
    return;
  }
  std::printf("%8zu  %-13s", cmd.offset, name);
  switch (cmd.code) {
    case kCmdSize:
      std::printf(" width %d height %d", cmd.params[0], cmd.params[1]);
      break;
    case kCmdLaneNo:
      std::printf(" lane %d", cmd.params[0]);
      break;
    case kCmdOffsetY:
      std::printf(" first row %d", cmd.params[0]);
      break;
    case kCmdRaster:
      std::printf(" bytes per row %d, rows %d, data %zu bytes at %zu", cmd.params[0],
                  cmd.params[1], cmd.dataBytes, cmd.dataOffset);
      break;
    default:
      if (cmd.paramCount == 1) std::printf(" %d", cmd.params[0]);
      break;
  }
  std::putchar('\n');
}

void PrintHeader(const kt50::JobHeader &h) {
  std::printf("job header: write density %d, write speed %d, write repeat %d, "
              "line enhancement %d, lane overlap %d, length adjustment %d\n",
              h.writeDensity, h.writeSpeed, h.writeRepeat, h.lineEnhance, h.laneOverlap,
              h.adjustLength);
}

void PrintSummary(const std::vector<kt50::Page> &pages) {
  std::printf("%zu page%s", pages.size(), pages.size() == 1 ? "" : "s");
  for (size_t i = 0; i < pages.size(); ++i)
    std::printf("%s%dx%d%s", i == 0 ? ": " : ", ", pages[i].width, pages[i].height,
                pages[i].inkBeyondWidth ? " (ink beyond the width)" : "");
  std::putchar('\n');
}

int Fail(const std::string &input, const std::string &message) {
  std::fflush(stdout);
  std::fprintf(stderr, "%s: %s: %s\n", kProgram, input == "-" ? "stdin" : input.c_str(),
               message.c_str());
  return 1;
}

// Renders every page to PREFIX-<n>.<ext>, one page in memory at a time.
int RenderPages(const Options &options, std::span<const uint8_t> bytes) {
  const char *ext = options.format == kt50::ImageFormat::Png ? "png" : "pbm";
  int number = 0;
  std::string writeError;
  kt50::StreamVisitor visitor;
  visitor.page = [&](kt50::Page &&page) {
    const std::string path = options.outPrefix + "-" + std::to_string(++number) + "." + ext;
    if (!kt50::WritePageImage(page, options.format, path, writeError)) return false;
    std::printf("%s\n", path.c_str());
    return true;
  };
  kt50::DecodeError error;
  if (kt50::DecodeStream(bytes, visitor, error)) return 0;
  if (!writeError.empty()) return Fail(options.input, writeError);
  return Fail(options.input, "offset " + std::to_string(error.offset) + ": " + error.message);
}

}  // namespace

int main(int argc, char **argv) {
  Options options;
  if (const int status = ParseArguments(argc, argv, options)) return status;

  std::vector<uint8_t> bytes;
  if (!ReadAll(options.input, bytes))
    return Fail(options.input, std::string("cannot read: ") + std::strerror(errno));

  // Check the whole stream before writing any picture, so a faulty job
  // leaves no partial set of pages behind.
  std::vector<kt50::Page> pages;
  kt50::StreamVisitor check;
  check.placeBitmaps = false;
  if (options.list) {
    check.header = [](const kt50::JobHeader &header, size_t) { PrintHeader(header); };
    check.command = PrintCommand;
  }
  check.page = [&pages](kt50::Page &&page) {
    pages.push_back(std::move(page));
    return true;
  };
  kt50::DecodeError error;
  if (!kt50::DecodeStream(bytes, check, error))
    return Fail(options.input, "offset " + std::to_string(error.offset) + ": " + error.message);
  PrintSummary(pages);

  const int status = options.outPrefix.empty() ? 0 : RenderPages(options, bytes);
  // A listing that could not be written is no success.
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "%s: standard output: %s\n", kProgram, std::strerror(errno));
    return 1;
  }
  return status;
}

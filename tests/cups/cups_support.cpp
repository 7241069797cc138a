// SPDX-License-Identifier: Apache-2.0
#include "cups_support.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#ifndef VANTREX_CUPS_SERVERBIN
#define VANTREX_CUPS_SERVERBIN "/usr/lib/cups"
#endif

namespace vantrex::test {
namespace fs = std::filesystem;

TempDir::TempDir() {
  char pattern[] = "/tmp/vantrex-cupstest-XXXXXX";
  if (mkdtemp(pattern)) {
    path_ = pattern;
    // Filters may run as "lp" and must reach what lies here.
    chmod(path_.c_str(), 0755);
  }
}

TempDir::~TempDir() {
  if (path_.empty() || std::getenv("VANTREX_KEEP_CUPS")) return;
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::vector<uint8_t> ReadBytes(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool WriteBytes(const std::string &path, const std::vector<uint8_t> &bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char *>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return out.good();
}

bool MakePdf(const std::string &postscript, const std::string &pdfPath, std::string &error) {
  const std::string psPath = pdfPath + ".ps";
  std::ofstream(psPath) << postscript;
  CommandResult made = RunCommand({"ps2pdf", psPath, pdfPath});
  if (made.status != 0 || !fs::exists(pdfPath) || fs::file_size(pdfPath) == 0) {
    error = "ps2pdf failed: " + made.output;
    return false;
  }
  return true;
}

FilterChain::FilterChain(const std::string &filterPath, const std::string &ppdPath)
    : ppd_(ppdPath) {
  const fs::path systemBin = VANTREX_CUPS_SERVERBIN;
  const fs::path bin = dir_.path() + "/bin";
  std::error_code ec;
  fs::create_directories(bin / "filter", ec);
  for (const auto &entry : fs::directory_iterator(systemBin / "filter", ec))
    if (!ec) fs::create_symlink(entry.path(), bin / "filter" / entry.path().filename(), ec);
  if (!ec) fs::create_symlink(fs::absolute(filterPath), bin / "filter/vantrex-filter", ec);
  for (const char *sub : {"backend", "cgi-bin", "daemon", "driver", "monitor", "notifier"})
    if (!ec && fs::exists(systemBin / sub)) fs::create_symlink(systemBin / sub, bin / sub, ec);
  if (ec || !fs::exists(filterPath)) {
    error_ = "cannot set up a ServerBin with " + filterPath + ": " + ec.message();
    return;
  }
  std::ofstream(dir_.file("cups-files.conf")) << "ServerBin " << bin.string() << "\n";
  ok_ = true;
}

CommandResult FilterChain::print(const std::string &document,
                                 const std::vector<std::string> &options,
                                 const std::string &outPath) const {
  std::vector<std::string> argv{"cupsfilter", "-c", dir_.file("cups-files.conf"), "-p", ppd_, "-e",
                                "-m", "printer/kt50"};
  for (const auto &option : options) {
    argv.push_back("-o");
    argv.push_back(option);
  }
  argv.push_back(document);
  return RunCommand(argv, {}, outPath);
}

double InkShare(const kt50::Page &page, int x0, int y0, int x1, int y1) {
  long inked = 0, total = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x, ++total)
      if (page.inked(x, y)) ++inked;
  return total ? static_cast<double>(inked) / static_cast<double>(total) : 0.0;
}

std::pair<int, int> Mirrored(int x0, int x1, int width) {
  return {width - x1, width - x0};
}

}  // namespace vantrex::test

#include "cups_support.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
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

extern char **environ;

namespace vantrex::test {
namespace fs = std::filesystem;

TempDir::TempDir() {
  char pattern[] = "/tmp/vantrex-test-XXXXXX";
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

CommandResult RunProgram(const std::vector<std::string> &argv,
                         const std::vector<std::string> &extraEnv,
                         const std::string &stdoutPath) {
  CommandResult result;
  if (argv.empty()) return result;
  std::vector<std::string> env;
  for (char **e = environ; *e; ++e) env.emplace_back(*e);
  env.insert(env.end(), extraEnv.begin(), extraEnv.end());
  std::vector<char *> envp, args;
  for (auto &e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  for (const auto &a : argv) args.push_back(const_cast<char *>(a.c_str()));
  args.push_back(nullptr);

  int outFd = -1;
  if (!stdoutPath.empty()) {
    outFd = open(stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (outFd < 0) {
      result.output = "cannot create " + stdoutPath + ": " + std::strerror(errno);
      return result;
    }
  }
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    if (outFd >= 0) close(outFd);
    return result;
  }
  const pid_t child = fork();
  if (child == 0) {
    dup2(outFd >= 0 ? outFd : fds[1], 1);
    dup2(fds[1], 2);
    execvpe(args[0], args.data(), envp.data());
    _exit(127);
  }
  close(fds[1]);
  if (outFd >= 0) close(outFd);
  if (child < 0) {
    close(fds[0]);
    return result;
  }
  char buffer[4096];
  ssize_t n;
  while ((n = read(fds[0], buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR))
    if (n > 0) result.output.append(buffer, static_cast<size_t>(n));
  close(fds[0]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
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
  CommandResult made = RunProgram({"ps2pdf", psPath, pdfPath});
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
  return RunProgram(argv, {}, outPath);
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

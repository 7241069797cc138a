// SPDX-License-Identifier: Apache-2.0
#include "pde_host.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace pde_test {
namespace {

std::string quote(const std::string &text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') quoted += "'\\''";
    else quoted += c;
  }
  return quoted + "'";
}

// One Xvfb per test process, started on a display it picks itself and
// stopped by its process id when the tests end.
class VirtualDisplay : public ::testing::Environment {
public:
  void SetUp() override {
    // Under the sanitizers: the toolkit's own leaks at exit are not ours.
    setenv("LSAN_OPTIONS", "suppressions=" VANTREX_LSAN_SUPPRESSIONS ":print_suppressions=0", 0);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_ = fork();
    ASSERT_GE(pid_, 0);
    if (pid_ == 0) {
      close(fds[0]);
      std::string fd = std::to_string(fds[1]);
      execl(VANTREX_XVFB, "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24",
            "-nolisten", "tcp", static_cast<char *>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    std::string display;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') display += c;
    close(fds[0]);
    ASSERT_FALSE(display.empty()) << "Xvfb did not start";
    setenv("DISPLAY", (":" + display).c_str(), 1);
  }
  void TearDown() override {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    for (const std::string &dir : tempDirs) fs::remove_all(dir);
  }
  static std::vector<std::string> tempDirs;

private:
  pid_t pid_ = -1;
};

std::vector<std::string> VirtualDisplay::tempDirs;
[[maybe_unused]] auto *const display =
    ::testing::AddGlobalTestEnvironment(new VirtualDisplay);

}  // namespace

std::string HostRun::operator[](const std::string &label) const {
  auto found = values.find(label);
  return found != values.end() ? found->second : "<missing " + label + ">";
}

std::vector<std::string> HostRun::all(const std::string &label) const {
  std::vector<std::string> found;
  for (const std::string &line : lines)
    if (line.rfind(label + " = ", 0) == 0) found.push_back(line.substr(label.size() + 3));
  return found;
}

std::string HostRun::dump() const {
  std::string text = "status " + std::to_string(status) + "\n";
  for (const std::string &line : lines) text += line + "\n";
  return text + "stderr (last part):\n" +
         errors.substr(errors.size() > 2000 ? errors.size() - 2000 : 0);
}

std::string makeTempDir() {
  std::string pattern = (fs::temp_directory_path() / "vantrex-pde-XXXXXX").string();
  char *made = mkdtemp(pattern.data());
  if (made == nullptr) return {};
  VirtualDisplay::tempDirs.push_back(made);
  return made;
}

std::string readFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream data;
  data << in.rdbuf();
  return data.str();
}

void writeFile(const std::string &path, const std::string &data) {
  std::ofstream(path, std::ios::binary) << data;
}

HostRun runHost(const std::vector<std::string> &args, const std::string &script,
                const std::vector<std::string> &env) {
  HostRun run;
  std::string dir = makeTempDir();
  std::string command = "env";
  for (const std::string &entry : env) command += " " + quote(entry);
  command += " " + quote(VANTREX_PDE_HOST);
  bool hasPpd = false;
  for (const std::string &arg : args) {
    hasPpd = hasPpd || arg == "--ppd";
    command += " " + quote(arg);
  }
  if (!hasPpd) command += " --ppd " + quote(VANTREX_PPD);
  if (!script.empty()) {
    writeFile(dir + "/script", script);
    command += " --script " + quote(dir + "/script");
  }
  command += " 2>" + quote(dir + "/stderr") + " </dev/null";
  FILE *out = popen(command.c_str(), "r");
  if (out == nullptr) return run;
  char buffer[4096];
  std::string text;
  while (fgets(buffer, sizeof buffer, out) != nullptr) text += buffer;
  int status = pclose(out);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.errors = readFile(dir + "/stderr");
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    run.lines.push_back(line);
    std::size_t eq = line.find(" = ");
    if (eq != std::string::npos) run.values[line.substr(0, eq)] = line.substr(eq + 3);
  }
  return run;
}

std::string kt50PpdText() { return readFile(VANTREX_PPD); }

std::string ppdWithoutOption(const std::string &keyword) {
  std::istringstream in(kt50PpdText());
  std::string out, line;
  bool skipping = false;
  while (std::getline(in, line)) {
    if (line.rfind("*OpenUI *" + keyword + "/", 0) == 0) skipping = true;
    if (!skipping) out += line + "\n";
    if (skipping && line.rfind("*CloseUI: *" + keyword, 0) == 0) skipping = false;
  }
  return out;
}

}  // namespace pde_test

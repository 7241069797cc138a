// SPDX-License-Identifier: Apache-2.0
#include "private_cups.h"

#include <arpa/inet.h>
#include <cups/cups.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#ifndef VANTREX_CUPSD
#define VANTREX_CUPSD "/usr/sbin/cupsd"
#endif
#ifndef VANTREX_CUPS_SERVERBIN
#define VANTREX_CUPS_SERVERBIN "/usr/lib/cups"
#endif

extern char **environ;

namespace vantrex::test {
namespace fs = std::filesystem;

namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(100);

// Copies a job to the file named after "capture:" in DEVICE_URI. Without
// arguments it answers the scheduler's device discovery.
constexpr const char kCaptureBackend[] = R"(#!/bin/sh
if [ $# -eq 0 ]; then
  echo 'direct capture "Unknown" "Test capture to a file"'
  exit 0
fi
out=${DEVICE_URI#capture:}
if [ $# -ge 6 ]; then cat "$6" > "$out" || exit 1
else cat > "$out" || exit 1
fi
exit 0
)";

bool WriteFile(const std::string &path, const std::string &text, mode_t mode) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  return out.good() && chmod(path.c_str(), mode) == 0;
}

// Asks the kernel for a loopback port that is free right now.
int FindFreePort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return 0;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len) == 0)
    port = ntohs(addr.sin_port);
  close(fd);
  return port;
}

bool CanConnect(int port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return false;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  bool ok = connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0;
  close(fd);
  return ok;
}

std::string ReadFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Links every entry of a system directory into ours.
bool LinkEntries(const fs::path &from, const fs::path &to) {
  std::error_code ec;
  for (const auto &entry : fs::directory_iterator(from, ec)) {
    fs::create_symlink(entry.path(), to / entry.path().filename(), ec);
    if (ec) return false;
  }
  return !ec;
}

}  // namespace

PrivateCups::PrivateCups(const std::string &filterPath) {
  if (!prepareRoot(filterPath) || !startDaemon() || !waitUntilListening()) {
    stop();
    return;
  }
  running_ = true;
}

PrivateCups::~PrivateCups() { stop(); }

std::string PrivateCups::server() const {
  return "127.0.0.1:" + std::to_string(port_);
}

std::string PrivateCups::captureDir() const { return root_ + "/out"; }

namespace {

// Scheduler settings: loopback only, no browsing, anyone may do anything.
std::string CupsdConf(int port) {
  return "LogLevel debug\n"
         "MaxLogSize 0\n"
         "Listen 127.0.0.1:" + std::to_string(port) + "\n"
         "Browsing No\n"
         "BrowseLocalProtocols none\n"
         "WebInterface No\n"
         "DefaultAuthType None\n"
         "ErrorPolicy abort-job\n"
         "PreserveJobHistory Yes\n"
         "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
         "<Location /admin>\n  Order allow,deny\n  Allow all\n</Location>\n"
         "<Policy default>\n"
         "  JobPrivateAccess all\n  JobPrivateValues none\n"
         "  SubscriptionPrivateAccess all\n  SubscriptionPrivateValues none\n"
         "  <Limit All>\n    Order deny,allow\n  </Limit>\n"
         "</Policy>\n";
}

// Every file and folder of the scheduler under root.
std::string CupsFilesConf(const std::string &r) {
  return "ServerRoot " + r + "/conf\n"
         "RequestRoot " + r + "/spool\n"
         "TempDir " + r + "/spool/tmp\n"
         "CacheDir " + r + "/cache\n"
         "StateDir " + r + "/state\n"
         "ServerBin " + r + "/bin\n"
         "ServerKeychain " + r + "/ssl\n"
         "AccessLog " + r + "/log/access_log\n"
         "ErrorLog " + r + "/log/error_log\n"
         "PageLog " + r + "/log/page_log\n"
         "LogFilePerm 0644\n"
         "FileDevice No\n";
}

// ServerBin: the system's programs, plus our filter when one is given.
std::string LinkServerBin(const std::string &root, const std::string &filterPath) {
  const fs::path systemBin = VANTREX_CUPS_SERVERBIN;
  std::error_code ec;
  for (const char *dir : {"cgi-bin", "daemon", "driver", "monitor", "notifier"})
    if (fs::exists(systemBin / dir)) fs::create_symlink(systemBin / dir, root + "/bin/" + dir, ec);
  if (ec || !LinkEntries(systemBin / "filter", root + "/bin/filter"))
    return "cannot link the system's ServerBin " + systemBin.string();
  if (filterPath.empty()) return {};
  if (!fs::exists(filterPath)) return "filter not found: " + filterPath;
  // A copy, not a link: the scheduler runs filters as "lp", which may not
  // enter the build folder (a clone under /root, say).
  const fs::path filter = root + "/bin/filter/vantrex-filter";
  fs::copy_file(filterPath, filter, fs::copy_options::overwrite_existing, ec);
  if (!ec) fs::permissions(filter, fs::perms::owner_all | fs::perms::group_read |
                                       fs::perms::group_exec | fs::perms::others_read |
                                       fs::perms::others_exec, ec);
  if (ec) return "cannot copy the filter " + filterPath + ": " + ec.message();
  return {};
}

}  // namespace

bool PrivateCups::prepareRoot(const std::string &filterPath) {
  char pattern[] = "/tmp/vantrex-cups-XXXXXX";
  if (!mkdtemp(pattern)) {
    error_ = std::string("mkdtemp: ") + std::strerror(errno);
    return false;
  }
  root_ = pattern;
  // The daemon's children run as "lp": they must reach the tree.
  chmod(root_.c_str(), 0755);
  std::error_code ec;
  for (const char *dir : {"conf", "conf/ppd", "spool", "spool/tmp", "cache", "state",
                          "log", "ssl", "bin", "bin/filter", "bin/backend", "out"})
    fs::create_directories(root_ + "/" + dir, ec);
  if (ec) {
    error_ = "cannot create " + root_ + ": " + ec.message();
    return false;
  }
  chmod((root_ + "/out").c_str(), 01777);
  error_ = LinkServerBin(root_, filterPath);
  if (!error_.empty()) return false;
  port_ = FindFreePort();
  if (port_ == 0) {
    error_ = "no free loopback port";
    return false;
  }
  if (!WriteFile(root_ + "/conf/cupsd.conf", CupsdConf(port_), 0644) ||
      !WriteFile(root_ + "/conf/cups-files.conf", CupsFilesConf(root_), 0644) ||
      !WriteFile(root_ + "/bin/backend/capture", kCaptureBackend, 0755)) {
    error_ = "cannot write the configuration under " + root_;
    return false;
  }
  return true;
}

bool PrivateCups::startDaemon() {
  const std::string confPath = root_ + "/conf/cupsd.conf";
  const std::string filesPath = root_ + "/conf/cups-files.conf";
  const std::string outPath = root_ + "/log/cupsd.out";
  const pid_t parent = getpid();
  pid_t child = fork();
  if (child < 0) {
    error_ = std::string("fork: ") + std::strerror(errno);
    return false;
  }
  if (child == 0) {
    // Also stop the daemon if the test process dies without its destructor.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);
    int in = open("/dev/null", O_RDONLY);
    int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in >= 0) dup2(in, 0);
    if (out >= 0) {
      dup2(out, 1);
      dup2(out, 2);
    }
    execl(VANTREX_CUPSD, "cupsd", "-f", "-c", confPath.c_str(), "-s", filesPath.c_str(),
          static_cast<char *>(nullptr));
    _exit(127);
  }
  pid_ = child;
  return true;
}

bool PrivateCups::waitUntilListening() {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      error_ = "cupsd ended at start-up: " + ReadFile(root_ + "/log/cupsd.out") + errorLog();
      return false;
    }
    if (CanConnect(port_)) return true;
    std::this_thread::sleep_for(kPollInterval);
  }
  error_ = "cupsd did not listen on " + server() + ": " + errorLog();
  return false;
}

void PrivateCups::stop() {
  running_ = false;
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() >= deadline) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    pid_ = -1;
  }
  if (!root_.empty() && !std::getenv("VANTREX_KEEP_CUPS")) {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }
}

bool PrivateCups::addQueue(const std::string &name, const std::string &ppdPath,
                           const std::string &captureFile) {
  std::vector<std::string> argv{"lpadmin", "-h", server(), "-p", name, "-E",
                                "-v", "capture:" + captureFile};
  if (!ppdPath.empty()) {
    argv.push_back("-P");
    argv.push_back(fs::absolute(ppdPath).string());
  }
  CommandResult result = run(argv);
  if (result.status != 0) {
    error_ = "lpadmin failed: " + result.output;
    return false;
  }
  return true;
}

int PrivateCups::submit(const std::string &queue, const std::string &file,
                        const std::vector<std::string> &options) {
  std::vector<std::string> argv{"lp", "-h", server(), "-d", queue};
  for (const auto &option : options) {
    argv.push_back("-o");
    argv.push_back(option);
  }
  argv.push_back(file);
  CommandResult result = run(argv);
  // lp answers "request id is QUEUE-ID (1 file(s))".
  const std::string marker = "request id is " + queue + "-";
  const auto at = result.output.find(marker);
  if (result.status != 0 || at == std::string::npos) {
    error_ = "lp failed: " + result.output;
    return 0;
  }
  return std::atoi(result.output.c_str() + at + marker.size());
}

namespace {

// Asks the scheduler for one attribute of a job; null when it cannot.
ipp_t *GetJobAttribute(int port, int jobId, const char *attribute) {
  http_t *http = httpConnect2("127.0.0.1", port, nullptr, AF_INET, HTTP_ENCRYPTION_NEVER,
                              1, 5000, nullptr);
  if (!http) return nullptr;
  ipp_t *request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
  const std::string uri =
      "ipp://127.0.0.1:" + std::to_string(port) + "/jobs/" + std::to_string(jobId);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri.c_str());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
               cupsUser());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr,
               attribute);
  ipp_t *response = cupsDoRequest(http, request, "/");
  httpClose(http);
  if (response && ippGetStatusCode(response) > IPP_STATUS_OK_EVENTS_COMPLETE) {
    ippDelete(response);
    return nullptr;
  }
  return response;
}

}  // namespace

ipp_jstate_t PrivateCups::waitForJob(int jobId, int timeoutSeconds) {
  auto state = static_cast<ipp_jstate_t>(0);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  do {
    if (ipp_t *response = GetJobAttribute(port_, jobId, "job-state")) {
      if (ipp_attribute_t *attr = ippFindAttribute(response, "job-state", IPP_TAG_ENUM))
        state = static_cast<ipp_jstate_t>(ippGetInteger(attr, 0));
      ippDelete(response);
    }
    if (state >= IPP_JSTATE_STOPPED) return state;
    std::this_thread::sleep_for(kPollInterval);
  } while (std::chrono::steady_clock::now() < deadline);
  return state;
}

std::string PrivateCups::jobMessage(int jobId) {
  std::string message;
  if (ipp_t *response = GetJobAttribute(port_, jobId, "job-printer-state-message")) {
    if (ipp_attribute_t *attr = ippFindAttribute(response, "job-printer-state-message",
                                                 IPP_TAG_TEXT))
      message = ippGetString(attr, 0, nullptr);
    ippDelete(response);
  }
  return message;
}

int PrivateCups::jobImpressions(int jobId) {
  int impressions = -1;
  if (ipp_t *response = GetJobAttribute(port_, jobId, "job-impressions-completed")) {
    if (ipp_attribute_t *attr = ippFindAttribute(response, "job-impressions-completed",
                                                 IPP_TAG_INTEGER))
      impressions = ippGetInteger(attr, 0);
    ippDelete(response);
  }
  return impressions;
}

std::string PrivateCups::pageLog() const {
  return root_.empty() ? std::string() : ReadFile(root_ + "/log/page_log");
}

CommandResult PrivateCups::run(const std::vector<std::string> &argv) const {
  return RunCommand(argv, {"CUPS_SERVER=" + server()});
}

void PrivateCups::useForThisProcess() const {
  const std::string s = server();
  setenv("CUPS_SERVER", s.c_str(), 1);
  cupsSetServer(s.c_str());
}

std::string PrivateCups::errorLog() const {
  return root_.empty() ? std::string() : ReadFile(root_ + "/log/error_log");
}

CommandResult RunCommand(const std::vector<std::string> &argv,
                         const std::vector<std::string> &env,
                         const std::string &stdoutPath) {
  CommandResult result;
  if (argv.empty()) return result;
  // Everything the child needs is built before fork.
  auto named = [](const std::string &entry, const std::string &other) {
    const auto eq = entry.find('=');
    return eq != std::string::npos && other.compare(0, eq + 1, entry, 0, eq + 1) == 0;
  };
  std::vector<std::string> environment;
  for (char **e = environ; *e; ++e) {
    const std::string entry = *e;
    bool replaced = false;
    for (const auto &set : env) replaced = replaced || named(set, entry);
    if (!replaced) environment.push_back(entry);
  }
  environment.insert(environment.end(), env.begin(), env.end());
  std::vector<char *> envp, args;
  for (auto &e : environment) envp.push_back(e.data());
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

const char *JobStateName(ipp_jstate_t state) {
  switch (state) {
    case IPP_JSTATE_PENDING: return "pending";
    case IPP_JSTATE_HELD: return "held";
    case IPP_JSTATE_PROCESSING: return "processing";
    case IPP_JSTATE_STOPPED: return "stopped";
    case IPP_JSTATE_CANCELED: return "canceled";
    case IPP_JSTATE_ABORTED: return "aborted";
    case IPP_JSTATE_COMPLETED: return "completed";
  }
  return "unknown";
}

}  // namespace vantrex::test

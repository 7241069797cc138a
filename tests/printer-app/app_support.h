// Test support for vantrex-printer-app: a private server (scripts/printer-app-server.sh)
// owned by the test and stopped by PID when it goes out of scope, IPP jobs
// through libcups, and 8-bit gray PWG raster made through libcups.
#pragma once

#include <cups/cups.h>
#include <cups/raster.h>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace apptest {

using Options = std::vector<std::pair<std::string, std::string>>;

class AppServer {
 public:
  AppServer();  // starts the server with one printer "KT50"
  ~AppServer();  // stops it
  AppServer(const AppServer &) = delete;
  AppServer &operator=(const AppServer &) = delete;

  void Restart();        // same port, spool and state
  bool Stop();           // SIGTERM; true when it ended
  int port() const { return port_; }
  int pid() const;
  const std::string &dir() const { return dir_; }
  std::string uri() const;  // ipp://127.0.0.1:PORT/ipp/print/KT50
  std::string OutputPath(const std::string &jobName) const;
  std::string Log() const;
  // Runs a sub-command of the application as the server's user; exit status.
  int RunCommand(const std::vector<std::string> &args, std::string *output = nullptr) const;

 private:
  std::string dir_;
  int port_ = 0;
};

struct JobResult {
  int id = 0;
  ipp_status_t submitStatus = IPP_STATUS_ERROR_INTERNAL;
  ipp_jstate_t state = IPP_JSTATE_PENDING;  // final state, or last seen
  std::string message;
};

// Print-Job of `file` with job-template options (typed as cupsEncodeOptions
// does), then waits up to `timeoutSeconds` for the job to end (0: returns
// once the job is accepted).
JobResult PrintFile(const AppServer &server, const std::string &file, const std::string &format,
                    const std::string &jobName, const Options &options = {},
                    int timeoutSeconds = 120);

// IPP request against the printer; the response (caller deletes) or null.
ipp_t *DoRequest(const AppServer &server, ipp_t *request);
ipp_t *NewPrinterRequest(const AppServer &server, ipp_op_t op);
// Set-Printer-Attributes of printer attributes typed as cupsEncodeOptions
// does; the status.
ipp_status_t SetPrinterAttributes(const AppServer &server, const Options &attributes);
// One printer attribute as text ("" when absent).
std::string PrinterAttribute(const AppServer &server, const std::string &name);

// An 8-bit gray page: gray(x, y) per pixel.
struct GrayPage {
  uint32_t width = 0, height = 0;
  std::function<uint8_t(uint32_t x, uint32_t y)> gray;
};
// Writes PWG raster (sgray_8, 600 dpi) of the pages to `path`.
bool WritePwgRaster(const std::string &path, const std::vector<GrayPage> &pages);

std::vector<uint8_t> ReadFile(const std::string &path);
void WriteFile(const std::string &path, const std::vector<uint8_t> &bytes);

// A folder removed with everything in it on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;
  const std::string &path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace apptest

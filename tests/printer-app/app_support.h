// Test support for vantrex-printer-app: a private server (scripts/printer-app-server.sh)
// owned by the test and stopped by PID when it goes out of scope, IPP jobs
// through libcups, and 8-bit gray PWG raster made through libcups.
#pragma once

#include <cups/cups.h>
#include <cups/raster.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <string>
#include <utility>
#include <vector>

namespace apptest {

using Options = std::vector<std::pair<std::string, std::string>>;

class AppServer {
 public:
  AppServer();   // starts the server with one printer "KT50"
  ~AppServer();  // stops it
  AppServer(const AppServer &) = delete;
  AppServer &operator=(const AppServer &) = delete;

  void Restart();  // same port, spool and state
  bool Stop();     // SIGTERM; true when it ended
  int port() const { return port_; }
  int pid() const;
  const std::string &dir() const { return dir_; }
  // ipp://127.0.0.1:PORT/ipp/print/PRINTER
  std::string uri(const std::string &printer = "KT50") const;
  // The device of printer KT50: a file per job in DIR/spool/out.
  std::string FileDevice() const;
  std::string OutputPath(const std::string &jobName) const;
  // Adds a printer through the application's own sub-command.
  bool AddPrinter(const std::string &name, const std::string &deviceUri) const;
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
// The same to any printer, returning once the job is accepted (id > 0).
JobResult SubmitFile(const AppServer &server, const std::string &printer, const std::string &file,
                     const std::string &format, const std::string &jobName,
                     const Options &options = {});
// Waits up to `timeoutSeconds` for a job to end, riding out a server that is
// being restarted; `job` gets the last state and message seen.
void WaitJob(const AppServer &server, const std::string &printer, JobResult &job,
             int timeoutSeconds);
ipp_status_t CancelJob(const AppServer &server, const std::string &printer, int id);

// IPP request against a printer; the response (caller deletes) or null.
ipp_t *DoRequest(const AppServer &server, ipp_t *request, const std::string &printer = "KT50");
ipp_t *NewPrinterRequest(const AppServer &server, ipp_op_t op, const std::string &printer = "KT50");
// The same against the system ("/ipp/system").
ipp_t *NewSystemRequest(const AppServer &server, ipp_op_t op);
ipp_t *DoSystemRequest(const AppServer &server, ipp_t *request);

// A web page as a browser gets it: HTTP status and body.
struct WebPage {
  int status = 0;
  std::string body;
};
WebPage GetPage(const AppServer &server, const std::string &path);
// Posts a form to a page the way a browser would, with the session token the
// page itself hands out.
WebPage PostForm(const AppServer &server, const std::string &path, const Options &fields);

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
// Renders a PostScript program with Ghostscript to `output` on `device`
// ("pdfwrite", "png16m", "jpeg", ...), with further options such as "-r150";
// true on success.
bool RenderPostScript(const std::string &program, const std::string &device,
                      const std::string &output, const std::string &options = "");

// Writes PWG raster (sgray_8, 600 dpi) of the pages to `path`.
bool WritePwgRaster(const std::string &path, const std::vector<GrayPage> &pages);

// A network printer stand-in for socket:// devices: a loopback listener that
// keeps every byte it is sent, connection after connection, in order.
class SocketSink {
 public:
  SocketSink();
  ~SocketSink();
  SocketSink(const SocketSink &) = delete;
  SocketSink &operator=(const SocketSink &) = delete;
  int port() const { return port_; }
  // Everything received, once nothing more has come for half a second.
  std::vector<uint8_t> Bytes() const;

 private:
  void Serve();
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  mutable std::mutex lock_;
  std::vector<uint8_t> bytes_;
  std::chrono::steady_clock::time_point last_{};
  std::thread thread_;
};

// Whether a process has ended: gone, or a zombie all of whose threads are
// gone (only then are its sockets closed).
bool ProcessEnded(int pid);

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

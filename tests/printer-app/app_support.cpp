#include "app_support.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

namespace apptest {

namespace {

std::string Quote(const std::string &word) {
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string Script(const std::string &command, const std::string &dir) {
  return Quote(VANTREX_APP_SERVER_SCRIPT) + " " + command + " " +
         (command == "stop" ? "" : Quote(VANTREX_APP_PATH) + " ") + Quote(dir);
}

void MustRun(const std::string &command) {
  if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
}

std::string ReadText(const std::string &path) {
  std::ifstream in(path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

ipp_t *JobRequest(const AppServer &server, ipp_op_t op, const std::string &printer, int id) {
  ipp_t *request = NewPrinterRequest(server, op, printer);
  ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", id);
  return request;
}

http_t *Connect(const AppServer &server) {
  return httpConnect2("127.0.0.1", server.port(), nullptr, AF_INET, HTTP_ENCRYPTION_NEVER, 1, 30000,
                      nullptr);
}

std::string Resource(const std::string &printer) { return "/ipp/print/" + printer; }

}  // namespace

TempDir::TempDir() {
  const char *tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/kt50-app-XXXXXX";
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

AppServer::AppServer() {
  TempDir scratch;  // only for a unique name
  dir_ = scratch.path() + "-server";
  std::filesystem::create_directories(dir_);
  if (std::system(Script("start", dir_).c_str()) != 0) {
    Stop();
    throw std::runtime_error("cannot start the application in " + dir_);
  }
  port_ = std::atoi(ReadText(dir_ + "/port").c_str());
}

AppServer::~AppServer() {
  Stop();
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

void AppServer::Restart() { MustRun(Script("restart", dir_)); }

int AppServer::pid() const { return std::atoi(ReadText(dir_ + "/pid").c_str()); }

bool AppServer::Stop() { return std::system(Script("stop", dir_).c_str()) == 0; }

std::string AppServer::uri(const std::string &printer) const {
  return "ipp://127.0.0.1:" + std::to_string(port_) + Resource(printer);
}

std::string AppServer::FileDevice() const { return "file://" + dir_ + "/spool/out?ext=kt50"; }

bool AppServer::AddPrinter(const std::string &name, const std::string &deviceUri) const {
  return RunCommand({"add", "-d", name, "-m", "vantrex_kt50", "-v", deviceUri}) == 0;
}

std::string AppServer::OutputPath(const std::string &jobName) const {
  return dir_ + "/spool/out/" + jobName + ".kt50";
}

std::string AppServer::Log() const { return ReadText(dir_ + "/log"); }

int AppServer::RunCommand(const std::vector<std::string> &args, std::string *output) const {
  std::string command = Script("run", dir_);
  for (const std::string &arg : args) command += " " + Quote(arg);
  command += " 2>&1";
  FILE *pipe = popen(command.c_str(), "r");
  if (!pipe) return -1;
  char buffer[4096];
  size_t bytes;
  while ((bytes = fread(buffer, 1, sizeof(buffer), pipe)) > 0)
    if (output) output->append(buffer, bytes);
  const int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

ipp_t *NewPrinterRequest(const AppServer &server, ipp_op_t op, const std::string &printer) {
  ipp_t *request = ippNewRequest(op);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr,
               server.uri(printer).c_str());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, "tester");
  return request;
}

ipp_t *DoRequest(const AppServer &server, ipp_t *request, const std::string &printer) {
  http_t *http = Connect(server);
  if (!http) {
    ippDelete(request);
    return nullptr;
  }
  ipp_t *response = cupsDoRequest(http, request, Resource(printer).c_str());
  httpClose(http);
  return response;
}

ipp_t *NewSystemRequest(const AppServer &server, ipp_op_t op) {
  ipp_t *request = ippNewRequest(op);
  const std::string uri = "ipp://127.0.0.1:" + std::to_string(server.port()) + "/ipp/system";
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "system-uri", nullptr, uri.c_str());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, "tester");
  return request;
}

ipp_t *DoSystemRequest(const AppServer &server, ipp_t *request) {
  http_t *http = Connect(server);
  if (!http) {
    ippDelete(request);
    return nullptr;
  }
  ipp_t *response = cupsDoRequest(http, request, "/ipp/system");
  httpClose(http);
  return response;
}

namespace {

std::string FormEncoded(const Options &fields) {
  std::string body;
  for (const auto &[name, value] : fields) {
    body += (body.empty() ? "" : "&") + name + "=";
    for (unsigned char c : value) {
      if (std::isalnum(c) || c == '-' || c == '_' || c == '.') {
        body += static_cast<char>(c);
      } else {
        char hex[4];
        std::snprintf(hex, sizeof(hex), "%%%02X", c);
        body += hex;
      }
    }
  }
  return body;
}

WebPage Exchange(const AppServer &server, const std::string &path, const std::string *form) {
  WebPage page;
  http_t *http = Connect(server);
  if (!http) return page;
  httpClearFields(http);
  if (form) {
    httpSetField(http, HTTP_FIELD_CONTENT_TYPE, "application/x-www-form-urlencoded");
    httpSetLength(http, form->size());
  }
  if ((form ? httpPost(http, path.c_str()) : httpGet(http, path.c_str())) == 0 &&
      (!form ||
       httpWrite2(http, form->data(), form->size()) == static_cast<ssize_t>(form->size()))) {
    http_status_t status;
    while ((status = httpUpdate(http)) == HTTP_STATUS_CONTINUE) {
    }
    page.status = status;
    char buffer[8192];
    ssize_t got;
    while ((got = httpRead2(http, buffer, sizeof(buffer))) > 0) page.body.append(buffer, got);
  }
  httpClose(http);
  return page;
}

}  // namespace

WebPage GetPage(const AppServer &server, const std::string &path) {
  return Exchange(server, path, nullptr);
}

WebPage PostForm(const AppServer &server, const std::string &path, const Options &fields) {
  const std::string page = GetPage(server, path).body;
  const std::string marker = "name=\"session\" value=\"";
  const size_t at = page.find(marker);
  Options all = fields;
  if (at != std::string::npos) {
    const size_t start = at + marker.size();
    all.emplace_back("session", page.substr(start, page.find('"', start) - start));
  }
  const std::string body = FormEncoded(all);
  return Exchange(server, path, &body);
}

ipp_status_t SetPrinterAttributes(const AppServer &server, const Options &attributes) {
  ipp_t *request = NewPrinterRequest(server, IPP_OP_SET_PRINTER_ATTRIBUTES);
  for (const auto &[name, value] : attributes) {
    char *end = nullptr;
    const long number = std::strtol(value.c_str(), &end, 10);
    if (!value.empty() && *end == '\0')
      ippAddInteger(request, IPP_TAG_PRINTER, IPP_TAG_INTEGER, name.c_str(),
                    static_cast<int>(number));
    else if (value == "true" || value == "false")
      ippAddBoolean(request, IPP_TAG_PRINTER, name.c_str(), value == "true");
    else
      ippAddString(request, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, name.c_str(), nullptr, value.c_str());
  }
  ipp_t *response = DoRequest(server, request);
  const ipp_status_t status = response ? ippGetStatusCode(response) : cupsLastError();
  ippDelete(response);
  return status;
}

std::string PrinterAttribute(const AppServer &server, const std::string &name) {
  ipp_t *request = NewPrinterRequest(server, IPP_OP_GET_PRINTER_ATTRIBUTES);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr,
               name.c_str());
  ipp_t *response = DoRequest(server, request);
  ipp_attribute_t *attr =
      response ? ippFindAttribute(response, name.c_str(), IPP_TAG_ZERO) : nullptr;
  char text[1024] = "";
  if (attr) ippAttributeString(attr, text, sizeof(text));
  ippDelete(response);
  return text;
}

JobResult SubmitFile(const AppServer &server, const std::string &printer, const std::string &file,
                     const std::string &format, const std::string &jobName,
                     const Options &options) {
  JobResult result;
  ipp_t *request = NewPrinterRequest(server, IPP_OP_PRINT_JOB, printer);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr, jobName.c_str());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr,
               format.c_str());
  cups_option_t *cupsOptions = nullptr;
  int count = 0;
  for (const auto &[name, value] : options)
    count = cupsAddOption(name.c_str(), value.c_str(), count, &cupsOptions);
  cupsEncodeOptions2(request, count, cupsOptions, IPP_TAG_JOB);
  cupsFreeOptions(count, cupsOptions);
  http_t *http = Connect(server);
  if (!http) {
    ippDelete(request);
    return result;
  }
  ipp_t *response = cupsDoFileRequest(http, request, Resource(printer).c_str(), file.c_str());
  httpClose(http);
  result.submitStatus = response ? ippGetStatusCode(response) : cupsLastError();
  if (response && result.submitStatus <= IPP_STATUS_OK_EVENTS_COMPLETE)
    result.id = ippGetInteger(ippFindAttribute(response, "job-id", IPP_TAG_INTEGER), 0);
  ippDelete(response);
  return result;
}

void WaitJob(const AppServer &server, const std::string &printer, JobResult &job,
             int timeoutSeconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  while (std::chrono::steady_clock::now() < deadline) {
    if (ipp_t *response = DoRequest(
            server, JobRequest(server, IPP_OP_GET_JOB_ATTRIBUTES, printer, job.id), printer)) {
      if (ipp_attribute_t *state = ippFindAttribute(response, "job-state", IPP_TAG_ENUM)) {
        job.state = static_cast<ipp_jstate_t>(ippGetInteger(state, 0));
        const char *message =
            ippGetString(ippFindAttribute(response, "job-state-message", IPP_TAG_TEXT), 0, nullptr);
        job.message = message ? message : "";
      }
      ippDelete(response);
      if (job.state >= IPP_JSTATE_CANCELED) return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

ipp_status_t CancelJob(const AppServer &server, const std::string &printer, int id) {
  ipp_t *response = DoRequest(server, JobRequest(server, IPP_OP_CANCEL_JOB, printer, id), printer);
  const ipp_status_t status = response ? ippGetStatusCode(response) : cupsLastError();
  ippDelete(response);
  return status;
}

JobResult PrintFile(const AppServer &server, const std::string &file, const std::string &format,
                    const std::string &jobName, const Options &options, int timeoutSeconds) {
  JobResult result = SubmitFile(server, "KT50", file, format, jobName, options);
  if (result.id > 0 && timeoutSeconds > 0) WaitJob(server, "KT50", result, timeoutSeconds);
  return result;
}

SocketSink::SocketSink() {
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(addr);
  if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)) != 0 ||
      listen(listener_, 4) != 0 ||
      getsockname(listener_, reinterpret_cast<sockaddr *>(&addr), &length) != 0)
    throw std::runtime_error("cannot listen on loopback");
  port_ = ntohs(addr.sin_port);
  thread_ = std::thread(&SocketSink::Serve, this);
}

SocketSink::~SocketSink() {
  stop_ = true;
  thread_.join();
  close(listener_);
}

std::vector<uint8_t> SocketSink::Bytes() const {
  // A job may be over for the server while its last bytes are still on
  // their way: wait until nothing has come for a while.
  for (;;) {
    {
      std::lock_guard lock(lock_);
      if (std::chrono::steady_clock::now() - last_ > std::chrono::milliseconds(500)) return bytes_;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

void SocketSink::Serve() {
  while (!stop_) {
    pollfd ready{listener_, POLLIN, 0};
    if (poll(&ready, 1, 100) <= 0) continue;
    const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    uint8_t buffer[65536];
    ssize_t got;
    while ((got = read(fd, buffer, sizeof(buffer))) > 0) {
      std::lock_guard lock(lock_);
      bytes_.insert(bytes_.end(), buffer, buffer + got);
      last_ = std::chrono::steady_clock::now();
    }
    close(fd);
  }
}

bool RenderPostScript(const std::string &program, const std::string &device,
                      const std::string &output, const std::string &options) {
  const std::string source = output + ".ps";
  std::ofstream(source) << program;
  const std::string command = "gs -q -dSAFER -dBATCH -dNOPAUSE " + options + " -sDEVICE=" +
                              device + " -sOutputFile=" + Quote(output) + " " + Quote(source);
  return std::system(command.c_str()) == 0;
}

bool WritePwgRaster(const std::string &path, const std::vector<GrayPage> &pages) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return false;
  cups_raster_t *ras = cupsRasterOpen(fd, CUPS_RASTER_WRITE_PWG);
  bool ok = ras != nullptr;
  for (const GrayPage &page : pages) {
    if (!ok) break;
    cups_page_header2_t header;
    const int widthHmm = static_cast<int>(page.width * 2540 / 600);
    const int lengthHmm = static_cast<int>(page.height * 2540 / 600);
    pwg_media_t *media = pwgMediaForSize(widthHmm, lengthHmm);
    ok =
        media && cupsRasterInitPWGHeader(&header, media, "sgray_8", 600, 600, "one-sided", nullptr);
    if (!ok) break;
    header.cupsWidth = page.width;
    header.cupsHeight = page.height;
    header.cupsBytesPerLine = page.width;
    header.PageSize[0] = page.width * 72 / 600;
    header.PageSize[1] = page.height * 72 / 600;
    ok = cupsRasterWriteHeader2(ras, &header);
    std::vector<uint8_t> line(page.width);
    for (uint32_t y = 0; ok && y < page.height; ++y) {
      for (uint32_t x = 0; x < page.width; ++x) line[x] = page.gray(x, y);
      ok = cupsRasterWritePixels(ras, line.data(), page.width) == page.width;
    }
  }
  if (ras) cupsRasterClose(ras);
  return close(fd) == 0 && ok;
}

bool ProcessEnded(int pid) {
  const std::string proc = "/proc/" + std::to_string(pid);
  std::ifstream stat(proc + "/stat");
  std::string field;
  for (int i = 0; i < 3 && stat >> field; ++i) {
  }
  if (!stat) return true;
  std::error_code ignored;
  const auto threads = std::distance(std::filesystem::directory_iterator(proc + "/task", ignored),
                                     std::filesystem::directory_iterator());
  return field == "Z" && threads <= 1;
}

std::vector<uint8_t> ReadFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const std::string &path, const std::vector<uint8_t> &bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char *>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

}  // namespace apptest

// What clients and other local users must not be able to do to the printer
// application: values the printer cannot take, damaged documents of every
// kind, devices outside the allowed ones, text that would forge lines of the
// state file, reading the server's private files; and what a stop does to
// the job in progress, the queue and a held job. Raw streams pass.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <thread>

#include "app_support.h"
#include "filter_support.h"
#include "kt50stream.h"

namespace {

using apptest::AppServer;
using namespace std::chrono_literals;

apptest::GrayPage Ramp(uint32_t w, uint32_t h) {
  return {w, h, [=](uint32_t x, uint32_t y) { return static_cast<uint8_t>((x + 3 * y) % 256); }};
}

bool NothingPrinted(const AppServer &server, const std::string &jobName) {
  return apptest::ReadFile(server.OutputPath(jobName)).empty();
}

class HostileTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = new AppServer();
    dir_ = new apptest::TempDir();
    ASSERT_TRUE(apptest::WritePwgRaster(Pwg(), {Ramp(2501, 301), Ramp(2503, 297)}));
  }
  static void TearDownTestSuite() {
    delete server_;
    delete dir_;
  }
  static std::string Pwg() { return dir_->path() + "/ramp.pwg"; }
  // The server still prints a good job after whatever came before.
  static void ExpectStillServing(const std::string &jobName) {
    const apptest::JobResult job = apptest::PrintFile(*server_, Pwg(), "image/pwg-raster", jobName);
    EXPECT_EQ(job.state, IPP_JSTATE_COMPLETED) << job.message;
    EXPECT_FALSE(NothingPrinted(*server_, jobName));
  }

  static AppServer *server_;
  static apptest::TempDir *dir_;
};

AppServer *HostileTest::server_ = nullptr;
apptest::TempDir *HostileTest::dir_ = nullptr;

TEST_F(HostileTest, UnsupportedValuesAreRefusedWhenSubmittedOrValidated) {
  const apptest::Options values{
      {"kt50-write-density", "99"},
      {"kt50-write-density", "-17"},
      {"kt50-screening-angle", "91"},
      {"kt50-screening-frequency", "37"},
      {"kt50-screening-frequency", "12abc"},
      {"kt50-write-speed", "4"},
      {"kt50-lane-overlap", "+-1"},
      {"kt50-dot-screening", "bogus-value"},
      {"kt50-dot-screening", "Error-Diffusion"},
      {"kt50-line-enhance", std::string(300, 'b')},
      {"kt50-mirror", "maybe"},
      {"kt50-adjust-length", "99999999999999999999"},
  };
  int n = 0;
  for (const auto &[name, value] : values) {
    SCOPED_TRACE(name + "=" + value.substr(0, 40));
    const std::string jobName = "bad-" + std::to_string(n++);
    const apptest::JobResult job =
        apptest::PrintFile(*server_, Pwg(), "image/pwg-raster", jobName, {{name, value}});
    EXPECT_EQ(job.submitStatus, IPP_STATUS_ERROR_ATTRIBUTES_OR_VALUES);
    EXPECT_TRUE(NothingPrinted(*server_, jobName));
    ipp_t *validate = apptest::NewPrinterRequest(*server_, IPP_OP_VALIDATE_JOB);
    ippAddString(validate, IPP_TAG_JOB, IPP_TAG_KEYWORD, name.c_str(), nullptr, value.c_str());
    ipp_t *answer = apptest::DoRequest(*server_, validate);
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(ippGetStatusCode(answer), IPP_STATUS_ERROR_ATTRIBUTES_OR_VALUES);
    ipp_attribute_t *named = ippFindAttribute(answer, name.c_str(), IPP_TAG_ZERO);
    EXPECT_TRUE(named && ippGetGroupTag(named) == IPP_TAG_UNSUPPORTED_GROUP);
    ippDelete(answer);
  }
  ExpectStillServing("after-bad-values");
}

// Every kind of document, cut, cut to its first bytes, scrambled or junk
// behind the right signature: the job ends on its own with a reason, prints
// whole pages only (none, for pictures), and the next job prints.
TEST_F(HostileTest, DamagedDocumentsEndTheirJobAloneWithAReason) {
  const std::string ps =
      "%!PS\n<< /PageSize [144 108] >> setpagedevice 0.2 setgray 10 10 100 80 rectfill showpage "
      "0.6 setgray 20 20 50 50 rectfill showpage\n";
  struct tagSOURCE {
    const char *name, *device, *format;
  };
  const tagSOURCE sources[] = {{"png", "png16m", "image/png"},
                               {"jpeg", "jpeg", "image/jpeg"},
                               {"pdf", "pdfwrite", "application/pdf"},
                               {"pwg", nullptr, "image/pwg-raster"}};
  using Damage = std::function<std::vector<uint8_t>(std::vector<uint8_t>)>;
  const std::pair<const char *, Damage> damages[] = {
      {"cut",
       [](auto b) {
         b.resize(b.size() / 2);
         return b;
       }},
      {"cut-early",
       [](auto b) {
         b.resize(std::min<size_t>(b.size(), 60));
         return b;
       }},
      {"scrambled",
       [](auto b) {
         for (size_t i = b.size() / 3; i < b.size() / 3 + 64; ++i) b[i] ^= 0x5A;
         return b;
       }},
      {"junk",
       [](auto b) {
         b.resize(8);
         for (int i = 0; i < 5000; ++i) b.push_back(static_cast<uint8_t>(i * 37 + 11));
         return b;
       }},
  };
  for (const tagSOURCE &source : sources) {
    const std::string good = dir_->path() + "/good." + source.name;
    if (source.device)
      ASSERT_TRUE(apptest::RenderPostScript(ps, source.device, good, "-r100 -dLastPage=2"));
    else
      ASSERT_TRUE(apptest::WritePwgRaster(good, {Ramp(2501, 301), Ramp(2503, 297)}));
    for (const auto &[how, damage] : damages) {
      const std::string jobName = std::string("damaged-") + source.name + "-" + how;
      SCOPED_TRACE(jobName);
      const std::string path = dir_->path() + "/" + jobName;
      apptest::WriteFile(path, damage(apptest::ReadFile(good)));
      const apptest::JobResult job =
          apptest::PrintFile(*server_, path, source.format, jobName, {}, 60);
      if (job.id <= 0) continue;  // refused at once: fine
      ASSERT_GE(job.state, IPP_JSTATE_CANCELED) << "never ended";
      EXPECT_TRUE(job.state == IPP_JSTATE_COMPLETED || !job.message.empty()) << "no reason";
      const std::vector<uint8_t> out = apptest::ReadFile(server_->OutputPath(jobName));
      kt50::Stream stream;
      kt50::DecodeError error;
      EXPECT_TRUE(out.empty() || kt50::DecodeStream(out, stream, error)) << error.message;
      // Ghostscript repairs what it can of a cut PDF and prints that.
      const bool cut = std::string_view(how).starts_with("cut") && source.format[0] == 'i';
      const bool picture = std::string_view(source.format).starts_with("image/") && source.device;
      EXPECT_FALSE(cut && job.state == IPP_JSTATE_COMPLETED) << "a cut document printed as whole";
      EXPECT_TRUE(!picture || job.state == IPP_JSTATE_COMPLETED || out.empty())
          << "part of a picture";
    }
  }
  ExpectStillServing("after-damaged");
}

TEST_F(HostileTest, RawStreamsPassThroughUnchanged) {
  const std::vector<uint8_t> raster =
      vtest::MakeRaster(std::vector{vtest::SolidPage(2480, 100, {0, 0, 0})});
  const vtest::RunResult filter = vtest::RunFilter("TKWriteDensity=7", raster);
  ASSERT_EQ(filter.exitStatus, 0) << filter.err;
  std::vector<uint8_t> stream = filter.out;
  stream.push_back(0x00);  // not ours to judge: the printer gets every byte
  const std::string path = dir_->path() + "/raw.kt50";
  apptest::WriteFile(path, stream);
  for (const char *format : {"application/vnd.vantrex-kt50", "application/octet-stream"}) {
    SCOPED_TRACE(format);
    const std::string jobName = std::string("raw-") + (format[12] == 'v' ? "typed" : "detected");
    const apptest::JobResult job =
        apptest::PrintFile(*server_, path, format, jobName, {{"kt50-write-density", "-3"}});
    EXPECT_EQ(job.state, IPP_JSTATE_COMPLETED) << job.message;
    EXPECT_TRUE(apptest::ReadFile(server_->OutputPath(jobName)) == stream);
  }
}

TEST_F(HostileTest, DevicesOutsideTheAllowedOnesAreRefused) {
  const std::string spool = server_->dir() + "/spool";
  std::filesystem::create_directory_symlink("/tmp", spool + "/escape");
  const std::vector<std::string> refused{"file:///etc/kt50-device",
                                         "file://" + spool + "/escape/kt50-device",
                                         "file://" + spool + "/../kt50-device",
                                         "ipp://127.0.0.1:1/ipp/print",
                                         "lpd://127.0.0.1/q",
                                         "file://" + spool + "%2F..%2Fx",
                                         "socket://127.0.0.1:9\nJob id=\"7\""};
  int n = 0;
  for (const std::string &uri : refused) {
    SCOPED_TRACE(uri);
    EXPECT_NE(server_->RunCommand(
                  {"add", "-d", "X" + std::to_string(n++), "-m", "vantrex_kt50", "-v", uri}),
              0);
  }
  EXPECT_EQ(
      server_->RunCommand({"add", "-d", "Net", "-m", "vantrex_kt50", "-v", "socket://127.0.0.1:9"}),
      0);
  // PAPPL 1.3.1 cannot change a device: refused, not ignored.
  EXPECT_NE(server_->RunCommand({"modify", "-d", "Net", "-v", "socket://127.0.0.1:10"}), 0);
  std::string printers;
  EXPECT_EQ(server_->RunCommand({"printers"}, &printers), 0);
  EXPECT_NE(printers.find("Net"), std::string::npos);
  EXPECT_EQ(printers.find("X"), std::string::npos) << printers;
}

// Text that would forge a printer on a network device and a job printing a
// file only the server may read, were it written into the state file raw.
std::string Forgery(int port, const std::string &secret) {
  return "Lobby\n</Printer>\n<Printer id=\"9\" name=\"Evil\" did=\"\" uri=\"socket://127.0.0.1:" +
         std::to_string(port) +
         "\" driver=\"vantrex_kt50\">\nJob id=\"77\" name=\"forged\" "
         "username=\"u\" format=\"application/vnd.vantrex-kt50\" filename=\"" +
         secret + "\" state=\"3\"\n";
}

void AddText(ipp_t *request, ipp_tag_t group, const char *name, const std::string &text) {
  ippAddString(request, group, IPP_TAG_TEXT, name, nullptr, text.c_str());
}

// Every way a client can have text saved: the web pages' forms and the IPP
// operations. The text goes in raw; whatever is refused or cleaned is fine.
void SendEverywhere(AppServer &server, const std::string &text) {
  const char *fields[] = {"location",     "organization",  "organizational_unit",
                          "contact_name", "contact_email", "contact_telephone",
                          "dns_sd_name"};
  apptest::Options form;
  for (const char *field : fields) form.emplace_back(field, text);
  for (const char *page : {"/config", "/KT50/config"}) apptest::PostForm(server, page, form);
  apptest::PostForm(server, "/KT50/media",
                    {{"ready0-size", "iso_a4_210x297mm"}, {"ready0-type", text}});

  ipp_t *system = apptest::NewSystemRequest(server, IPP_OP_SET_SYSTEM_ATTRIBUTES);
  for (const char *name : {"system-location", "system-organization", "system-organizational-unit"})
    AddText(system, IPP_TAG_SYSTEM, name, text);
  ippDelete(apptest::DoSystemRequest(server, system));
  ipp_t *printer = apptest::NewPrinterRequest(server, IPP_OP_SET_PRINTER_ATTRIBUTES);
  for (const char *name :
       {"printer-location", "printer-organization", "printer-organizational-unit"})
    AddText(printer, IPP_TAG_PRINTER, name, text);
  ipp_t *contact = ippNew();
  ippAddString(contact, IPP_TAG_ZERO, IPP_TAG_NAME, "contact-name", nullptr, text.c_str());
  ippAddCollection(printer, IPP_TAG_PRINTER, "printer-contact-col", contact);
  ippDelete(contact);
  ippDelete(apptest::DoRequest(server, printer));
  ipp_t *create = apptest::NewSystemRequest(server, IPP_OP_CREATE_PRINTER);
  ippAddString(create, IPP_TAG_PRINTER, IPP_TAG_NAME, "printer-name", nullptr, "Made");
  ippAddString(create, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "smi55357-driver", nullptr,
               "vantrex_kt50");
  ippAddString(create, IPP_TAG_PRINTER, IPP_TAG_URI, "smi55357-device-uri", nullptr,
               "socket://127.0.0.1:9");
  AddText(create, IPP_TAG_PRINTER, "printer-location", text);
  ippDelete(apptest::DoSystemRequest(server, create));
}

// A local user sends text with line breaks through every saved field; the
// state file keeps each value on its line, so after a restart there is no
// forged printer, no forged job, and the private file went nowhere. The
// server's own log is not served either.
TEST(HostileUserTest, TextFromClientsNeverForgesTheStateFile) {
  AppServer server;
  apptest::SocketSink sink;
  apptest::TempDir dir;
  const std::string secret = server.dir() + "/secret";
  apptest::WriteFile(secret, {'T', 'O', 'P', ' ', 'S', 'E', 'C', 'R', 'E', 'T'});
  chmod(secret.c_str(), 0600);
  ASSERT_TRUE(getuid() != 0 || chown(secret.c_str(), 65534, 65534) == 0);  // the server's user
  const std::string text = Forgery(sink.port(), secret);
  SendEverywhere(server, text);
  const std::string pwg = dir.path() + "/page.pwg";
  ASSERT_TRUE(apptest::WritePwgRaster(pwg, {Ramp(600, 100)}));
  // A job named and owned by the text; accepting it saves the state at once.
  ipp_t *job = apptest::NewPrinterRequest(server, IPP_OP_PRINT_JOB);
  ippDeleteAttribute(job, ippFindAttribute(job, "requesting-user-name", IPP_TAG_ZERO));
  ippAddString(job, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, text.c_str());
  ippAddString(job, IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr, text.c_str());
  ippAddString(job, IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr,
               "image/pwg-raster");
  http_t *http = httpConnect2("127.0.0.1", server.port(), nullptr, AF_INET, HTTP_ENCRYPTION_NEVER,
                              1, 30000, nullptr);
  ASSERT_NE(http, nullptr);
  ippDelete(cupsDoFileRequest(http, job, "/ipp/print/KT50", pwg.c_str()));
  httpClose(http);
  std::this_thread::sleep_for(1500ms);  // the main loop's save of what the forms set

  std::ifstream state(server.dir() + "/home/.config/vantrex-printer-app.state");
  int printers = 0;
  for (std::string line; std::getline(state, line);) {
    EXPECT_FALSE(line.starts_with("Job id=\"77\"") || line.starts_with("<Printer id=\"9\""))
        << line;
    printers += line.starts_with("<Printer ");
  }
  server.Restart();
  std::string names;
  ASSERT_EQ(server.RunCommand({"printers"}, &names), 0);
  EXPECT_EQ(names.find("Evil"), std::string::npos) << names;
  EXPECT_EQ(printers, static_cast<int>(std::count(names.begin(), names.end(), '\n')));
  std::this_thread::sleep_for(1s);
  EXPECT_TRUE(sink.Bytes().empty()) << "the private file went to the forged printer";
  for (const char *path : {"/logfile.txt", "/logs"})
    EXPECT_NE(apptest::GetPage(server, path).status, HTTP_STATUS_OK) << path;
  const apptest::JobResult after = apptest::PrintFile(server, pwg, "image/pwg-raster", "after");
  EXPECT_EQ(after.state, IPP_JSTATE_COMPLETED) << after.message;
}

// A long PDF job in progress when the server is told to stop, one job
// queued behind it and one held: the stop takes a moment, the job in
// progress ends aborted with whole pages only at the device, and after the
// next start the queued job prints and the held one is still held. After a
// crash instead (SIGKILL), the job in progress prints again in full.
TEST(StopTest, AStopOrACrashKeepsTheQueue) {
  apptest::TempDir dir;
  const std::string pdf = dir.path() + "/long.pdf", pwg = dir.path() + "/page.pwg";
  ASSERT_TRUE(apptest::RenderPostScript(
      "%!PS\n<< /PageSize [842 1191] >> setpagedevice\n"
      "1 1 30 { pop 0 1 99 { /i exch def i 100 div setgray 0 i 11.91 mul 842 11.91 rectfill }"
      " for showpage } for\n",
      "pdfwrite", pdf));
  ASSERT_TRUE(apptest::WritePwgRaster(pwg, {Ramp(700, 200)}));
  for (const int signal : {SIGTERM, SIGKILL}) {
    SCOPED_TRACE(signal == SIGTERM ? "SIGTERM" : "SIGKILL");
    AppServer server;
    apptest::JobResult job = apptest::PrintFile(server, pdf, "application/pdf", "long", {}, 0);
    ASSERT_GT(job.id, 0);
    const std::string out = server.OutputPath("long");
    for (int i = 0; i < 600 && apptest::ReadFile(out).empty(); ++i)
      std::this_thread::sleep_for(50ms);
    ASSERT_FALSE(apptest::ReadFile(out).empty());
    apptest::JobResult queued = apptest::PrintFile(server, pwg, "image/pwg-raster", "queued", {}, 0);
    apptest::JobResult held = apptest::PrintFile(server, pwg, "image/pwg-raster", "held",
                                                 {{"job-hold-until", "indefinite"}}, 0);
    ASSERT_GT(queued.id, 0);
    ASSERT_GT(held.id, 0);

    const int pid = server.pid();
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(kill(pid, signal), 0);
    while (!apptest::ProcessEnded(pid) && std::chrono::steady_clock::now() - start < 20s)
      std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(apptest::ProcessEnded(pid));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 6s);  // a second, loose for busy machines
    kt50::Stream stream;
    kt50::DecodeError error;
    if (signal == SIGTERM) {  // a kill may land in the middle of a page's write
      ASSERT_TRUE(kt50::DecodeStream(apptest::ReadFile(out), stream, error)) << error.message;
      EXPECT_GE(stream.pages.size(), 1u);
      EXPECT_LT(stream.pages.size(), 30u);
    }
    EXPECT_TRUE(apptest::ReadFile(server.OutputPath("queued")).empty());
    if (signal == SIGTERM) {  // a sub-command with no server says so, and starts none
      std::string said;
      EXPECT_EQ(server.RunCommand({"printers"}, &said), 1);
      EXPECT_NE(said.find("not running"), std::string::npos) << said;
    }

    server.Restart();
    apptest::WaitJob(server, "KT50", job, 120);
    if (signal == SIGTERM) {
      EXPECT_EQ(job.state, IPP_JSTATE_ABORTED);
      EXPECT_EQ(job.message, "The server stopped while the job was printing.");
    } else {
      EXPECT_EQ(job.state, IPP_JSTATE_COMPLETED) << job.message;
      ASSERT_TRUE(kt50::DecodeStream(apptest::ReadFile(out), stream, error)) << error.message;
      EXPECT_EQ(stream.pages.size(), 30u);
    }
    apptest::WaitJob(server, "KT50", queued, 60);
    EXPECT_EQ(queued.state, IPP_JSTATE_COMPLETED) << queued.message;
    apptest::WaitJob(server, "KT50", held, 1);
    EXPECT_EQ(held.state, IPP_JSTATE_HELD);
  }
}

}  // namespace

// The printer application under ordinary load: six clients send several
// hundred jobs of every kind to three printers (two writing files, one a
// network printer), cancel some, and the server is stopped and started again
// in the middle. Afterwards every accepted job has ended with a reason, and
// every stream is the one the same job printed alone (or, for a job cut short,
// whole pages of it).
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <regex>
#include <set>
#include <thread>

#include "app_support.h"
#include "filter_support.h"
#include "kt50stream.h"

namespace {

using apptest::AppServer;
using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

struct tagDOC {
  std::string name, path, format;
  bool raw = false;
};

const std::vector<apptest::Options> kSettings{
    {},
    {{"kt50-dot-screening", "rough"}, {"kt50-mirror", "false"}},
    {{"kt50-dot-screening", "fine"}, {"kt50-write-density", "5"}},
    {{"kt50-dot-screening", "solid"}},
    {{"kt50-dot-screening", "frequency-angle"},
     {"kt50-screening-frequency", "133"},
     {"kt50-screening-angle", "75"}},
    {{"kt50-dot-screening", "frequency-angle"}},
    {{"kt50-dot-screening", "frequency-angle"},
     {"kt50-screening-frequency", "200"},
     {"kt50-screening-angle", "0"}},
    {{"kt50-dot-screening", "error-diffusion"}, {"kt50-lane-overlap", "-2"}},
};

constexpr const char *kPrinters[] = {"KT50", "Net", "Second"};  // file, socket, file
constexpr int kClients = 6, kJobsPerClient = 55, kBatch = 4, kStopAfter = 150;
constexpr size_t kPrimeDoc = 0;  // two pages of PWG raster

// A few shapes in gray and colour on a small page, for Ghostscript.
std::string Drawing(int pages) {
  std::string ps = "%!PS\n<< /PageSize [108 72] >> setpagedevice\n";
  for (int p = 0; p < pages; ++p)
    ps += "0.9 0.2 0.1 setrgbcolor 4 4 60 40 rectfill 0.1 0.5 0.8 setrgbcolor 40 20 60 " +
          std::to_string(30 + 10 * p) + " rectfill 0.5 setgray 10 50 moveto 100 " +
          std::to_string(10 + 20 * p) + " lineto 3 setlinewidth stroke showpage\n";
  return ps;
}

std::vector<tagDOC> MakeDocuments(const std::string &dir) {
  std::vector<tagDOC> docs;
  const auto ramp = [](uint32_t w, uint32_t h) {
    return apptest::GrayPage{
        w, h, [](uint32_t x, uint32_t y) { return static_cast<uint8_t>((x * 7 + y * 3) % 256); }};
  };
  EXPECT_TRUE(apptest::WritePwgRaster(dir + "/two.pwg", {ramp(611, 405), ramp(403, 297)}));
  docs.push_back({"pwg2", dir + "/two.pwg", "image/pwg-raster"});
  EXPECT_TRUE(apptest::WritePwgRaster(dir + "/wide.pwg", {ramp(1201, 203)}));
  docs.push_back({"pwg1", dir + "/wide.pwg", "image/pwg-raster"});
  const std::pair<const char *, const char *> images[] = {
      {"jpeg", "jpeg"}, {"jpeggray", "jpeg"}, {"png16m", "png"}, {"pnggray", "png"}};
  for (const auto &[device, kind] : images) {
    const std::string path = dir + "/" + device + "." + kind;
    EXPECT_TRUE(apptest::RenderPostScript(Drawing(1), device, path, "-r150"));
    docs.push_back({device, path, std::string("image/") + kind});
  }
  EXPECT_TRUE(apptest::RenderPostScript(Drawing(2), "pdfwrite", dir + "/two.pdf"));
  docs.push_back({"pdf", dir + "/two.pdf", "application/pdf"});
  const vtest::RunResult raw = vtest::RunFilter(
      "TKWriteDensity=4", vtest::MakeRaster(std::vector{vtest::SolidPage(500, 90, {0, 0, 0}),
                                                        vtest::SolidPage(300, 40, {90, 90, 90})}));
  EXPECT_EQ(raw.exitStatus, 0) << raw.err;
  apptest::WriteFile(dir + "/raw.kt50", raw.out);
  docs.push_back({"raw", dir + "/raw.kt50", "application/vnd.vantrex-kt50", true});
  // Last, and only for the stop: long enough to be printing when it comes.
  EXPECT_TRUE(apptest::RenderPostScript(
      "%!PS\n<< /PageSize [420 595] >> setpagedevice\n1 1 40 { pop 0 1 59 { /i exch def i 60 div "
      "setgray 0 i 10 mul 420 10 rectfill } for showpage } for\n",
      "pdfwrite", dir + "/long.pdf"));
  docs.push_back({"long", dir + "/long.pdf", "application/pdf"});
  return docs;
}

// Images print on A6; the other documents bring their own page size.
apptest::Options JobOptions(const tagDOC &doc, size_t setting) {
  apptest::Options options = doc.raw ? apptest::Options{} : kSettings[setting];
  if (doc.format.starts_with("image/png") || doc.format.starts_with("image/jpeg"))
    options.emplace_back("media", "iso_a6_105x148mm");
  return options;
}

struct tagJOB {
  std::string printer, name;
  size_t doc = 0, setting = 0;
  bool cancel = false;
  bool retried = false;  // an attempt failed: the server may have queued it anyway
  apptest::JobResult result;
};

// Names of the jobs the state file holds as still to print (pending or
// processing): what a stop must keep.
std::set<std::string> QueuedInState(const std::string &path) {
  std::ifstream in(path);
  std::set<std::string> queued;
  const std::regex line(R"re(^Job .* name="([^"]*)".* state="([35])")re");
  std::smatch match;
  for (std::string text; std::getline(in, text);)
    if (std::regex_search(text, match, line)) queued.insert(match[1]);
  return queued;
}

// Where a stream may end when its job was cut short: after the header or a
// whole page (the engine writes a page only once it is complete).
std::set<size_t> PageEnds(const Bytes &stream) {
  kt50::Stream decoded;
  kt50::DecodeError error;
  std::set<size_t> ends{0, stream.size()};
  if (kt50::DecodeStream(stream, decoded, error))
    for (const kt50::Page &page : decoded.pages) ends.insert(page.offset);
  return ends;
}

// How many bytes of `out` at `pos` a job accounts for: its whole reference
// when it completed, else the longest whole-page prefix of it found there;
// -1 when none fits.
long Matched(const Bytes &out, size_t pos, const Bytes &reference, bool completed) {
  const auto matches = [&](size_t n) {
    return pos + n <= out.size() &&
           std::equal(reference.begin(), reference.begin() + static_cast<long>(n),
                      out.begin() + static_cast<long>(pos));
  };
  if (completed) return matches(reference.size()) ? static_cast<long>(reference.size()) : -1;
  const std::set<size_t> ends = PageEnds(reference);
  for (auto it = ends.rbegin(); it != ends.rend(); ++it)
    if (matches(*it)) return static_cast<long>(*it);
  return -1;
}

class LoadRun {
 public:
  LoadRun(AppServer &server, const std::vector<tagDOC> &docs) : server_(server), docs_(docs) {}

  void Client(int client) {
    std::mt19937 rng(1000 + client);
    for (int n = 0; n < kJobsPerClient;) {
      std::vector<size_t> batch;
      for (int b = 0; b < kBatch && n < kJobsPerClient; ++b, ++n) {
        const char *printer = kPrinters[rng() % 3];
        const size_t doc = rng() % (docs_.size() - 1);
        const size_t setting = docs_[doc].raw ? 0 : rng() % kSettings.size();
        batch.push_back(Submit("L" + std::to_string(client), n, printer, doc, setting, rng() % 10 == 0));
      }
      for (size_t index : batch) Finish(index, rng);
    }
  }

  // Stops the server with SIGTERM once enough jobs are in, and starts it
  // again; the time the stop took, and the jobs it kept queued.
  std::chrono::milliseconds StopAndRestart(std::set<std::string> &queued) {
    while (accepted_ < kStopAfter) std::this_thread::sleep_for(10ms);
    // A long job and three behind it on one printer, just before the stop:
    // one to abort, a queue to keep.
    std::vector<size_t> primed{Submit("S", 0, "Second", docs_.size() - 1, 0, false)};
    for (int n = 1; n < 4; ++n) primed.push_back(Submit("S", n, "Second", kPrimeDoc, 7, false));
    const auto printing = std::chrono::steady_clock::now() + 5s;
    while (apptest::ReadFile(server_.OutputPath("S-0")).empty() && std::chrono::steady_clock::now() < printing)
      std::this_thread::sleep_for(5ms);
    const int pid = server_.pid();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(kill(pid, SIGTERM), 0) << "the server had already died";
    while (!apptest::ProcessEnded(pid) && std::chrono::steady_clock::now() - start < 30s)
      std::this_thread::sleep_for(5ms);
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    queued = QueuedInState(server_.dir() + "/home/.config/vantrex-printer-app.state");
    server_.Restart();
    std::mt19937 unused;
    for (size_t index : primed) Finish(index, unused);
    return took;
  }

  std::vector<tagJOB> Jobs() {
    std::lock_guard lock(lock_);
    return jobs_;
  }

 private:
  // Submits until accepted (the server may be restarting); the job's index.
  size_t Submit(const std::string &client, int n, const char *printer, size_t doc, size_t setting,
                bool cancel) {
    tagJOB job;
    job.printer = printer;
    job.doc = doc;
    job.setting = setting;
    job.cancel = cancel;
    job.name = client + "-" + std::to_string(n);
    for (int attempt = 0; attempt < 600; ++attempt) {
      job.result = apptest::SubmitFile(server_, job.printer, docs_[doc].path, docs_[doc].format,
                                       job.name, JobOptions(docs_[doc], job.setting));
      if (job.result.id > 0) break;
      job.retried = true;
      std::this_thread::sleep_for(50ms);
    }
    EXPECT_GT(job.result.id, 0) << job.name << " never accepted";
    std::lock_guard lock(lock_);
    ++accepted_;
    jobs_.push_back(job);
    return jobs_.size() - 1;
  }

  void Finish(size_t index, std::mt19937 &rng) {
    tagJOB job = Jobs()[index];
    if (job.cancel) {
      std::this_thread::sleep_for(std::chrono::milliseconds(rng() % 80));
      apptest::CancelJob(server_, job.printer, job.result.id);  // may come too late: fine
    }
    apptest::WaitJob(server_, job.printer, job.result, 240);
    std::lock_guard lock(lock_);
    jobs_[index].result = job.result;
  }

  AppServer &server_;
  const std::vector<tagDOC> &docs_;
  std::mutex lock_;
  std::vector<tagJOB> jobs_;
  std::atomic<int> accepted_{0};
};

TEST(LoadTest, SixClientsThreePrintersCancelsAndARestartLoseNothing) {
  apptest::TempDir dir;
  const std::vector<tagDOC> docs = MakeDocuments(dir.path());
  AppServer server;
  apptest::SocketSink sink;
  ASSERT_TRUE(server.AddPrinter("Net", "socket://127.0.0.1:" + std::to_string(sink.port())));
  ASSERT_TRUE(server.AddPrinter("Second", server.FileDevice()));

  // Each document with each setting, alone.
  std::map<std::pair<size_t, size_t>, Bytes> reference;
  for (size_t d = 0; d + 1 < docs.size(); ++d)  // not the long one
    for (size_t s = 0; s < (docs[d].raw ? 1 : kSettings.size()); ++s) {
      const std::string name = "R" + std::to_string(d) + "-" + std::to_string(s);
      const apptest::JobResult job =
          apptest::PrintFile(server, docs[d].path, docs[d].format, name, JobOptions(docs[d], s));
      ASSERT_EQ(job.state, IPP_JSTATE_COMPLETED)
          << name << " (" << docs[d].name << "): " << job.message;
      reference[{d, s}] = apptest::ReadFile(server.OutputPath(name));
      kt50::Stream stream;
      kt50::DecodeError error;
      ASSERT_TRUE(kt50::DecodeStream(reference[{d, s}], stream, error))
          << name << ": " << error.message;
    }

  LoadRun run(server, docs);
  std::vector<std::thread> clients;
  for (int c = 0; c < kClients; ++c) clients.emplace_back(&LoadRun::Client, &run, c);
  std::set<std::string> queuedAtStop;
  const std::chrono::milliseconds stopTook = run.StopAndRestart(queuedAtStop);
  for (std::thread &client : clients) client.join();
  EXPECT_LT(stopTook, 6000ms) << "SIGTERM to exit (a second, loose for busy machines)";
  EXPECT_EQ(kill(server.pid(), 0), 0) << "the restarted server died";

  std::map<std::string, int> states;
  std::map<std::string, std::vector<const tagJOB *>> byPrinter;
  const std::vector<tagJOB> jobs = run.Jobs();
  for (const tagJOB &job : jobs) {
    SCOPED_TRACE(job.name + " on " + job.printer + " (" + docs[job.doc].name + ", settings " +
                 std::to_string(job.setting) + ", state " + std::to_string(job.result.state) + ")");
    const ipp_jstate_t state = job.result.state;
    ASSERT_GE(state, IPP_JSTATE_CANCELED) << "never ended: " << state;
    states[state == IPP_JSTATE_COMPLETED  ? "completed"
           : state == IPP_JSTATE_CANCELED ? "cancelled"
                                          : "aborted"]++;
    const std::string &why = job.result.message;
    EXPECT_TRUE(state == IPP_JSTATE_COMPLETED || !why.empty())
        << "ended " << state << " with no reason";
    EXPECT_TRUE(state != IPP_JSTATE_ABORTED ||
                why == "The server stopped while the job was printing.")
        << why;
    EXPECT_TRUE(state != IPP_JSTATE_CANCELED || job.cancel) << why;
    EXPECT_TRUE(!queuedAtStop.count(job.name) || job.cancel || state == IPP_JSTATE_COMPLETED)
        << "queued at the stop, then " << state << ": " << why;
    byPrinter[job.printer].push_back(&job);
    if (job.printer == "Net") continue;
    const Bytes out = apptest::ReadFile(server.OutputPath(job.name));
    if (job.doc + 1 == docs.size()) {  // the long job: whole pages of it
      kt50::Stream stream;
      kt50::DecodeError error;
      EXPECT_TRUE(out.empty() || kt50::DecodeStream(out, stream, error)) << error.message;
      continue;
    }
    EXPECT_EQ(Matched(out, 0, reference.at({job.doc, job.setting}), state == IPP_JSTATE_COMPLETED),
              static_cast<long>(out.size()))
        << "stream of " << out.size() << " bytes is not the job's own";
  }
  // The network printer got the jobs one after another, each whole (or
  // whole pages of it), in the order their documents arrived. A job whose
  // submission failed at the stop may have been queued all the same (its
  // acknowledgement lost with the stopping server) and printed after the
  // restart: a ghost, the same document as its retry.
  std::vector<tagJOB> ghosts;
  for (const tagJOB *job : byPrinter["Net"])
    if (job->retried) ghosts.push_back(*job);
  std::vector<const tagJOB *> left = byPrinter["Net"];
  for (const tagJOB &ghost : ghosts) left.push_back(&ghost);
  // Where two jobs would fit, the one that must be there (completed) and
  // then the older one.
  std::stable_sort(left.begin(), left.end(), [](const tagJOB *a, const tagJOB *b) {
    const bool aWhole = a->result.state == IPP_JSTATE_COMPLETED && !a->retried;
    const bool bWhole = b->result.state == IPP_JSTATE_COMPLETED && !b->retried;
    return aWhole != bWhole ? aWhole : a->result.id < b->result.id;
  });
  std::map<const tagJOB *, size_t> at;  // where each job's bytes begin
  const Bytes out = sink.Bytes();
  for (size_t pos = 0; pos < out.size();) {
    auto best = left.end();
    long bestLength = 0;
    for (auto it = left.begin(); it != left.end(); ++it) {
      const bool whole = (*it)->result.state == IPP_JSTATE_COMPLETED && (*it)->retried == false;
      const long length = Matched(out, pos, reference.at({(*it)->doc, (*it)->setting}), whole);
      if (length > bestLength) best = it, bestLength = length;
    }
    ASSERT_NE(best, left.end()) << "bytes at " << pos << " of the network stream are no job's";
    at[*best] = pos;
    pos += static_cast<size_t>(bestLength);
    left.erase(best);
  }
  int ghostsPrinted = static_cast<int>(ghosts.size());
  for (const tagJOB *job : left) {
    const bool ghost = job >= ghosts.data() && job < ghosts.data() + ghosts.size();
    ghostsPrinted -= ghost;
    EXPECT_TRUE(ghost || job->result.state != IPP_JSTATE_COMPLETED)
        << job->name << " completed but never arrived";
  }
  // One client's jobs arrived one after another: they print in that order
  // (seen on jobs no other job could be mistaken for).
  std::map<std::pair<size_t, size_t>, int> sameStream;
  for (const tagJOB *job : byPrinter["Net"]) sameStream[{job->doc, job->setting}]++;
  std::map<std::string, size_t> lastAt;
  for (const tagJOB *job : byPrinter["Net"]) {
    if (!at.count(job) || sameStream[{job->doc, job->setting}] > 1) continue;
    const std::string client = job->name.substr(0, job->name.find('-'));
    EXPECT_TRUE(!lastAt.count(client) || lastAt[client] < at[job]) << job->name << " printed early";
    lastAt[client] = at[job];
  }
  std::printf(
      "load: %zu jobs accepted; %d completed, %d cancelled, %d aborted at the stop; "
      "the stop took %lld ms and kept %zu jobs queued; %zu bytes to the network printer, "
      "%d of them from a job whose acknowledgement the stop lost\n",
      jobs.size(), states["completed"], states["cancelled"], states["aborted"],
      static_cast<long long>(stopTook.count()), queuedAtStop.size(), out.size(), ghostsPrinted);
  EXPECT_FALSE(queuedAtStop.empty()) << "the stop came with no job queued: nothing shown";
  EXPECT_EQ(jobs.size(), static_cast<size_t>(kClients * kJobsPerClient + 4));
  EXPECT_LE(states["aborted"], 3) << "only the jobs in progress at the stop";
}

}  // namespace

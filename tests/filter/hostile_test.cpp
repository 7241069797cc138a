// SPDX-License-Identifier: Apache-2.0
// What the filter meets outside the lab: input cut anywhere, headers that
// cannot be read, an upstream filter that stalls while the job is cancelled,
// inputs that cannot be read at all, and memory for any claimed page size.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cups/raster.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "filter_support.h"
#include "kt50protocol.h"
#include "pageengine.h"
#include "rasterfront.h"

namespace {

using vtest::Compression;
using vtest::Input;

vtest::tagRASTERPAGE Stripes(uint32_t width, uint32_t height) {
  return vtest::RgbPage(width, height, [](uint32_t x, uint32_t y) {
    const auto v = static_cast<uint8_t>((x * 13 + y * 7) % 256);
    return vtest::RGB{v, static_cast<uint8_t>(255 - v), static_cast<uint8_t>(x % 2 ? 0 : 255)};
  });
}

// ------------------------------------------------------- the job in process --

struct MemoryInput {
  std::span<const uint8_t> bytes;
  size_t at = 0;
};

ssize_t ReadMemory(void *ctx, unsigned char *buffer, size_t length) {
  auto &in = *static_cast<MemoryInput *>(ctx);
  const size_t n = std::min(length, in.bytes.size() - in.at);
  std::memcpy(buffer, in.bytes.data() + in.at, n);
  in.at += n;
  return static_cast<ssize_t>(n);
}

struct JobResult {
  int status;
  std::string out;
  std::string messages;
};

JobResult RunJob(cups_raster_iocb_t read, void *ctx, int code) {
  char *outText = nullptr, *messageText = nullptr;
  size_t outSize = 0, messageSize = 0;
  FILE *out = open_memstream(&outText, &outSize);
  FILE *messages = open_memstream(&messageText, &messageSize);
  tagJOBSETTINGS settings;
  settings.dotScreening = code;
  JobResult r;
  r.status = RunFilterJob(read, ctx, settings, out, messages);
  fclose(out);
  fclose(messages);
  r.out.assign(outText, outSize);
  r.messages.assign(messageText, messageSize);
  free(outText);
  free(messageText);
  return r;
}

JobResult RunInProcess(std::span<const uint8_t> raster, int code) {
  MemoryInput in{raster};
  return RunJob(ReadMemory, &in, code);
}

// The engine with screening `code` writing into memory; Stream() ends the job.
class MemoryEngine {
 public:
  explicit MemoryEngine(int code) : out_(open_memstream(&text_, &size_)) {
    tagJOBSETTINGS settings;
    settings.dotScreening = code;
    StartPrintJob(job, settings, out_);
  }
  ~MemoryEngine() {
    DeletePrintJob(job);
    fclose(out_);
    free(text_);
  }
  MemoryEngine(const MemoryEngine &) = delete;
  MemoryEngine &operator=(const MemoryEngine &) = delete;
  std::string Stream() {
    fflush(out_);
    return std::string(text_, size_);
  }
  tagPRINTJOB *const job = NewPrintJob();

 private:
  char *text_ = nullptr;
  size_t size_ = 0;
  FILE *out_;
};

// What the engine writes for `pages` when the last of them receives only its
// first `lines` lines.
std::string EngineStream(std::span<const vtest::tagRASTERPAGE> pages, int code, uint32_t lines) {
  MemoryEngine engine(code);
  tagPRINTJOB *job = engine.job;
  for (const vtest::tagRASTERPAGE &page : pages) {
    StartPrintPage(job, page.width, page.height);
    const uint32_t given = &page == &pages.back() ? lines : page.height;
    for (uint32_t y = 0; y < given; ++y) {
      std::vector<uint8_t> line(3 * size_t{page.width}, 0);
      page.fill(y, line);
      PutPrintLine(job, line.data(), line.size());
    }
    EndPrintPage(job);
  }
  return engine.Stream();
}

size_t PageLines(const std::string &messages) {
  size_t count = 0;
  for (size_t at = 0; (at = messages.find("PAGE: ", at)) != std::string::npos; ++at) ++count;
  return count;
}

// Every cut of a two-page job, on both roads and both raster kinds: only the
// ends of whole pages (and an input without a byte) are a job's end; every
// other cut loses output and says so, keeping the whole pages before it. On
// the image road a page cut inside its lines is printed with the lines that
// arrived, more of them as the cut moves on.
TEST(CutInput, OnlyTheEndOfAWholePageEndsAJob) {
  const vtest::tagRASTERPAGE pages[] = {Stripes(21, 5), Stripes(13, 3)};
  constexpr size_t kHeader = 4 + sizeof(cups_page_header2_t);
  for (Compression c : {Compression::None, Compression::Compressed}) {
    const std::vector<uint8_t> whole = vtest::MakeRaster(pages, c);
    const size_t firstEnd = vtest::MakeRaster(std::span(pages, 1), c).size();
    for (int code : {2, 4}) {
      const std::string onePage = RunInProcess(std::span(whole).first(firstEnd), code).out;
      const std::string twoPages = RunInProcess(whole, code).out;
      ASSERT_LT(onePage.size(), twoPages.size());
      // The streams of the first page and of both pages with the last one
      // cut after 0, 1, ... of its lines, and how far each cut got.
      std::vector<std::string> cutShort[2];
      for (size_t p = 0; p < 2; ++p)
        for (uint32_t k = 0; k < pages[p].height; ++k)
          cutShort[p].push_back(EngineStream(std::span(pages, p + 1), code, k));
      size_t reached[2] = {0, 0};
      for (size_t cut = 0; cut <= whole.size(); ++cut) {
        const JobResult r = RunInProcess(std::span(whole).first(cut), code);
        const bool clean = cut == 0 || cut == 4 || cut == firstEnd || cut == whole.size();
        ASSERT_EQ(r.status, clean ? 0 : 1) << "cut " << cut << ": " << r.messages;
        ASSERT_EQ(r.messages.find("ERROR: ") != std::string::npos, !clean) << r.messages;
        const size_t page = cut >= firstEnd ? 1 : 0;
        const size_t linesFrom = page == 0 ? kHeader : firstEnd + kHeader - 4;
        if (code == 4 && !clean && cut >= linesFrom) {
          const auto &streams = cutShort[page];
          const auto found = std::find(streams.begin() + reached[page], streams.end(), r.out);
          ASSERT_NE(found, streams.end()) << "cut " << cut << " inside page " << page + 1;
          reached[page] = found - streams.begin();
          ASSERT_EQ(PageLines(r.messages), page + 1) << r.messages;
          continue;
        }
        const std::string &kept = cut >= whole.size() ? twoPages : cut >= firstEnd ? onePage : "";
        ASSERT_EQ(r.out, kept) << "cut " << cut;
      }
      if (code == 4) {
        EXPECT_EQ(reached[0], pages[0].height - 1u);
        EXPECT_EQ(reached[1], pages[1].height - 1u);
      }
    }
  }
}

// Bytes after the last page, and a later page header that libcups refuses,
// are not the end of the job.
TEST(CutInput, TrailingBytesAndRefusedHeadersAreReported) {
  const vtest::tagRASTERPAGE pages[] = {Stripes(30, 4), Stripes(30, 4)};
  std::vector<uint8_t> raster = vtest::MakeRaster(pages);
  const size_t second = vtest::MakeRaster(std::span(pages, 1)).size();
  const std::string onePage = RunInProcess(std::span(raster).first(second), 0).out;

  std::vector<uint8_t> trailing = vtest::MakeRaster(std::span(pages, 1));
  trailing.insert(trailing.end(), {'x', 'y', 'z'});
  JobResult r = RunInProcess(trailing, 0);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, onePage);
  EXPECT_NE(r.messages.find("ERROR: the page header of page 2"), std::string::npos) << r.messages;

  const uint32_t noBits = 0;
  std::memcpy(&raster[second + offsetof(cups_page_header2_t, cupsBitsPerPixel)], &noBits, 4);
  r = RunInProcess(raster, 0);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, onePage);
  EXPECT_NE(r.messages.find("ERROR: "), std::string::npos) << r.messages;
}

// ------------------------------------------ reads of any size and pace --

// A page with runs (so that compression has something to do), white
// stretches and a pattern of its own.
vtest::tagRASTERPAGE RandomPage(std::mt19937 &rng) {
  const uint32_t width = 1 + rng() % 3000, height = 1 + rng() % 240, seed = rng() % 1000;
  return vtest::RgbPage(width, height, [seed](uint32_t x, uint32_t y) {
    if ((x + y + seed) % 97 < 20) return vtest::RGB{255, 255, 255};
    const auto v = static_cast<uint8_t>((x / (1 + seed % 9)) * 29 + y * 13 + seed);
    return vtest::RGB{v, static_cast<uint8_t>(v ^ seed), static_cast<uint8_t>(y + seed)};
  });
}

// A random job: one to three pages, either raster kind, cut at a random byte
// one time in three.
std::vector<uint8_t> RandomRaster(std::mt19937 &rng) {
  std::vector<vtest::tagRASTERPAGE> pages;
  for (uint32_t n = 1 + rng() % 3; n > 0; --n) pages.push_back(RandomPage(rng));
  std::vector<uint8_t> raster =
      vtest::MakeRaster(pages, rng() % 2 ? Compression::Compressed : Compression::None);
  if (rng() % 3 == 0) raster.resize(rng() % raster.size());
  return raster;
}

// The plain front end the reader must agree with: libcups, one line a call,
// each line straight into the engine; a page cut short printed where the
// road keeps such a page. The stream, and the lines of a page cut short
// (-1 when no page was).
std::pair<std::string, long> PlainFrontEnd(std::span<const uint8_t> raster, int code) {
  MemoryInput in{raster};
  MemoryEngine engine(code);
  tagPRINTJOB *job = engine.job;
  long cutAt = -1;
  cups_raster_t *ras = cupsRasterOpenIO(ReadMemory, &in, CUPS_RASTER_READ);
  cups_page_header2_t h;
  while (ras != nullptr && cutAt < 0 && cupsRasterReadHeader2(ras, &h)) {
    StartPrintPage(job, h.cupsWidth, h.cupsHeight);
    std::vector<uint8_t> line(h.cupsBytesPerLine);
    uint32_t y = 0;
    for (; y < h.cupsHeight && cupsRasterReadPixels(ras, line.data(), h.cupsBytesPerLine) ==
                                   h.cupsBytesPerLine; ++y)
      PutPrintLine(job, line.data(), line.size());
    if (y < h.cupsHeight) cutAt = y;
    if (y == h.cupsHeight || PrintJobKeepsCutPage(job)) EndPrintPage(job);
  }
  if (ras != nullptr) cupsRasterClose(ras);
  return {engine.Stream(), cutAt};
}

// Reads as a pipe may deliver: each request answered with a random part of
// it, at most `most` bytes.
struct PieceInput {
  MemoryInput memory;
  std::mt19937 rng;
  size_t most;
};

ssize_t ReadPieces(void *ctx, unsigned char *buffer, size_t length) {
  auto &in = *static_cast<PieceInput *>(ctx);
  const size_t piece = 1 + in.rng() % std::min(length, in.most);
  return ReadMemory(&in.memory, buffer, piece);
}

// The reader hands the engine what a plain line-by-line reader would, in
// batches or not, however the input arrives: random jobs, read whole and in
// random pieces, give the plain front end's stream; the pieces change
// neither the messages nor the status; a page cut short is named with the
// lines that arrived.
TEST(ReadSizes, AnyPiecesGiveWhatAPlainReaderGives) {
  std::mt19937 rng(19);
  for (int n = 0; n < 80; ++n) {
    const std::vector<uint8_t> raster = RandomRaster(rng);
    const int code = static_cast<int>(rng() % 6);
    const JobResult whole = RunInProcess(raster, code);
    const auto [plain, cutAt] = PlainFrontEnd(raster, code);
    ASSERT_EQ(whole.out, plain) << "job " << n << ", code " << code << ": " << whole.messages;
    if (cutAt >= 0) {
      EXPECT_NE(whole.messages.find(" has " + std::to_string(cutAt) + " of its "), std::string::npos)
          << "job " << n << ": " << whole.messages;
    }
    for (size_t most : {size_t{1}, size_t{4093}, size_t{1} << 20}) {
      PieceInput in{{raster}, std::mt19937(n), most};
      const JobResult pieces = RunJob(ReadPieces, &in, code);
      ASSERT_EQ(pieces.status, whole.status) << "job " << n << ", pieces of " << most;
      ASSERT_EQ(pieces.messages, whole.messages) << "job " << n << ", pieces of " << most;
      ASSERT_EQ(pieces.out, whole.out) << "job " << n << ", pieces of " << most;
    }
  }
}

// Through a real pipe, written in random pieces at a random pace, the filter
// prints what it prints from the named file.
TEST(ReadSizes, APipeAtAnyPaceGivesWhatTheFileGives) {
  std::mt19937 rng(1904);
  for (int n = 0; n < 12; ++n) {
    const std::vector<uint8_t> raster = RandomRaster(rng);
    const std::string options = "TKDotScreening=" + std::string(n % 2 ? "TKScreeningErrorDiffusion"
                                                                      : "TKScreeningFine");
    const vtest::RunResult file = vtest::RunFilter(options, raster, Input::NamedFile);
    vtest::RunOptions paced;
    paced.writePieces = 1 + rng() % 70000;
    paced.pieceSeed = static_cast<unsigned>(n);
    const vtest::RunResult pipe = vtest::RunFilter(options, raster, Input::Pipe, paced);
    EXPECT_EQ(pipe.exitStatus, file.exitStatus) << "job " << n;
    EXPECT_EQ(pipe.err, file.err) << "job " << n;
    EXPECT_EQ(pipe.out, file.out) << "job " << n;
  }
}

// ------------------------------------------- headers the tools meet too --

// Page headers that claim more than the printer can take, or cannot be read
// at all, as the filter's tests meet them: the filter and vantrex-rasterinfo
// (the tools' reader of raster, and the benchmark's floor) both refuse them
// from the header alone, in bounded time and memory, after the pages before
// (the filter names the page; it may refuse it for its format first).
TEST(HostileHeaders, TheToolsRefuseWhatTheFilterRefuses) {
  constexpr size_t kW = offsetof(cups_page_header2_t, cupsWidth);
  constexpr size_t kH = offsetof(cups_page_header2_t, cupsHeight);
  constexpr size_t kBits = offsetof(cups_page_header2_t, cupsBitsPerPixel);
  constexpr size_t kLine = offsetof(cups_page_header2_t, cupsBytesPerLine);
  const char *tooLarge = "larger than the printer can take";
  const char *unreadable = "page header of page";
  const struct {
    size_t page;  // the page whose header is patched, from 0
    std::vector<std::pair<size_t, uint32_t>> fields;
    bool trailing;  // bytes after the last page instead
    const char *reason;
  } cases[] = {
      {1, {{kW, 19841}, {kLine, 3 * 19841}}, false, tooLarge},
      {1, {{kH, 29291}}, false, tooLarge},
      {1, {{kW, 170000000}, {kH, 4000000000u}, {kLine, 510000000}}, false, tooLarge},
      {0, {{kW, 1240000000}, {kLine, 3720000000u}}, false, tooLarge},
      // A 1-bit page of 2^30 pixels squared whose lines the compression repeats.
      {2, {{kW, 1077952576}, {kH, 1077952576}, {kBits, 1}, {kLine, 134744072}}, false, tooLarge},
      {1, {{kBits, 0}}, false, unreadable},
      {2, {}, true, unreadable},
  };
  vtest::RunOptions limited;
#if !defined(__SANITIZE_ADDRESS__)
  limited.addressSpaceLimit = 1ull << 30;
#endif
  const std::vector<vtest::tagRASTERPAGE> pages(3, Stripes(30, 4));
  for (Compression c : {Compression::None, Compression::Compressed}) {
    for (const auto &k : cases) {
      std::vector<uint8_t> raster =
          vtest::MakeRaster(std::span(pages).first(k.trailing ? k.page : pages.size()), c);
      const size_t header = vtest::MakeRaster(std::span(pages).first(k.page), c).size();
      for (auto [at, value] : k.fields) std::memcpy(&raster.at(header + at), &value, 4);
      if (k.trailing) raster.insert(raster.end(), {'x', 'y', 'z'});
      const auto start = std::chrono::steady_clock::now();
      const vtest::RunResult filter = vtest::RunFilter("", raster, Input::Pipe, limited);
      const vtest::RunResult info = vtest::RunProgram({VANTREX_RASTERINFO_PATH}, raster, {}, limited);
      EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
      const std::string listed(info.out.begin(), info.out.end());
      const std::string page = "page " + std::to_string(k.page + 1);
      const std::string where = page + ": " + listed;
      EXPECT_EQ(filter.exitStatus, 1) << where << filter.err;
      EXPECT_NE(filter.err.find("ERROR: "), std::string::npos) << where << filter.err;
      EXPECT_NE(filter.err.find(page), std::string::npos) << where << filter.err;
      EXPECT_EQ(info.exitStatus, 1) << where << info.err;
      EXPECT_NE(listed.find(k.reason), std::string::npos) << where;
      EXPECT_NE(listed.find(std::to_string(k.page) + " page(s)"), std::string::npos) << where;
    }
  }
}

// ---------------------------------------------------------- cancelling --

// The scheduler cancels while the upstream filter sends nothing more and
// keeps its end open: the filter ends on the signal alone, with the pages
// it finished and nothing reported.
TEST(Cancel, EndsWhileTheInputStalls) {
  const vtest::tagRASTERPAGE pages[] = {Stripes(700, 50), Stripes(700, 50)};
  const std::vector<uint8_t> raster = vtest::MakeRaster(pages);
  const size_t second = vtest::MakeRaster(std::span(pages, 1)).size();
  for (const char *screening : {"TKScreeningFine", "TKScreeningFrequencyAngle",
                                "TKScreeningErrorDiffusion"}) {
    const std::string options = std::string("TKDotScreening=") + screening;
    const vtest::RunResult first =
        vtest::RunFilter(options, std::span(raster).first(second));
    ASSERT_EQ(first.exitStatus, 0) << first.err;
    // Stalled inside the second page's lines, and inside the first page's.
    for (size_t stall : {second + 1796 + 2000, size_t{1800 + 3000}}) {
      vtest::RunOptions cancel;
      cancel.holdInputAfterTerminate = true;
      if (stall > second)
        cancel.terminateAfterOutput = static_cast<long>(first.out.size());
      else
        cancel.terminateAfterMs = 300;
      const vtest::RunResult r =
          vtest::RunFilter(options, std::span(raster).first(stall), Input::Pipe, cancel);
      EXPECT_EQ(r.exitStatus, 0) << options << ": " << r.err;
      EXPECT_EQ(r.err.find("ERROR"), std::string::npos) << r.err;
      EXPECT_EQ(r.out, stall > second ? first.out : std::vector<uint8_t>{}) << options;
      EXPECT_GE(r.msToEndAfterTerminate, 0) << "the filter did not end on SIGTERM";
    }
  }
}

// --------------------------------------------------- inputs that fail --

TEST(UnreadableInput, ADirectoryIsAReadErrorAnEmptyFileAnEmptyJob) {
  const std::string dir = testing::TempDir();
  const std::string f = vtest::FilterPath();
  const vtest::RunResult named = vtest::RunProgram({f, "1", "u", "t", "1", "", dir}, {});
  const vtest::RunResult redirected = vtest::RunProgram({f, "1", "u", "t", "1", ""}, {}, dir);
  for (const vtest::RunResult &r : {named, redirected}) {
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_TRUE(r.out.empty());
    EXPECT_EQ(r.err.rfind("ERROR: cannot read the input: Is a directory", 0), 0u) << r.err;
  }
  const vtest::TempFile empty;
  const vtest::RunResult none = vtest::RunProgram({f, "1", "u", "t", "1", "", empty.path()}, {});
  EXPECT_EQ(none.exitStatus, 0);
  EXPECT_TRUE(none.out.empty());
  EXPECT_EQ(none.err, "");
}

// --------------------------------------------------------------- memory --

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// The printer's largest page on every road, and headers claiming far more,
// all stay within 40 MiB.
TEST(Memory, PeakStaysUnderFortyMebibytesForAnyPage) {
  constexpr long kLimitKb = 40 * 1024;
  const vtest::tagRASTERPAGE full = Stripes(kPageBitmapWidth, kPageBitmapHeight);
  const std::vector<uint8_t> raster = vtest::MakeRaster(std::span(&full, 1), Compression::Compressed);
  vtest::RunOptions measure;
  measure.measurePeakMemory = true;
  for (const char *screening : {"TKScreeningNone", "TKScreeningFrequencyAngle",
                                "TKScreeningErrorDiffusion"}) {
    const vtest::RunResult r =
        vtest::RunFilter(std::string("TKDotScreening=") + screening, raster, Input::Pipe, measure);
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_GT(r.maxRssKb, 0);
    EXPECT_LT(r.maxRssKb, kLimitKb) << screening;
    printf("full page, %s: peak %ld kB\n", screening, r.maxRssKb);
  }
  // The largest page taken, and one claiming 4 G lines of 512 MB.
  for (auto [w, h] : {std::pair{kMaxRasterWidth, kMaxRasterHeight}, {170000000u, 4000000000u}}) {
    std::vector<uint8_t> claim = vtest::MakeRaster(std::vector{Stripes(8, 1)}, Compression::Compressed);
    const uint32_t fields[][2] = {{offsetof(cups_page_header2_t, cupsWidth), w},
                                  {offsetof(cups_page_header2_t, cupsHeight), h},
                                  {offsetof(cups_page_header2_t, cupsBytesPerLine), 3 * w}};
    for (auto [at, v] : fields) std::memcpy(&claim[4 + at], &v, 4);
    const vtest::RunResult r =
        vtest::RunFilter("TKDotScreening=TKScreeningFrequencyAngle", claim, Input::Pipe, measure);
    EXPECT_EQ(r.exitStatus, 1) << r.err;
    EXPECT_LT(r.maxRssKb, kLimitKb) << w << " x " << h;
    printf("claimed %u x %u: peak %ld kB\n", w, h, r.maxRssKb);
  }
}

// Such a header is refused as it arrives: libcups, which would size its line
// buffers from it, never asks for the gigabytes (here it could not have them).
TEST(Memory, ClaimedLinesNeverReachTheRasterLibrary) {
  for (Compression c : {Compression::None, Compression::Compressed}) {
    std::vector<uint8_t> claim = vtest::MakeRaster(std::vector{Stripes(8, 1)}, c);
    const uint32_t fields[][2] = {{offsetof(cups_page_header2_t, cupsWidth), 1240000000u},
                                  {offsetof(cups_page_header2_t, cupsBytesPerLine), 3720000000u}};
    for (auto [at, v] : fields) std::memcpy(&claim[4 + at], &v, 4);
    vtest::RunOptions limited;
    limited.addressSpaceLimit = 1ull << 30;
    const vtest::RunResult r = vtest::RunFilter("", claim, Input::Pipe, limited);
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_NE(r.err.find("ERROR: page 1: a page of 1240000000 x 1 pixels in lines of 3720000000 bytes "
                         "is larger than the printer can take"),
              std::string::npos)
        << r.err;
  }
}
#endif

}  // namespace

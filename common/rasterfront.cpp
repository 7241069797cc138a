// SPDX-License-Identifier: Apache-2.0
#include "rasterfront.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <semaphore.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "pageengine.h"
#include "rasterheader.h"

namespace {

// Set when the print system cancels the job (SIGTERM): the page loop then
// stops before writing another page, so the stream ends after a complete page.
// Lock-free, so the signal handler may set it while the reader thread reads it.
std::atomic<int> g_JobCancelled{0};
static_assert(std::atomic<int>::is_always_lock_free);

// A pipe that becomes readable when the job is cancelled or the screening
// side gives up, so that a read waiting for the upstream filter wakes up.
int g_CancelPipe[2] = {-1, -1};

// Wakes and ends the reads of the input; safe in a signal handler.
void StopReads() {
  if (g_CancelPipe[1] >= 0) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = write(g_CancelPipe[1], &byte, 1);
  }
}

}  // namespace

void CancelFilterJob() {
  g_JobCancelled = 1;
  StopReads();
}

namespace {

// ------------------------------------------------------------ line ring --
// Reading (and decompressing) the raster and screening it do not take turns:
// a reader thread fills slots that the screening thread empties. A slot holds
// a page header, some whole lines of a page, or the job's end.

enum class Slot { Header, Lines, End };

struct tagSLOT {
  Slot kind = Slot::End;
  cups_page_header2_t header{};
  uint32_t lines = 0;
  uint32_t lineBytes = 0;
  std::string error;  // End: the reason, or empty at the clean end
  bool cut = false;   // End: the input ended or failed inside a page's lines
  // Lines: a batch of up to kSlotBytes (17 lines of the widest page, 34 of a
  // Letter page at 600 dpi) or as many lines as a short page has; sized by
  // the reader, so a small job stays small. A batch, not a line, is what the
  // two threads hand each other, so they wait on each other seldom.
  std::vector<uint8_t> data;
};
constexpr uint32_t kSlotBytes = 1 << 19;

struct tagLINERING {
  static constexpr int kSlots = 8;
  std::array<tagSLOT, kSlots> slots;
  sem_t filled;
  sem_t empty;
  std::atomic<bool> stop{false};  // the screening side has given up
  tagLINERING() {
    sem_init(&filled, 0, 0);
    sem_init(&empty, 0, kSlots);
  }
  ~tagLINERING() {
    sem_destroy(&filled);
    sem_destroy(&empty);
  }
  tagLINERING(const tagLINERING &) = delete;
  tagLINERING &operator=(const tagLINERING &) = delete;
};

// Waits for a semaphore; false when the wait ends on a cancelled job.
bool Take(sem_t &sem) {
  while (sem_wait(&sem) != 0) {
    if (errno != EINTR || g_JobCancelled) return false;
  }
  return !g_JobCancelled;
}

struct tagREADER {
  tagRASTERIN &raster;
  tagLINERING &ring;
  int next = 0;  // the slot the reader fills next
  // Where the bytes of a line beyond what the page can draw are read to.
  std::array<uint8_t, 1 << 16> sink{};
};

tagSLOT *Claim(tagREADER &r) {
  if (r.ring.stop || !Take(r.ring.empty) || r.ring.stop) return nullptr;
  return &r.ring.slots[static_cast<size_t>(r.next)];
}

void Publish(tagREADER &r) {
  r.next = (r.next + 1) % tagLINERING::kSlots;
  sem_post(&r.ring.filled);
}

// Skips the rest of a line in bounded pieces.
bool SkipBytes(tagREADER &r, uint32_t count) {
  while (count > 0) {
    const uint32_t piece = std::min<uint32_t>(count, r.sink.size());
    if (cupsRasterReadPixels(r.raster.ras, r.sink.data(), piece) != piece) return false;
    count -= piece;
  }
  return true;
}

// Whether libcups hands this stream's line bytes on as they arrive (no
// compression): then the bytes the input delivered during a read of many
// lines tell how many of them arrived whole.
bool LinesPassThrough(const tagINPUT &in) {
  const std::string_view word(in.sync.data(), in.sync.size());
  return word == "RaS3" || word == "3SaR" || word == "RaSt" || word == "tSaR";
}

// Reads `count` lines of `lineBytes` into `at`, keeping the first `keep`
// bytes of each; returns how many arrived whole.
uint32_t ReadLines(tagREADER &r, uint8_t *at, uint32_t count, uint32_t keep, uint32_t lineBytes) {
  if (keep == lineBytes && LinesPassThrough(r.raster.in)) {
    // One request for the batch: the input is read in pieces as large as it
    // holds, rather than a read (and a wait) a line.
    const uint64_t before = r.raster.in.bytesIn;
    const uint32_t want = count * keep;
    if (cupsRasterReadPixels(r.raster.ras, at, want) == want) return count;
    return static_cast<uint32_t>(std::min<uint64_t>((r.raster.in.bytesIn - before) / keep, count));
  }
  for (uint32_t i = 0; i < count; ++i, at += keep) {
    if (g_JobCancelled || cupsRasterReadPixels(r.raster.ras, at, keep) != keep ||
        (keep != lineBytes && !SkipBytes(r, lineBytes - keep)))
      return i;
  }
  return count;
}

// Reads one page's lines into slots, keeping only the bytes the page can
// draw. `cut` tells whether a failure came from the input ending or failing
// inside the lines.
std::string ReadPageLines(tagREADER &r, const cups_page_header2_t &h, int pageNumber, bool &cut) {
  const uint32_t keep = std::min<uint32_t>(h.cupsBytesPerLine, 3 * kPageBitmapWidth);
  const uint32_t perSlot = std::min(kSlotBytes / std::max(keep, 1u), h.cupsHeight);
  for (uint32_t line = 0; line < h.cupsHeight;) {
    tagSLOT *slot = Claim(r);
    if (slot == nullptr) return {};
    slot->kind = Slot::Lines;
    slot->lines = 0;
    try {
      if (slot->data.size() < static_cast<size_t>(perSlot) * keep)
        slot->data.resize(static_cast<size_t>(perSlot) * keep);
    } catch (const std::bad_alloc &) {
      Publish(r);
      return "not enough memory for the raster's lines";
    }
    slot->lineBytes = keep;
    const uint32_t want = std::min(perSlot, h.cupsHeight - line);
    const uint32_t got =
        g_JobCancelled ? 0 : ReadLines(r, slot->data.data(), want, keep, h.cupsBytesPerLine);
    slot->lines = got;
    line += got;
    Publish(r);  // the whole lines before a failure still count
    if (got < want) {
      cut = !g_JobCancelled;
      if (r.raster.in.readErrno != 0)
        return std::string("cannot read the input: ") + strerror(r.raster.in.readErrno);
      return "raster ended early: page " + std::to_string(pageNumber) + " has " +
             std::to_string(line) + " of its " + std::to_string(h.cupsHeight) + " lines";
    }
  }
  return {};
}

// The reader thread. Headers are checked here, before a line is read.
void ReadJob(tagREADER &r) {
  std::string error;
  bool cut = false;
  cups_page_header2_t header;
  for (int pageNumber = 1; !g_JobCancelled && !r.ring.stop; ++pageNumber) {
    if (!NextHeader(r.raster, header, pageNumber, error)) break;
    if (std::string fault = HeaderFault(header); !fault.empty()) {
      error = "page " + std::to_string(pageNumber) + ": " + fault;
      break;
    }
    tagSLOT *slot = Claim(r);
    if (slot == nullptr) return;
    slot->kind = Slot::Header;
    slot->header = header;
    Publish(r);
    error = ReadPageLines(r, header, pageNumber, cut);
    if (!error.empty()) break;
  }
  if (tagSLOT *slot = Claim(r)) {
    slot->kind = Slot::End;
    slot->error = std::move(error);
    slot->cut = cut;
    Publish(r);
  }
}

constexpr size_t kReaderStackBytes = size_t{512} << 10;

void *RunReader(void *reader) {
  auto &r = *static_cast<tagREADER *>(reader);
  ReadJob(r);
  // A cancelled reader leaves without an end slot; the screening side may
  // have gone to wait after the signal had come, and must wake to see it.
  sem_post(&r.ring.filled);
  return nullptr;
}

// ------------------------------------------------------ screening side --

struct tagJOBOWNER {
  tagPRINTJOB *job = NewPrintJob();
  ~tagJOBOWNER() { DeletePrintJob(job); }
  tagJOBOWNER() = default;
  tagJOBOWNER(const tagJOBOWNER &) = delete;
  tagJOBOWNER &operator=(const tagJOBOWNER &) = delete;
};

// Writes the page and tells the print system it was printed.
bool FinishPage(tagPRINTJOB *job, int pageNumber, FILE *messages) {
  if (!EndPrintPage(job)) return false;
  fprintf(messages, "PAGE: %d 1\nINFO: Printed page %d\n", pageNumber, pageNumber);
  fflush(messages);
  return true;
}

// The screening side: pages from the ring into the engine. Returns the first
// failure, or nothing.
std::string ScreenPages(tagPRINTJOB *job, tagLINERING &ring, FILE *messages) {
  uint32_t pageLines = 0, linesIn = 0;
  int pageNumber = 0;
  bool inPage = false;
  for (int at = 0;; at = (at + 1) % tagLINERING::kSlots) {
    if (!Take(ring.filled)) return {};
    tagSLOT &slot = ring.slots[static_cast<size_t>(at)];
    if (slot.kind == Slot::End) {
      // The lines that arrived of a page cut short are printed where the
      // road keeps such a page; the loss is reported all the same.
      if (slot.cut && inPage && !g_JobCancelled && PrintJobKeepsCutPage(job) &&
          !FinishPage(job, pageNumber, messages))
        return PrintJobError(job);
      return slot.error;
    }
    if (slot.kind == Slot::Header) {
      ++pageNumber;
      if (!StartPrintPage(job, slot.header.cupsWidth, slot.header.cupsHeight)) return PrintJobError(job);
      pageLines = slot.header.cupsHeight;
      linesIn = 0;
      inPage = true;
    } else {
      for (uint32_t i = 0; i < slot.lines && !g_JobCancelled; ++i, ++linesIn)
        PutPrintLine(job, slot.data.data() + static_cast<size_t>(i) * slot.lineBytes,
                     slot.lineBytes);
      if (g_JobCancelled) return {};
      if (linesIn == pageLines) {
        inPage = false;
        if (!FinishPage(job, pageNumber, messages)) return PrintJobError(job);
      }
    }
    sem_post(&ring.empty);
  }
}

// The page loop over the open raster: a reader thread and this one.
std::string PrintPages(tagRASTERIN &raster, const tagJOBSETTINGS &settings, FILE *out,
                       FILE *messages) {
  tagJOBOWNER owner;
  tagPRINTJOB *job = owner.job;
  if (job == nullptr) return "not enough memory for the job";
  if (!StartPrintJob(job, settings, out)) return PrintJobError(job);
  auto ring = std::make_unique<tagLINERING>();
  auto reader = std::make_unique<tagREADER>(tagREADER{raster, *ring});
  // The reader never takes the cancelling signal: it comes to this thread,
  // whose waits and writes it interrupts, and the reader hears of it through
  // the cancel pipe its reads watch.
  sigset_t term, old;
  sigemptyset(&term);
  sigaddset(&term, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &term, &old);
  // The reader's calls are shallow: a small stack, not the default 8 MB,
  // which is set up and torn down with every job.
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, kReaderStackBytes);
  pthread_t thread;
  const bool started = pthread_create(&thread, &attr, RunReader, reader.get()) == 0;
  pthread_attr_destroy(&attr);
  std::string error;
  if (!started) error = "cannot start the raster reader";
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  if (error.empty()) error = ScreenPages(job, *ring, messages);
  // Whatever the reader waits for, it now finds the stop.
  ring->stop = true;
  StopReads();
  for (int i = 0; i < tagLINERING::kSlots + 1; ++i) sem_post(&ring->empty);
  if (started) pthread_join(thread, nullptr);
  return error;
}

// Reads from a file descriptor; a cancelled job ends the wait.
struct tagFDREADER {
  int fd;
};

ssize_t ReadFd(void *ctx, unsigned char *buffer, size_t length) {
  const int fd = static_cast<tagFDREADER *>(ctx)->fd;
  while (!g_JobCancelled) {
    pollfd fds[2] = {{fd, POLLIN, 0}, {g_CancelPipe[0], POLLIN, 0}};
    if (poll(fds, g_CancelPipe[0] >= 0 ? 2 : 1, -1) < 0 && errno != EINTR) break;
    if (g_JobCancelled || fds[1].revents != 0) break;
    if (fds[0].revents == 0) continue;
    const ssize_t n = read(fd, buffer, length);
    if (n >= 0 || errno != EINTR) return n;
  }
  errno = EINTR;
  return -1;
}

// A deeper pipe from the upstream filter lets it run further ahead while a
// page is screened, and lets each read take more. Left as it is where the
// system refuses (a per-user limit) or the input is no pipe.
void DeepenPipe(int fd) {
  constexpr int kPipeBytes = 1 << 20;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISFIFO(st.st_mode)) return;
  if (fcntl(fd, F_GETPIPE_SZ) < kPipeBytes) fcntl(fd, F_SETPIPE_SZ, kPipeBytes);
}

}  // namespace

int RunFilterJob(cups_raster_iocb_t read, void *ctx, const tagJOBSETTINGS &settings, FILE *out,
                 FILE *messages) {
  tagRASTERIN raster;
  std::string error;
  if (OpenRasterInput(raster, read, ctx, &g_JobCancelled, error))
    error = PrintPages(raster, settings, out, messages);
  if (fflush(out) != 0 || ferror(out)) {
    if (error.empty()) error = std::string("cannot write the printer stream: ") + strerror(errno);
  }
  // A cancelled job loses nothing anyone still wants: the stream ends after
  // its last complete page, and the failures its end caused are not reported.
  if (error.empty() || g_JobCancelled) return 0;
  fprintf(messages, "ERROR: %s\n", error.c_str());
  fflush(messages);
  return 1;
}

int SendPrinterCommand(int argc, char *argv[], const tagJOBSETTINGS &settings) {
  if (g_CancelPipe[0] < 0 && pipe2(g_CancelPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    g_CancelPipe[0] = g_CancelPipe[1] = -1;
  }
  // A job before this one in the same process may have stopped the reads.
  char stale[64];
  while (!g_JobCancelled && g_CancelPipe[0] >= 0 && read(g_CancelPipe[0], stale, sizeof stale) > 0) {
  }
  tagFDREADER input{0};
  if (argc == 7 && argv[6] != nullptr) {
    input.fd = open(argv[6], O_RDONLY);
    if (input.fd < 0) {
      fprintf(stderr, "ERROR: cannot open the input file \"%s\": %s\n", argv[6], strerror(errno));
      return 1;
    }
  }
  DeepenPipe(input.fd);
  const int status = RunFilterJob(ReadFd, &input, settings, stdout, stderr);
  if (input.fd != 0) close(input.fd);
  return status;
}

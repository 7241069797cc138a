// The PDF filter: Ghostscript (-dSAFER) renders the document to 8-bit gray
// PWG raster at 600 dpi on a pipe; each page goes through the raster
// callbacks as a client's raster would.
#include "pdf.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cups/raster.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "kt50protocol.h"
#include "raster.h"

extern char **environ;

namespace {

constexpr unsigned kMaxBytesPerLine = 3 * kPageBitmapWidth * 4;  // far beyond any 600 dpi page we take

// Ghostscript writing raster into a pipe; killed and reaped when dropped.
class tagRENDERER {
 public:
  tagRENDERER(const char *pdf) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const std::string input = pdf;
    std::array<const char *, 14> argv{
        "gs", "-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-dNOINTERACTION", "-sDEVICE=pwgraster",
        "-dcupsColorSpace=18", "-dcupsBitsPerColor=8", "-r600", "-sstdout=%stderr",
        "-sOutputFile=%stdout", input.c_str(), nullptr};
    if (posix_spawnp(&pid_, "gs", &actions, nullptr, const_cast<char **>(argv.data()), environ) != 0)
      pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    fd_ = pid_ > 0 ? fds[0] : (close(fds[0]), -1);
  }
  ~tagRENDERER() { Finish(true); }
  tagRENDERER(const tagRENDERER &) = delete;
  tagRENDERER &operator=(const tagRENDERER &) = delete;

  int fd() const { return fd_; }
  // Waits for Ghostscript (killing it first when `kill`); true on success.
  bool Finish(bool kill) {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    if (pid_ <= 0) return false;
    if (kill) ::kill(pid_, SIGTERM);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }

 private:
  pid_t pid_ = -1;
  int fd_ = -1;
};

// Reads Ghostscript's output, giving up as soon as the job must stop rather
// than waiting for the next page to be rendered.
struct tagPIPEREADER {
  int fd;
  pappl_job_t *job;
};

ssize_t ReadPipe(void *ctx, unsigned char *buffer, size_t bytes) {
  const auto *reader = static_cast<tagPIPEREADER *>(ctx);
  for (;;) {
    if (JobMustStop(reader->job)) return -1;
    pollfd pfd{reader->fd, POLLIN, 0};
    const int ready = poll(&pfd, 1, 100);
    if (ready < 0 && errno != EINTR) return -1;
    if (ready <= 0) continue;
    const ssize_t got = read(reader->fd, buffer, bytes);
    if (got >= 0 || errno != EINTR) return got;
  }
}

struct RasterCloser {
  void operator()(cups_raster_t *ras) const { cupsRasterClose(ras); }
};
struct OptionsDeleter {
  void operator()(pappl_pr_options_t *options) const { papplJobDeletePrintOptions(options); }
};

// One page from the raster through the callbacks; false stops the job.
bool PrintPage(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *device,
               cups_raster_t *ras, unsigned page) {
  const cups_page_header2_t &header = options->header;
  if (header.cupsBytesPerLine == 0 || header.cupsBytesPerLine > kMaxBytesPerLine) return false;
  if (!KT50StartPage(job, options, device, page)) return false;
  std::vector<unsigned char> line(header.cupsBytesPerLine);
  for (unsigned y = 0; y < header.cupsHeight; ++y) {
    if (cupsRasterReadPixels(ras, line.data(), header.cupsBytesPerLine) != header.cupsBytesPerLine)
      break;  // the end page callback refuses the short page
    if (!KT50WriteLine(job, options, device, y, line.data())) return false;
  }
  if (!KT50EndPage(job, options, device, page)) return false;
  papplJobSetImpressionsCompleted(job, 1);
  return true;
}

}  // namespace

bool PdfFilter(pappl_job_t *job, pappl_device_t *device, void *) {
  tagRENDERER gs(papplJobGetFilename(job));
  if (gs.fd() < 0) {
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Cannot run Ghostscript.");
    return false;
  }
  tagPIPEREADER reader{gs.fd(), job};
  std::unique_ptr<cups_raster_t, RasterCloser> ras(
      cupsRasterOpenIO(ReadPipe, &reader, CUPS_RASTER_READ));
  std::unique_ptr<pappl_pr_options_t, OptionsDeleter> options(
      papplJobCreatePrintOptions(job, 0, false));
  if (!ras || !options || !KT50StartJob(job, options.get(), device)) return false;
  bool ok = true;
  unsigned page = 0;
  while (ok && cupsRasterReadHeader2(ras.get(), &options->header))
    ok = PrintPage(job, options.get(), device, ras.get(), ++page);
  ok = KT50EndJob(job, options.get(), device) && ok;
  ras.reset();
  ok = gs.Finish(!ok) && ok && page > 0;
  if (!ok) papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "The PDF document could not be printed.");
  return ok;
}

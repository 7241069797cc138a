// The document filters; see documents.h. Ghostscript (-dSAFER) renders PDF
// to 8-bit gray CUPS raster at 600 dpi on a pipe; spooled PWG and Apple
// raster are read from their file; each page goes through the raster
// callbacks as a client's raster would. Pictures go through PAPPL's layout.
#include "documents.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cups/raster.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "driver.h"
#include "image_decode.h"
#include "kt50protocol.h"
#include "pappl_fixes.h"
#include "raster.h"

extern char **environ;

namespace {

// Far beyond any 600 dpi page we take.
constexpr unsigned kMaxBytesPerLine = 3 * kPageBitmapWidth * 4;

// Ghostscript writing raster into a pipe; killed and reaped when dropped.
class tagRENDERER {
 public:
  tagRENDERER(const char *pdf) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    fcntl(fds[1], F_SETPIPE_SZ, 1 << 20);  // room for many lines; kept as it is if refused
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const std::string input = pdf;
    // Uncompressed: the same pixels as PWG raster, which costs Ghostscript
    // more to compress than the page costs to move through the pipe.
    std::array<const char *, 14> argv{"gs",
                                      "-q",
                                      "-dSAFER",
                                      "-dBATCH",
                                      "-dNOPAUSE",
                                      "-dNOINTERACTION",
                                      "-sDEVICE=cups",
                                      "-dcupsColorSpace=18",
                                      "-dcupsBitsPerColor=8",
                                      "-r600",
                                      "-sstdout=%stderr",
                                      "-sOutputFile=%stdout",
                                      input.c_str(),
                                      nullptr};
    if (posix_spawnp(&pid_, "gs", &actions, nullptr, const_cast<char **>(argv.data()), environ) !=
        0)
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
// than waiting for the next page to be rendered. libcups asks for a line at a
// time; the pipe is read in pieces as large as it holds, so that each wait
// and each wake-up of Ghostscript moves many lines.
struct tagPIPEREADER {
  int fd;
  pappl_job_t *job;
  std::vector<unsigned char> buffer = std::vector<unsigned char>(1 << 20);
  size_t start = 0, end = 0;
};

ssize_t ReadPipe(void *ctx, unsigned char *buffer, size_t bytes) {
  auto *reader = static_cast<tagPIPEREADER *>(ctx);
  while (reader->start == reader->end) {
    if (JobMustStop(reader->job)) return -1;
    pollfd pfd{reader->fd, POLLIN, 0};
    const int ready = poll(&pfd, 1, 100);
    if (ready < 0 && errno != EINTR) return -1;
    if (ready <= 0) continue;
    const ssize_t got = read(reader->fd, reader->buffer.data(), reader->buffer.size());
    if (got == 0) return 0;
    if (got < 0 && errno != EINTR) return -1;
    reader->start = 0;
    reader->end = got > 0 ? static_cast<size_t>(got) : 0;
  }
  const size_t n = std::min(bytes, reader->end - reader->start);
  std::memcpy(buffer, reader->buffer.data() + reader->start, n);
  reader->start += n;
  return static_cast<ssize_t>(n);
}

struct RasterCloser {
  void operator()(cups_raster_t *ras) const { cupsRasterClose(ras); }
};
struct OptionsDeleter {
  void operator()(pappl_pr_options_t *options) const { papplJobDeletePrintOptions(options); }
};
using RasterPtr = std::unique_ptr<cups_raster_t, RasterCloser>;
using OptionsPtr = std::unique_ptr<pappl_pr_options_t, OptionsDeleter>;

// One page from the raster through the callbacks; false stops the job.
bool PrintPage(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *device,
               cups_raster_t *ras, unsigned page) {
  const cups_page_header2_t &header = options->header;
  if (header.cupsBytesPerLine == 0 || header.cupsBytesPerLine > kMaxBytesPerLine)
    return KT50Fail(job, "Malformed raster page header.");
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

// Every page of a raster stream; the number printed, or -1 when the job
// must end aborted.
int PrintPages(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *device,
               cups_raster_t *ras) {
  // Nothing reaches the device before the first page header is read.
  if (!cupsRasterReadHeader2(ras, &options->header)) return 0;
  if (const unsigned total = options->header.cupsInteger[CUPS_RASTER_PWG_TotalPageCount])
    papplJobSetImpressions(job, static_cast<int>(std::min(total, 1u << 20)));
  if (!KT50StartJob(job, options, device)) return -1;
  bool ok = true;
  int pages = 0;
  do {
    ok = PrintPage(job, options, device, ras, static_cast<unsigned>(++pages));
  } while (ok && cupsRasterReadHeader2(ras, &options->header));
  ok = KT50EndJob(job, options, device) && ok;
  return ok ? pages : -1;
}

bool PdfFilter(pappl_job_t *job, pappl_device_t *device, void *) {
  const tagFILTERSCOPE scope;
  const char *filename = papplJobGetFilename(job);
  if (!filename) return KT50Fail(job, "The job's document is gone.");
  tagRENDERER gs(filename);
  if (gs.fd() < 0) return KT50Fail(job, "Cannot run Ghostscript to render the PDF document.");
  tagPIPEREADER reader{gs.fd(), job};
  RasterPtr ras(cupsRasterOpenIO(ReadPipe, &reader, CUPS_RASTER_READ));
  OptionsPtr options(papplJobCreatePrintOptions(job, 0, false));
  if (!options) return KT50Fail(job, "Out of memory.");
  if (!ras) {  // not even a raster's first bytes came
    if (JobMustStop(job)) return false;
    return KT50Fail(job, "Ghostscript could not render the PDF document.");
  }
  const int pages = PrintPages(job, options.get(), device, ras.get());
  ras.reset();
  const bool rendered = gs.Finish(pages < 0);
  if (pages < 0 || JobMustStop(job)) return false;  // the callbacks said why
  if (!rendered) return KT50Fail(job, "Ghostscript could not render the whole PDF document.");
  if (pages == 0) return KT50Fail(job, "The PDF document has no pages.");
  return true;
}

bool RasterFilter(pappl_job_t *job, pappl_device_t *device, void *) {
  const tagFILTERSCOPE scope;
  const char *filename = papplJobGetFilename(job);
  const int fd = filename ? open(filename, O_RDONLY | O_CLOEXEC) : -1;
  if (fd < 0) return KT50Fail(job, "Cannot open the job's document.");
  RasterPtr ras(cupsRasterOpen(fd, CUPS_RASTER_READ));
  OptionsPtr options(papplJobCreatePrintOptions(job, 0, false));
  int pages = -1;
  if (ras && options) pages = PrintPages(job, options.get(), device, ras.get());
  ras.reset();
  close(fd);
  if (pages < 0 || JobMustStop(job)) return false;
  if (pages == 0) return KT50Fail(job, "The raster document has no pages.");
  return true;
}

// Whether PAPPL's image layout can show the picture on the page: scaled to
// fit, its short side must keep at least a pixel (a zero would divide by
// zero in PAPPL 1.3.1).
bool Placeable(const tagDECODEDIMAGE &image, const cups_page_header2_t &header) {
  const int64_t margins = 2 * kMargin * 600 / 2540 + 2;
  const int64_t room = std::min<int64_t>(header.cupsWidth, header.cupsHeight) - margins;
  const int64_t shortSide = std::min(image.width, image.height);
  const int64_t longSide = std::max(image.width, image.height);
  return room > 0 && shortSide * room >= longSide;
}

// PNG and JPEG: decoded by our own code, laid out on the page by PAPPL
// (print-scaling, orientation, copies) as 24-bit RGB, so the page engine
// turns colour into ink by the filter's own rule.
bool ImageFilter(pappl_job_t *job, pappl_device_t *device, void *) {
  const tagFILTERSCOPE scope;
  const char *filename = papplJobGetFilename(job);
  if (!filename) return KT50Fail(job, "The job's document is gone.");
  tagDECODEDIMAGE image;
  std::string error;
  if (!DecodeImageFile(filename, image, error)) return KT50Fail(job, error.c_str());
  OptionsPtr options(papplJobCreatePrintOptions(job, 1, false));
  if (!options) return KT50Fail(job, "Out of memory.");
  cups_page_header2_t &header = options->header;
  header.cupsColorSpace = CUPS_CSPACE_SRGB;
  header.cupsColorOrder = CUPS_ORDER_CHUNKED;
  header.cupsBitsPerColor = 8;
  header.cupsBitsPerPixel = 24;
  header.cupsNumColors = 3;
  header.cupsBytesPerLine = 3 * header.cupsWidth;
  if (!Placeable(image, header))
    return KT50Fail(job, "The picture is too narrow to be placed on the page.");
  // A resolution finer than the printer's would shrink the picture to
  // nothing; it is printed to fit instead.
  const int ppi = image.ppi <= 600 ? static_cast<int>(image.ppi) : 0;
  if (papplJobFilterImage(job, device, options.get(), image.rgb.data(),
                          static_cast<int>(image.width), static_cast<int>(image.height), 3, ppi,
                          true))
    return true;
  if (!papplJobGetMessage(job)) KT50Fail(job, "The picture could not be placed on the page.");
  return false;
}

}  // namespace

void AddDocumentFilters(pappl_system_t *system) {
  papplSystemAddMIMEFilter(system, "image/png", kRawFormat, ImageFilter, nullptr);
  papplSystemAddMIMEFilter(system, "image/jpeg", kRawFormat, ImageFilter, nullptr);
  papplSystemAddMIMEFilter(system, "application/pdf", kRawFormat, PdfFilter, nullptr);
  papplSystemAddMIMEFilter(system, "image/pwg-raster", kRawFormat, RasterFilter, nullptr);
  papplSystemAddMIMEFilter(system, "image/urf", kRawFormat, RasterFilter, nullptr);
}

#include "printcmd.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <new>
#include <span>
#include <string>
#include <vector>

#include "cmnFilter.h"
#include "tavik/TAVIK_MacLib.h"
#include "tools/tools.h"

namespace {

// ---------------------------------------------------------------- stream --

void WriteBytes(FILE *out, std::span<const uint8_t> bytes) {
  fwrite(bytes.data(), 1, bytes.size(), out);
}

template <size_t N>
std::array<uint8_t, N> WithValue16(std::array<uint8_t, N> command, size_t at, int32_t value) {
  command[at] = static_cast<uint8_t>(value);
  command[at + 1] = static_cast<uint8_t>(value >> 8);
  return command;
}

// True when any of the lane's bytes in this row is not zero.
bool LaneRowInked(const uint8_t *slice) {
  // Sixteen bytes a load in the vector registers every x86-64 processor has,
  // four loads in flight; the compiler's own vectoriser leaves this loop
  // scalar at -O2.
  using Bytes16 = uint64_t __attribute__((vector_size(16)));
  Bytes16 a{}, b{}, c{}, d{};
  int32_t i = 0;
  for (; i + 64 <= kLaneBytes; i += 64) {
    Bytes16 v[4];
    std::memcpy(v, slice + i, sizeof v);
    a |= v[0];
    b |= v[1];
    c |= v[2];
    d |= v[3];
  }
  for (; i + 16 <= kLaneBytes; i += 16) {
    Bytes16 v;
    std::memcpy(&v, slice + i, sizeof v);
    a |= v;
  }
  const Bytes16 all = a | b | c | d;
  uint64_t any = all[0] | all[1];
  for (; i < kLaneBytes; ++i) any |= slice[i];
  return any != 0;
}

const uint8_t *LaneSlice(const uint8_t *pageBitmap, int32_t row, int32_t lane) {
  return pageBitmap + static_cast<size_t>(row) * kPageBitmapRowBytes +
         static_cast<size_t>(lane) * kLaneBytes;
}

void WriteLaneBlock(FILE *out, const uint8_t *pageBitmap, int32_t lane, int32_t first,
                    int32_t last) {
  auto laneNo = g_ucESC_LANE_NO;
  laneNo[3] = static_cast<uint8_t>(lane + 1);
  WriteBytes(out, laneNo);
  WriteBytes(out, WithValue16(g_ucESC_OFFSET_Y, 3, first));
  WriteBytes(out, WithValue16(g_ucESC_RASTER, 5, last - first + 1));
  for (int32_t row = first; row <= last; ++row) {
    WriteBytes(out, {LaneSlice(pageBitmap, row, lane), static_cast<size_t>(kLaneBytes)});
  }
}

// ------------------------------------------------------------- page loop --

enum class Road { Simple, Image, Blank };

struct tagSCREEN {
  Road road;
  const tagDITHER *matrix;  // simple road only
};

constexpr tagSCREEN PickScreen(int32_t dotScreening) {
  switch (dotScreening) {
    case 0: return {Road::Simple, &g_Dither_Nashi};
    case 1: return {Road::Simple, &g_Dither_Grh_So};
    case 2: return {Road::Simple, &g_Dither_Grh_Mitsu};
    case 3:
    case 4: return {Road::Image, nullptr};
    case 5: return {Road::Simple, &g_Dither_Solid};
    default: return {Road::Blank, nullptr};
  }
}

// Everything the loop holds for one job; releases it all when the job ends.
struct tagJOB {
  int inputFd = 0;
  bool ownsInput = false;
  cups_raster_t *ras = nullptr;
  std::vector<uint8_t> pageBitmap;
  std::vector<uint8_t> lineBuffer;  // grows, never shrinks
  uint64_t bytesIn = 0;  // read from the input so far
  int pagesWritten = 0;
  std::string error;  // the first failure; reported once at the end

  tagJOB() = default;
  tagJOB(const tagJOB &) = delete;
  tagJOB &operator=(const tagJOB &) = delete;
  ~tagJOB() {
    if (ras) cupsRasterClose(ras);
    if (ownsInput) close(inputFd);
  }
  void Fail(std::string message) {
    if (error.empty()) error = std::move(message);
  }
};

bool TryResize(std::vector<uint8_t> &buffer, size_t size) {
  try {
    if (buffer.size() < size) buffer.resize(size);
    return true;
  } catch (const std::bad_alloc &) {
    return false;
  }
}

// The geometry of one page as the loop uses it.
struct tagPAGE {
  uint32_t rasterWidth;   // cupsWidth
  uint32_t rasterHeight;  // cupsHeight
  uint32_t bytesPerLine;  // cupsBytesPerLine
  int32_t drawWidth;      // W: cupsWidth limited to the bitmap
  int32_t drawHeight;     // H: cupsHeight limited to the bitmap
  int32_t sizeWidth;      // W and H as the size command announces them
  int32_t sizeHeight;
};

tagPAGE PageOf(const cups_page_header2_t &header) {
  tagPAGE page{};
  page.rasterWidth = header.cupsWidth;
  page.rasterHeight = header.cupsHeight;
  page.bytesPerLine = header.cupsBytesPerLine;
  page.drawWidth = static_cast<int32_t>(std::min<uint32_t>(header.cupsWidth, kPageBitmapWidth));
  page.drawHeight = static_cast<int32_t>(std::min<uint32_t>(header.cupsHeight, kPageBitmapHeight));
  page.sizeWidth = std::max(page.drawWidth, kMinPageExtent);
  page.sizeHeight = std::max(page.drawHeight, kMinPageExtent);
  return page;
}

// Makes the line buffer hold a whole raster line and at least 3 bytes per
// drawn pixel; what the raster line does not cover reads as white, so a line
// of another colour space or bit depth is never read past.
bool PrepareLineBuffer(tagJOB &job, const tagPAGE &page) {
  const size_t rgbBytes = 3 * static_cast<size_t>(page.drawWidth);
  const size_t needed = std::max<size_t>(page.bytesPerLine, rgbBytes);
  if (!TryResize(job.lineBuffer, needed)) return false;
  if (page.bytesPerLine < rgbBytes) {
    std::fill(job.lineBuffer.begin() + page.bytesPerLine, job.lineBuffer.begin() + rgbBytes,
              uint8_t{255});
  }
  return true;
}

// Reads every line of the page, converting the first H into the bitmap (or
// none when matrix is null). False on a short read. A cancelled job stops
// early; the caller then writes nothing more.
bool RenderSimplePage(tagJOB &job, const tagPAGE &page, const tagDITHER *matrix,
                      int32_t mirror, uint32_t &linesRead) {
  uint8_t *line = job.lineBuffer.data();
  for (linesRead = 0; linesRead < page.rasterHeight && !g_JobCancelled; ++linesRead) {
    if (cupsRasterReadPixels(job.ras, line, page.bytesPerLine) != page.bytesPerLine) return false;
    if (matrix && linesRead < static_cast<uint32_t>(page.drawHeight)) {
      const int32_t row = static_cast<int32_t>(linesRead);
      ConvertLineBuffer24To01(&job.pageBitmap[static_cast<size_t>(row) * kPageBitmapRowBytes],
                              line, page.drawWidth, *matrix, row, mirror);
    }
  }
  return true;
}

void WritePage(tagJOB &job, const tagPAGE &page, const std::array<uint8_t, kJobHeaderSize> &jobHeader) {
  if (job.pagesWritten == 0) WriteBytes(stdout, jobHeader);
  WriteBytes(stdout, g_ucESC_INIT);
  auto size = WithValue16(g_ucESC_SIZE, 3, page.sizeWidth);
  size = WithValue16(size, 5, page.sizeHeight);
  WriteBytes(stdout, size);
  SendPrinterCommandForPageBitmap(job.pageBitmap.data(), page.sizeWidth, page.sizeHeight);
  WriteBytes(stdout, g_ucESC_FF);
  fflush(stdout);
  ++job.pagesWritten;
}

int32_t ClampToInt32(uint32_t value) {
  return static_cast<int32_t>(std::min<uint32_t>(value, std::numeric_limits<int32_t>::max()));
}

// Hands libcups the input and counts what it takes, so that an empty input
// (a job without pages) can be told from one that is not raster at all.
ssize_t ReadInput(void *ctx, unsigned char *buffer, size_t length) {
  auto &job = *static_cast<tagJOB *>(ctx);
  ssize_t n;
  do {
    n = read(job.inputFd, buffer, length);
  } while (n < 0 && errno == EINTR && !g_JobCancelled);
  if (n > 0) job.bytesIn += static_cast<uint64_t>(n);
  return n;
}

// Opens the input and the raster stream and allocates the page bitmap.
bool StartJob(tagJOB &job, int argc, char *argv[]) {
  if (argc == 7 && argv[6] != nullptr) {
    job.inputFd = open(argv[6], O_RDONLY);
    if (job.inputFd < 0) {
      job.Fail(std::string("cannot open the input file \"") + argv[6] + "\": " + strerror(errno));
      return false;
    }
    job.ownsInput = true;
  }
  job.ras = cupsRasterOpenIO(ReadInput, &job, CUPS_RASTER_READ);
  if (job.ras == nullptr) {
    if (job.bytesIn > 0) job.Fail("the input is not a CUPS raster stream");
    return false;
  }
  if (!TryResize(job.pageBitmap, kPageBitmapSize)) {
    job.Fail("not enough memory for the page bitmap");
    return false;
  }
  return true;
}

}  // namespace

volatile sig_atomic_t g_JobCancelled = 0;

int SendPrinterCommandForPageBitmap(const uint8_t *pageBitmap, int32_t pageWidth,
                                    int32_t pageHeight, FILE *out) {
  const int32_t lanes = std::min(std::max(pageWidth, 0) / kLaneWidth + 1, kLaneCount);
  const int32_t rows = std::clamp(pageHeight, 0, kPageBitmapHeight);
  for (int32_t lane = 0; lane < lanes; ++lane) {
    int32_t first = 0;
    while (first < rows && !LaneRowInked(LaneSlice(pageBitmap, first, lane))) ++first;
    if (first == rows) continue;
    int32_t last = rows - 1;
    while (!LaneRowInked(LaneSlice(pageBitmap, last, lane))) --last;
    WriteLaneBlock(out, pageBitmap, lane, first, last);
  }
  return 1;
}

int SendPrinterCommand(int argc, char *argv[], int32_t writeDensity, int32_t adjustLength,
                       int32_t writeSpeed, int32_t writeRepeat, int32_t lineEnhance,
                       int32_t laneOverlap, int32_t mirror, int32_t dotScreening,
                       int32_t frequency, int32_t angle) {
  tagJOB job;
  std::array<uint8_t, kJobHeaderSize> jobHeader = g_JobHeader;
  SetPrintJobHeader(jobHeader.data(), writeDensity, adjustLength, writeSpeed, writeRepeat,
                    lineEnhance, laneOverlap);
  const int32_t mirrorFlag = mirror == 1 ? 1 : 0;
  const tagSCREEN screen = PickScreen(dotScreening);

  cups_page_header2_t header;
  bool more = StartJob(job, argc, argv) && cupsRasterReadHeader2(job.ras, &header);
  for (int pageNumber = 1; more; ++pageNumber) {
    const tagPAGE page = PageOf(header);
    if (!PrepareLineBuffer(job, page)) {
      job.Fail("not enough memory for a raster line of " + std::to_string(page.bytesPerLine) +
               " bytes on page " + std::to_string(pageNumber));
      break;
    }
    std::fill(job.pageBitmap.begin(), job.pageBitmap.end(), uint8_t{0});

    if (screen.road == Road::Image) {
      int32_t dropped = 0;
      if (!TavikImageProc(job.ras, job.lineBuffer.data(), ClampToInt32(page.bytesPerLine),
                          ClampToInt32(page.rasterWidth), ClampToInt32(page.rasterHeight),
                          job.pageBitmap.data(), dotScreening == 4 ? 1 : 0, frequency, angle,
                          mirrorFlag, &dropped)) {
        job.Fail("image processing failed on page " + std::to_string(pageNumber));
        break;
      }
      if (dropped > 0) {
        job.Fail("page " + std::to_string(pageNumber) + " lost " + std::to_string(dropped) +
                 " of its " + std::to_string(page.rasterHeight) + " raster lines");
      }
    } else {
      uint32_t linesRead = 0;
      if (!RenderSimplePage(job, page, screen.matrix, mirrorFlag, linesRead)) {
        job.Fail("raster ended early: page " + std::to_string(pageNumber) + " has " +
                 std::to_string(linesRead) + " of its " + std::to_string(page.rasterHeight) +
                 " lines");
        break;
      }
    }

    if (g_JobCancelled) break;
    WritePage(job, page, jobHeader);
    if (ferror(stdout)) {
      job.Fail(std::string("cannot write the printer stream: ") + strerror(errno));
      break;
    }
    more = !g_JobCancelled && cupsRasterReadHeader2(job.ras, &header);
  }

  if (fflush(stdout) != 0 || ferror(stdout)) {
    job.Fail(std::string("cannot write the printer stream: ") + strerror(errno));
  }
  // A cancelled job loses nothing anyone still wants: the stream ends after
  // its last complete page, and the failures its end caused are not reported.
  if (job.error.empty() || g_JobCancelled) return 0;
  fprintf(stderr, "ERROR: %s\n", job.error.c_str());
  return 1;
}

// ===========================================================================
// Image road: the page's lines become ink values in a gray band of 845 lines;
// every full band is tone-corrected and screened into the page bitmap.
// ===========================================================================
int TavikImageProc(cups_raster_t *ras, uint8_t *lineBuffer, int32_t bytesPerLine,
                   int32_t pageWidth, int32_t pageHeight, uint8_t *pageBitmap,
                   int32_t errorDiffusion, int32_t frequency, int32_t angle, int32_t mirror,
                   int32_t *droppedLines) {
  if (droppedLines) *droppedLines = 0;
  if (ras == nullptr || lineBuffer == nullptr || pageBitmap == nullptr || bytesPerLine <= 0 ||
      pageHeight < 0)
    return 0;
  TavikBuffer<uint8_t> gray;
  if (!gray.Allocate(kTavikBandBufferSize)) return 0;
  tagBANDBITMAP band = Tavik_GrayBand(gray.get());
  const tagBANDBITMAP page = Tavik_PageBand(pageBitmap);
  // The binarizers write 0 for ink; the page is turned over at the end.
  std::memset(pageBitmap, 0xFF, static_cast<size_t>(page.bufferSize));
  tagDEVDATA devData{};
  if (!Tavik_SetDevData(&devData, &band, errorDiffusion, frequency, angle, kTavikResolution))
    return 0;

  // A negative width is a header width beyond 32 bits: as wide as any.
  const int32_t drawnWidth =
      pageWidth < 0 || pageWidth > kPageBitmapWidth ? kPageBitmapWidth : pageWidth;
  const auto lineBytes = static_cast<unsigned>(bytesPerLine);
  int32_t dropped = 0;
  int32_t bandLine = 0;
  for (int32_t k = 0; k < pageHeight; ++k) {
    if (cupsRasterReadPixels(ras, lineBuffer, lineBytes) != lineBytes) {
      // The raster has ended: this line and every later one of the page are
      // lost, and the caller hears how many.
      dropped = pageHeight - k;
      break;
    }
    if (k >= band.height) continue;
    Tavik_ConvertLine(band.buffer + static_cast<int64_t>(bandLine) * band.bandRowBytes,
                      lineBuffer, bytesPerLine, drawnWidth, mirror);
    if (++bandLine == band.curBandLines) {
      Tavik_ProcessBand(&devData, &band, &page, errorDiffusion, frequency, angle);
      bandLine = 0;
    }
  }
  if (bandLine > 0) {
    band.curBandLines = bandLine;
    Tavik_ProcessBand(&devData, &band, &page, errorDiffusion, frequency, angle);
  }
  for (int32_t i = 0; i < page.bufferSize; ++i) pageBitmap[i] = static_cast<uint8_t>(~pageBitmap[i]);
  Tavik_ClearDevData(&devData);
  if (droppedLines) *droppedLines = dropped;
  return 1;
}

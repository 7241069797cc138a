// SPDX-License-Identifier: Apache-2.0
#include "printcmd.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <semaphore.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cstddef>
#include <atomic>
#include <memory>
#include <cerrno>
#include <cstring>
#include <limits>
#include <new>
#include <span>
#include <string>
#include <string_view>
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

// The lane blocks of a page whose ink lies in rows 0 .. inkRows - 1.
void WriteLanes(FILE *out, const uint8_t *pageBitmap, int32_t pageWidth, int32_t inkRows) {
  const int32_t lanes = std::min(std::max(pageWidth, 0) / kLaneWidth + 1, kLaneCount);
  const int32_t rows = std::clamp(inkRows, 0, kPageBitmapHeight);
  for (int32_t lane = 0; lane < lanes; ++lane) {
    int32_t first = 0;
    while (first < rows && !LaneRowInked(LaneSlice(pageBitmap, first, lane))) ++first;
    if (first == rows) continue;
    int32_t last = rows - 1;
    while (!LaneRowInked(LaneSlice(pageBitmap, last, lane))) --last;
    WriteLaneBlock(out, pageBitmap, lane, first, last);
  }
}

// ------------------------------------------------------------- screens --

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

// The geometry of one page as the engine uses it.
struct tagPAGE {
  uint32_t rasterWidth;   // the header's width
  uint32_t rasterHeight;  // the header's height
  int32_t drawWidth;      // W: the width limited to the bitmap
  int32_t drawHeight;     // H: the height limited to the bitmap
  int32_t sizeWidth;      // W and H as the size command announces them
  int32_t sizeHeight;
};

tagPAGE PageOf(uint32_t width, uint32_t height) {
  tagPAGE page{};
  page.rasterWidth = width;
  page.rasterHeight = height;
  page.drawWidth = static_cast<int32_t>(std::min<uint32_t>(width, kPageBitmapWidth));
  page.drawHeight = static_cast<int32_t>(std::min<uint32_t>(height, kPageBitmapHeight));
  page.sizeWidth = std::max(page.drawWidth, kMinPageExtent);
  page.sizeHeight = std::max(page.drawHeight, kMinPageExtent);
  return page;
}

// The image road of one page, fed a line at a time: the gray band, its
// descriptors and the device data.
struct tagIMAGEPAGE {
  uint8_t *gray = nullptr;  // zero-filled rows of 9920 ink values
  tagBANDBITMAP band{};
  tagBANDBITMAP page{};
  tagDEVDATA *devData = nullptr;
  int32_t bandLine = 0;
  int32_t drawnWidth = 0;
  int32_t rows = 0;  // rows of the page bitmap the page may draw
  int32_t diffusion = 0, frequency = 0, angle = 0, mirror = 0;
};

// The page bitmap turns over: the binarizers write 0 for ink. Only the rows
// the page can draw are touched; every other row stays 0.
void FlipRows(uint8_t *pageBitmap, int32_t rows) {
  static_assert(kPageBitmapRowBytes % 8 == 0);
  uint8_t *end = pageBitmap + static_cast<size_t>(rows) * kPageBitmapRowBytes;
  for (uint8_t *p = pageBitmap; p < end; p += 8) {
    uint64_t word;
    std::memcpy(&word, p, 8);
    word = ~word;
    std::memcpy(p, &word, 8);
  }
}

// Starts a page on the image road; devData must already hold the page's
// screen matrix or error rows.
void TavikStartPage(tagIMAGEPAGE &image, uint8_t *gray, uint8_t *pageBitmap, tagDEVDATA *devData,
                    int32_t pageWidth, int32_t pageHeight, int32_t diffusion, int32_t frequency,
                    int32_t angle, int32_t mirror) {
  image.gray = gray;
  image.devData = devData;
  image.band = Tavik_GrayBand(gray);
  image.page = Tavik_PageBand(pageBitmap);
  // A negative width is a header width beyond 32 bits: as wide as any.
  image.drawnWidth = pageWidth < 0 || pageWidth > kPageBitmapWidth ? kPageBitmapWidth : pageWidth;
  image.rows = std::clamp(pageHeight, 0, kPageBitmapHeight);
  // Columns right of the page hold no ink: the tone curves keep 0 at 0 and
  // the AM screen leaves such columns blank, so neither needs to visit them.
  // The error diffusion still runs the band's whole width.
  image.band.curBandWidth = image.drawnWidth;
  image.bandLine = 0;
  image.diffusion = diffusion;
  image.frequency = frequency;
  image.angle = angle;
  image.mirror = mirror;
  std::memset(pageBitmap, 0xFF, static_cast<size_t>(image.rows) * kPageBitmapRowBytes);
}

void TavikPutLine(tagIMAGEPAGE &image, const uint8_t *line, int32_t bytesPerLine) {
  tagBANDBITMAP &band = image.band;
  if (band.bandTop + image.bandLine >= band.height) return;
  Tavik_ConvertLine(band.buffer + static_cast<int64_t>(image.bandLine) * band.bandRowBytes, line,
                    bytesPerLine, image.drawnWidth, image.mirror);
  if (++image.bandLine == band.curBandLines) {
    Tavik_ProcessBand(image.devData, &band, &image.page, image.diffusion, image.frequency,
                      image.angle);
    image.bandLine = 0;
  }
}

void TavikEndPage(tagIMAGEPAGE &image) {
  if (image.bandLine > 0) {
    image.band.curBandLines = image.bandLine;
    Tavik_ProcessBand(image.devData, &image.band, &image.page, image.diffusion, image.frequency,
                      image.angle);
    image.bandLine = 0;
  }
  FlipRows(image.page.buffer, image.rows);
}

}  // namespace

// ============================================================== engine ==

struct tagPRINTJOB {
  tagJOBSETTINGS settings;
  FILE *out = nullptr;
  std::array<uint8_t, kJobHeaderSize> jobHeader{};
  tagSCREEN screen{Road::Blank, nullptr};
  int32_t mirrorFlag = 0;
  // The page bitmap and the image band hold as many rows as the tallest
  // page so far needed, so a job's cost follows its pages' size.
  TavikBuffer<uint8_t> pageBitmap;
  int32_t bitmapRows = 0;
  int32_t dirtyRows = 0;  // rows the last page may have left ink in
  tagPAGE page{};
  bool inPage = false;
  uint32_t lines = 0;  // lines received on this page
  // A line that covers fewer pixels than the page draws, padded with white.
  std::array<uint8_t, 3 * kPageBitmapWidth> padded{};
  TavikBuffer<uint8_t> gray;  // the image road's band, kept for the job
  int32_t grayRows = 0;
  tagDEVDATA devData{};       // its screen or error rows, built once a job
  bool devDataReady = false;
  tagIMAGEPAGE image;
  int pagesWritten = 0;
  std::string error;
};

namespace {

bool Fail(tagPRINTJOB *job, std::string message) {
  if (job->error.empty()) job->error = std::move(message);
  return false;
}

// The screen matrix or error rows depend on the job's settings alone, so they
// are built for the first page and reused; error rows start each page at 0.
// Makes a zero-filled buffer hold `rows` rows; a larger one is made anew.
bool HoldRows(TavikBuffer<uint8_t> &buffer, int32_t &heldRows, int32_t rows, int32_t rowBytes) {
  rows = std::max(rows, 1);
  if (rows <= heldRows) return true;
  heldRows = 0;
  if (!buffer.Allocate(static_cast<size_t>(rows) * static_cast<size_t>(rowBytes))) return false;
  heldRows = rows;
  return true;
}

bool PrepareImageRoad(tagPRINTJOB *job) {
  if (!HoldRows(job->gray, job->grayRows, std::min(job->page.drawHeight, kTavikBandLines),
                kPageBitmapWidth))
    return Fail(job, "not enough memory for the image band");
  const int32_t diffusion = job->settings.dotScreening == 4 ? 1 : 0;
  if (!job->devDataReady) {
    tagBANDBITMAP band = Tavik_GrayBand(job->gray.get());
    if (!Tavik_SetDevData(&job->devData, &band, diffusion, job->settings.frequency,
                          job->settings.angle, kTavikResolution))
      return Fail(job, "the screen for " + std::to_string(job->settings.frequency) + " lpi at " +
                           std::to_string(job->settings.angle) + " degrees cannot be built");
    job->devDataReady = true;
  } else if (job->devData.errorBuffer) {
    std::memset(job->devData.errorBuffer.get(), 0, job->devData.errorBuffer.size());
  }
  return true;
}

}  // namespace

tagPRINTJOB *NewPrintJob() { return new (std::nothrow) tagPRINTJOB; }

void DeletePrintJob(tagPRINTJOB *job) {
  if (job) Tavik_ClearDevData(&job->devData);
  delete job;
}

bool StartPrintJob(tagPRINTJOB *job, const tagJOBSETTINGS &settings, FILE *out) {
  job->settings = settings;
  job->out = out;
  job->jobHeader = g_JobHeader;
  SetPrintJobHeader(job->jobHeader.data(), settings.writeDensity, settings.adjustLength,
                    settings.writeSpeed, settings.writeRepeat, settings.lineEnhance,
                    settings.laneOverlap);
  job->mirrorFlag = settings.mirror == 1 ? 1 : 0;
  job->screen = PickScreen(settings.dotScreening);
  return true;
}

bool StartPrintPage(tagPRINTJOB *job, uint32_t width, uint32_t height) {
  if (width > kMaxRasterWidth || height > kMaxRasterHeight) {
    return Fail(job, "page " + std::to_string(job->pagesWritten + 1) + " of " +
                         std::to_string(width) + " x " + std::to_string(height) +
                         " pixels is larger than the printer can take (" +
                         std::to_string(kMaxRasterWidth) + " x " +
                         std::to_string(kMaxRasterHeight) + " at most)");
  }
  job->page = PageOf(width, height);
  job->lines = 0;
  if (job->bitmapRows < std::max(job->page.drawHeight, 1)) {
    job->dirtyRows = 0;
    if (!HoldRows(job->pageBitmap, job->bitmapRows, job->page.drawHeight, kPageBitmapRowBytes))
      return Fail(job, "not enough memory for the page bitmap");
  }
  std::memset(job->pageBitmap.get(), 0, static_cast<size_t>(job->dirtyRows) * kPageBitmapRowBytes);
  job->dirtyRows = job->page.drawHeight;
  if (job->screen.road == Road::Image) {
    if (!PrepareImageRoad(job)) return false;
    TavikStartPage(job->image, job->gray.get(), job->pageBitmap.get(), &job->devData,
                   static_cast<int32_t>(std::min<uint32_t>(width, INT32_MAX)),
                   job->page.drawHeight, job->settings.dotScreening == 4 ? 1 : 0,
                   job->settings.frequency, job->settings.angle, job->mirrorFlag);
  }
  job->inPage = true;
  return true;
}

void PutPrintLine(tagPRINTJOB *job, const uint8_t *line, size_t bytes) {
  if (!job->inPage || job->lines >= static_cast<uint32_t>(job->page.drawHeight)) {
    ++job->lines;
    return;
  }
  const int32_t row = static_cast<int32_t>(job->lines++);
  const size_t rgbBytes = 3 * static_cast<size_t>(job->page.drawWidth);
  if (job->screen.road == Road::Image) {
    TavikPutLine(job->image, line, static_cast<int32_t>(std::min(bytes, rgbBytes)));
  } else if (job->screen.road == Road::Simple) {
    if (bytes < rgbBytes) {
      std::memcpy(job->padded.data(), line, bytes);
      std::memset(job->padded.data() + bytes, 255, rgbBytes - bytes);
      line = job->padded.data();
    }
    ConvertLineBuffer24To01(job->pageBitmap.get() + static_cast<size_t>(row) * kPageBitmapRowBytes,
                            line, job->page.drawWidth, *job->screen.matrix, row, job->mirrorFlag);
  }
}

bool EndPrintPage(tagPRINTJOB *job) {
  if (!job->inPage) return Fail(job, "a page ended that was never started");
  job->inPage = false;
  if (job->screen.road == Road::Image) TavikEndPage(job->image);
  FILE *out = job->out;
  if (job->pagesWritten == 0) WriteBytes(out, job->jobHeader);
  WriteBytes(out, g_ucESC_INIT);
  auto size = WithValue16(g_ucESC_SIZE, 3, job->page.sizeWidth);
  size = WithValue16(size, 5, job->page.sizeHeight);
  WriteBytes(out, size);
  WriteLanes(out, job->pageBitmap.get(), job->page.sizeWidth, job->page.drawHeight);
  WriteBytes(out, g_ucESC_FF);
  if (fflush(out) != 0 || ferror(out))
    return Fail(job, std::string("cannot write the printer stream: ") + strerror(errno));
  ++job->pagesWritten;
  return true;
}

int PrintJobPagesWritten(const tagPRINTJOB *job) { return job->pagesWritten; }
const char *PrintJobError(const tagPRINTJOB *job) { return job->error.c_str(); }

int SendPrinterCommandForPageBitmap(const uint8_t *pageBitmap, int32_t pageWidth,
                                    int32_t pageHeight, FILE *out) {
  WriteLanes(out, pageBitmap, pageWidth, pageHeight);
  return 1;
}

// ======================================================= raster front end ==

std::atomic<int> g_JobCancelled{0};

namespace {
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

// The filter's input as libcups reads it, with what the reads delivered: an
// end of input can then be told from a page header cut short or refused.
struct tagINPUT {
  cups_raster_iocb_t read = nullptr;
  void *ctx = nullptr;
  uint64_t bytesIn = 0;
  std::array<char, 4> sync{};  // the stream's first bytes tell its header size
  int readErrno = 0;
  std::string refused;  // why a page header was refused as it arrived
  // While a page header is being read: the calls made and what the first
  // asked for and got.
  bool watching = false;
  int calls = 0;
  size_t firstAsked = 0;
  ssize_t firstGot = 0;
};

size_t HeaderSize(const std::array<char, 4> &sync);

uint32_t Field32(const unsigned char *bytes, size_t at, bool bigEndian) {
  uint32_t v;
  std::memcpy(&v, bytes + at, sizeof v);
  return bigEndian == (std::endian::native == std::endian::big) ? v : __builtin_bswap32(v);
}

// What a whole page header, as it arrives, claims: more than the printer can
// take is refused there, before libcups sizes its buffers from it (it would
// ask for gigabytes). Other faults are found once libcups has read it.
std::string Overclaim(const std::array<char, 4> &sync, const unsigned char *h) {
  const std::string_view word(sync.data(), sync.size());
  uint64_t width, height, lineBytes;
  if (word == "UNIR") {
    width = Field32(h, 12, true);
    height = Field32(h, 16, true);
    lineBytes = width * h[0] / 8;
  } else {
    // The sync word is written in the header's own byte order.
    const bool big = word == "RaSt" || word == "RaS2" || word == "RaS3";
    width = Field32(h, offsetof(cups_page_header2_t, cupsWidth), big);
    height = Field32(h, offsetof(cups_page_header2_t, cupsHeight), big);
    lineBytes = Field32(h, offsetof(cups_page_header2_t, cupsBytesPerLine), big);
  }
  if (width <= kMaxRasterWidth && height <= kMaxRasterHeight &&
      lineBytes <= 3 * uint64_t{kMaxRasterWidth} + kMaxLinePadding)
    return {};
  return "a page of " + std::to_string(width) + " x " + std::to_string(height) + " pixels in lines of " +
         std::to_string(lineBytes) + " bytes is larger than the printer can take (" +
         std::to_string(kMaxRasterWidth) + " x " + std::to_string(kMaxRasterHeight) + " at most)";
}

ssize_t ReadInput(void *ctx, unsigned char *buffer, size_t length) {
  auto &in = *static_cast<tagINPUT *>(ctx);
  ssize_t n = in.read(in.ctx, buffer, length);
  if (in.watching && in.calls == 0 && n > 0 && static_cast<size_t>(n) == length &&
      length == HeaderSize(in.sync)) {
    in.refused = Overclaim(in.sync, buffer);
    if (!in.refused.empty()) {
      in.calls = 1;
      in.firstAsked = length;
      in.firstGot = -1;
      return -1;
    }
  }
  for (ssize_t i = 0; i < n && in.bytesIn + static_cast<uint64_t>(i) < in.sync.size(); ++i)
    in.sync[in.bytesIn + static_cast<uint64_t>(i)] = static_cast<char>(buffer[i]);
  if (n > 0) in.bytesIn += static_cast<uint64_t>(n);
  if (n < 0 && !g_JobCancelled && in.readErrno == 0) in.readErrno = errno ? errno : EIO;
  if (in.watching && in.calls++ == 0) {
    in.firstAsked = length;
    in.firstGot = n;
  }
  return n;
}

// The size of a page header in this kind of raster stream.
size_t HeaderSize(const std::array<char, 4> &sync) {
  const std::string_view word(sync.data(), sync.size());
  if (word == "RaSt" || word == "tSaR") return sizeof(cups_page_header_t);
  if (word == "UNIR") return 32;
  return sizeof(cups_page_header2_t);
}

// libcups reads a whole page header in one request when nothing of it is
// buffered; a request of exactly that size answered by the end of input is
// the clean end of the job. Any other failure left input unread.
bool CleanEnd(const tagINPUT &in) {
  return in.calls > 0 && in.firstGot == 0 && in.firstAsked == HeaderSize(in.sync);
}

const char *ColorSpaceName(unsigned space) {
  switch (space) {
    case CUPS_CSPACE_W: return "gray (W)";
    case CUPS_CSPACE_RGB: return "RGB";
    case CUPS_CSPACE_K: return "black (K)";
    case CUPS_CSPACE_CMYK: return "CMYK";
    case CUPS_CSPACE_SW: return "sGray";
    case CUPS_CSPACE_SRGB: return "sRGB";
    case CUPS_CSPACE_ADOBERGB: return "AdobeRGB";
    default: return nullptr;
  }
}

bool IsRgbSpace(unsigned space) {
  return space == CUPS_CSPACE_RGB || space == CUPS_CSPACE_SRGB || space == CUPS_CSPACE_ADOBERGB;
}

// The header's enumerated fields as the numbers the input held: a value
// outside the enumeration must not be loaded as one.
unsigned RawField(const void *field) {
  unsigned value;
  std::memcpy(&value, field, sizeof value);
  return value;
}

const char *OrderName(unsigned order) {
  switch (order) {
    case CUPS_ORDER_CHUNKED: return "chunky";
    case CUPS_ORDER_BANDED: return "banded";
    case CUPS_ORDER_PLANAR: return "planar";
    default: return "of unknown order";
  }
}

// The page header as the filter accepts it: 24-bit chunky RGB, a size the
// printer can take, and lines long enough for their pixels and not absurdly
// longer.
std::string HeaderFault(const cups_page_header2_t &h) {
  static_assert(sizeof h.cupsColorSpace == sizeof(unsigned) && sizeof h.cupsColorOrder == sizeof(unsigned));
  const unsigned space = RawField(&h.cupsColorSpace), order = RawField(&h.cupsColorOrder);
  if (!IsRgbSpace(space) || h.cupsBitsPerColor != 8 || h.cupsBitsPerPixel != 24 ||
      order != CUPS_ORDER_CHUNKED) {
    const char *name = ColorSpaceName(space);
    return "the raster is " + (name ? std::string(name) : "colour space " + std::to_string(space)) +
           ", " + std::to_string(h.cupsBitsPerColor) + " bits per colour, " +
           std::to_string(h.cupsBitsPerPixel) + " bits per pixel, " + OrderName(order) +
           "; the printer's queue must send RGB, 8 bits per colour, 24 bits per pixel, chunky";
  }
  if (h.cupsWidth > kMaxRasterWidth || h.cupsHeight > kMaxRasterHeight) {
    return "a page of " + std::to_string(h.cupsWidth) + " x " + std::to_string(h.cupsHeight) +
           " pixels is larger than the printer can take (" + std::to_string(kMaxRasterWidth) +
           " x " + std::to_string(kMaxRasterHeight) + " at most)";
  }
  const uint64_t rgbBytes = 3 * uint64_t{h.cupsWidth};
  if (h.cupsBytesPerLine < rgbBytes || h.cupsBytesPerLine > rgbBytes + kMaxLinePadding) {
    return "the raster's lines of " + std::to_string(h.cupsBytesPerLine) + " bytes do not hold " +
           std::to_string(h.cupsWidth) + " RGB pixels";
  }
  return {};
}

// Skips the rest of a line in bounded pieces.
bool SkipBytes(cups_raster_t *ras, uint32_t count) {
  static uint8_t sink[1 << 16];
  while (count > 0) {
    const uint32_t piece = std::min<uint32_t>(count, sizeof sink);
    if (cupsRasterReadPixels(ras, sink, piece) != piece) return false;
    count -= piece;
  }
  return true;
}

struct tagRASTERIN {
  tagINPUT in;
  cups_raster_t *ras = nullptr;
  ~tagRASTERIN() {
    if (ras) cupsRasterClose(ras);
  }
};

// Reads the next page header: true with a header; false at the clean end of
// the job (error stays empty) or with the reason the input failed.
bool NextHeader(tagRASTERIN &raster, cups_page_header2_t &header, int pageNumber,
                std::string &error) {
  raster.in.watching = true;
  raster.in.calls = 0;
  const bool ok = cupsRasterReadHeader2(raster.ras, &header) != 0;
  raster.in.watching = false;
  if (ok || g_JobCancelled) return ok;
  if (!raster.in.refused.empty())
    error = "page " + std::to_string(pageNumber) + ": " + raster.in.refused;
  else if (raster.in.readErrno != 0)
    error = std::string("cannot read the input: ") + strerror(raster.in.readErrno);
  else if (!CleanEnd(raster.in))
    error = "the page header of page " + std::to_string(pageNumber) +
            " is cut short or cannot be read";
  return false;
}

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
  // Lines: up to kSlotBytes, four lines of the widest page or as many lines
  // as a short page has; sized by the reader, so a small job stays small.
  std::vector<uint8_t> data;
};
constexpr uint32_t kSlotBytes = 1 << 17;

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
};

tagSLOT *Claim(tagREADER &r) {
  if (r.ring.stop || !Take(r.ring.empty) || r.ring.stop) return nullptr;
  return &r.ring.slots[static_cast<size_t>(r.next)];
}

void Publish(tagREADER &r) {
  r.next = (r.next + 1) % tagLINERING::kSlots;
  sem_post(&r.ring.filled);
}

// Reads one page's lines into slots, keeping only the bytes the page can draw.
std::string ReadPageLines(tagREADER &r, const cups_page_header2_t &h, int pageNumber) {
  const uint32_t keep = std::min<uint32_t>(h.cupsBytesPerLine, 3 * kPageBitmapWidth);
  const uint32_t perSlot = std::min(kSlotBytes / std::max(keep, 1u), h.cupsHeight);
  for (uint32_t line = 0; line < h.cupsHeight;) {
    tagSLOT *slot = Claim(r);
    if (slot == nullptr) return {};
    try {
      if (slot->data.size() < static_cast<size_t>(perSlot) * keep)
        slot->data.resize(static_cast<size_t>(perSlot) * keep);
    } catch (const std::bad_alloc &) {
      slot->kind = Slot::Lines;
      slot->lines = 0;
      Publish(r);
      return "not enough memory for the raster's lines";
    }
    slot->kind = Slot::Lines;
    slot->lineBytes = keep;
    slot->lines = 0;
    for (; slot->lines < perSlot && line < h.cupsHeight; ++slot->lines, ++line) {
      uint8_t *at = slot->data.data() + static_cast<size_t>(slot->lines) * keep;
      const bool ok = !g_JobCancelled && cupsRasterReadPixels(r.raster.ras, at, keep) == keep &&
                      (keep == h.cupsBytesPerLine ||
                       SkipBytes(r.raster.ras, h.cupsBytesPerLine - keep));
      if (!ok) {
        Publish(r);  // the whole lines before it still count
        if (r.raster.in.readErrno != 0)
          return std::string("cannot read the input: ") + strerror(r.raster.in.readErrno);
        return "raster ended early: page " + std::to_string(pageNumber) + " has " +
               std::to_string(line) + " of its " + std::to_string(h.cupsHeight) + " lines";
      }
    }
    Publish(r);
  }
  return {};
}

// The reader thread. Headers are checked here, before a line is read.
void ReadJob(tagREADER &r) {
  std::string error;
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
    error = ReadPageLines(r, header, pageNumber);
    if (!error.empty()) break;
  }
  if (tagSLOT *slot = Claim(r)) {
    slot->kind = Slot::End;
    slot->error = std::move(error);
    Publish(r);
  }
}

constexpr size_t kReaderStackBytes = size_t{512} << 10;

void *RunReader(void *reader) {
  ReadJob(*static_cast<tagREADER *>(reader));
  return nullptr;
}

struct tagJOBOWNER {
  tagPRINTJOB *job = NewPrintJob();
  ~tagJOBOWNER() { DeletePrintJob(job); }
  tagJOBOWNER() = default;
  tagJOBOWNER(const tagJOBOWNER &) = delete;
  tagJOBOWNER &operator=(const tagJOBOWNER &) = delete;
};

// The screening side: pages from the ring into the engine. Returns the first
// failure, or nothing.
std::string ScreenPages(tagPRINTJOB *job, tagLINERING &ring, FILE *messages) {
  uint32_t pageLines = 0, linesIn = 0;
  int pageNumber = 0;
  for (int at = 0;; at = (at + 1) % tagLINERING::kSlots) {
    if (!Take(ring.filled)) return {};
    tagSLOT &slot = ring.slots[static_cast<size_t>(at)];
    if (slot.kind == Slot::End) return slot.error;
    if (slot.kind == Slot::Header) {
      ++pageNumber;
      if (!StartPrintPage(job, slot.header.cupsWidth, slot.header.cupsHeight)) return job->error;
      pageLines = slot.header.cupsHeight;
      linesIn = 0;
    } else {
      for (uint32_t i = 0; i < slot.lines && !g_JobCancelled; ++i, ++linesIn)
        PutPrintLine(job, slot.data.data() + static_cast<size_t>(i) * slot.lineBytes,
                     slot.lineBytes);
      if (g_JobCancelled) return {};
      if (linesIn == pageLines) {
        if (!EndPrintPage(job)) return job->error;
        fprintf(messages, "PAGE: %d 1\nINFO: Printed page %d\n", pageNumber, pageNumber);
        fflush(messages);
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
  if (!StartPrintJob(job, settings, out)) return job->error;
  auto ring = std::make_unique<tagLINERING>();
  tagREADER reader{raster, *ring};
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
  const bool started = pthread_create(&thread, &attr, RunReader, &reader) == 0;
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

}  // namespace

int RunFilterJob(cups_raster_iocb_t read, void *ctx, const tagJOBSETTINGS &settings, FILE *out,
                 FILE *messages) {
  tagRASTERIN raster;
  raster.in.read = read;
  raster.in.ctx = ctx;
  std::string error;
  raster.ras = cupsRasterOpenIO(ReadInput, &raster.in, CUPS_RASTER_READ);
  if (raster.ras == nullptr) {
    // No byte at all is an empty job; anything else is not raster.
    if (raster.in.readErrno != 0)
      error = std::string("cannot read the input: ") + strerror(raster.in.readErrno);
    else if (raster.in.bytesIn > 0)
      error = "the input is not a CUPS raster stream";
  } else {
    error = PrintPages(raster, settings, out, messages);
  }
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

int SendPrinterCommand(int argc, char *argv[], int32_t writeDensity, int32_t adjustLength,
                       int32_t writeSpeed, int32_t writeRepeat, int32_t lineEnhance,
                       int32_t laneOverlap, int32_t mirror, int32_t dotScreening,
                       int32_t frequency, int32_t angle) {
  tagJOBSETTINGS settings{writeDensity, adjustLength, writeSpeed, writeRepeat, lineEnhance,
                          laneOverlap,  mirror,       dotScreening, frequency,  angle};
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
  const int status = RunFilterJob(ReadFd, &input, settings, stdout, stderr);
  if (input.fd != 0) close(input.fd);
  return status;
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
  tagDEVDATA devData{};
  if (!Tavik_SetDevData(&devData, &band, errorDiffusion, frequency, angle, kTavikResolution))
    return 0;
  tagIMAGEPAGE image;
  TavikStartPage(image, gray.get(), pageBitmap, &devData, pageWidth, kPageBitmapHeight,
                 errorDiffusion, frequency, angle, mirror);
  const auto lineBytes = static_cast<unsigned>(bytesPerLine);
  int32_t dropped = 0;
  for (int32_t k = 0; k < pageHeight; ++k) {
    if (cupsRasterReadPixels(ras, lineBuffer, lineBytes) != lineBytes) {
      // The raster has ended: this line and every later one of the page are
      // lost, and the caller hears how many.
      dropped = pageHeight - k;
      break;
    }
    TavikPutLine(image, lineBuffer, bytesPerLine);
  }
  TavikEndPage(image);
  Tavik_ClearDevData(&devData);
  if (droppedLines) *droppedLines = dropped;
  return 1;
}

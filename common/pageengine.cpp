// SPDX-License-Identifier: Apache-2.0
// The page engine: the simple road's 8x8 screens line by line, the image
// road through the pipeline driver, and the stream writer after each page.
#include "pageengine.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <new>
#include <string>

#include "kt50writer.h"
#include "tavik/TAVIK_MacLib.h"
#include "tools/tools.h"
#include "tools/vector_kernels.h"

namespace {

enum class Road { Simple, Image, Blank };

struct tagSCREEN {
  Road road;
  const tagDITHER *matrix;  // simple road only
};

constexpr tagSCREEN PickScreen(DotScreening method) {
  switch (method) {
    case DotScreening::None: return {Road::Simple, &g_Dither_Nashi};
    case DotScreening::Rough: return {Road::Simple, &g_Dither_Grh_So};
    case DotScreening::Fine: return {Road::Simple, &g_Dither_Grh_Mitsu};
    case DotScreening::FrequencyAngle:
    case DotScreening::ErrorDiffusion: return {Road::Image, nullptr};
    case DotScreening::Solid: return {Road::Simple, &g_Dither_Solid};
  }
  return {Road::Blank, nullptr};
}

// The geometry of one page as the engine uses it.
struct tagPAGE {
  int32_t drawWidth;   // W: the header's width limited to the bitmap
  int32_t drawHeight;  // H: the header's height limited to the bitmap
  int32_t sizeWidth;   // W and H as the size command announces them
  int32_t sizeHeight;
};

tagPAGE PageOf(uint32_t width, uint32_t height) {
  tagPAGE page{};
  page.drawWidth = static_cast<int32_t>(std::min<uint32_t>(width, kPageBitmapWidth));
  page.drawHeight = static_cast<int32_t>(std::min<uint32_t>(height, kPageBitmapHeight));
  page.sizeWidth = std::max(page.drawWidth, kMinPageExtent);
  page.sizeHeight = std::max(page.drawHeight, kMinPageExtent);
  return page;
}

}  // namespace

struct tagPRINTJOB {
  tagJOBSETTINGS settings;
  FILE *out = nullptr;
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

// Makes a zero-filled buffer hold `rows` rows; a larger one is made anew.
bool HoldRows(TavikBuffer<uint8_t> &buffer, int32_t &heldRows, int32_t rows, int32_t rowBytes) {
  rows = std::max(rows, 1);
  if (rows <= heldRows) return true;
  heldRows = 0;
  if (!buffer.Allocate(static_cast<size_t>(rows) * static_cast<size_t>(rowBytes))) return false;
  heldRows = rows;
  return true;
}

// The screen matrix or error rows depend on the job's settings alone, so they
// are built for the first page and reused; error rows start each page at 0.
bool PrepareImageRoad(tagPRINTJOB *job) {
  if (!HoldRows(job->gray, job->grayRows, std::min(job->page.drawHeight, kTavikBandLines),
                kPageBitmapWidth))
    return Fail(job, "not enough memory for the image band");
  const tagJOBSETTINGS &s = job->settings;
  if (!job->devDataReady) {
    const int32_t diffusion = s.dotScreening == Code(DotScreening::ErrorDiffusion)
                                  ? kTavikErrorDiffusion
                                  : kTavikAmScreen;
    tagBANDBITMAP band = Tavik_GrayBand(job->gray.get());
    if (!Tavik_SetDevData(&job->devData, &band, diffusion, s.frequency, s.angle, kTavikResolution))
      return Fail(job, "the screen for " + std::to_string(s.frequency) + " lpi at " +
                           std::to_string(s.angle) + " degrees cannot be built");
    job->devDataReady = true;
  } else if (job->devData.errorBuffer) {
    std::memset(job->devData.errorBuffer.get(), 0, job->devData.errorBuffer.size());
  }
  return true;
}

std::string TooLarge(int pageNumber, uint32_t width, uint32_t height) {
  return "page " + std::to_string(pageNumber) + " of " + std::to_string(width) + " x " +
         std::to_string(height) + " pixels is larger than the printer can take (" +
         std::to_string(kMaxRasterWidth) + " x " + std::to_string(kMaxRasterHeight) +
         " at most)";
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
  job->mirrorFlag = settings.mirror == 1 ? 1 : 0;
  job->screen = PickScreen(static_cast<DotScreening>(settings.dotScreening));
  return true;
}

bool StartPrintPage(tagPRINTJOB *job, uint32_t width, uint32_t height) {
  if (width > kMaxRasterWidth || height > kMaxRasterHeight)
    return Fail(job, TooLarge(job->pagesWritten + 1, width, height));
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
    job->image = Tavik_StartPage(&job->devData, job->gray.get(), job->pageBitmap.get(),
                                 static_cast<int32_t>(std::min<uint32_t>(width, INT32_MAX)),
                                 job->page.drawHeight, job->mirrorFlag);
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
    Tavik_PutLine(job->image, line, static_cast<int32_t>(std::min(bytes, rgbBytes)));
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

void ExpandGrayLine(uint8_t *rgb, const uint8_t *gray, int32_t pixels, uint8_t flip) {
  for (int32_t x = vk::GrayToRgb(rgb, gray, pixels, flip); x < pixels; ++x)
    rgb[3 * x] = rgb[3 * x + 1] = rgb[3 * x + 2] = gray[x] ^ flip;
}

bool EndPrintPage(tagPRINTJOB *job) {
  if (!job->inPage) return Fail(job, "a page ended that was never started");
  job->inPage = false;
  if (job->screen.road == Road::Image) Tavik_EndPage(job->image);
  if (job->pagesWritten == 0) WriteJobHeader(job->out, job->settings);
  WritePage(job->out, job->pageBitmap.get(), job->page.sizeWidth, job->page.sizeHeight,
            job->page.drawHeight);
  if (fflush(job->out) != 0 || ferror(job->out))
    return Fail(job, std::string("cannot write the printer stream: ") + strerror(errno));
  ++job->pagesWritten;
  return true;
}

int PrintJobPagesWritten(const tagPRINTJOB *job) { return job->pagesWritten; }
const char *PrintJobError(const tagPRINTJOB *job) { return job->error.c_str(); }

bool PrintJobKeepsCutPage(const tagPRINTJOB *job) { return job->screen.road == Road::Image; }

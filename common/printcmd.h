// SPDX-License-Identifier: Apache-2.0
// The filter's job loop and the printer command stream it writes: job header
// record, page commands and the lane blocks of the 1-bit page bitmap.
#pragma once

#include <cups/raster.h>

#include <array>
#include <atomic>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "PageBitmap.h"


// Page command templates; the parameter bytes are filled in when written.
inline constexpr std::array<uint8_t, 3> g_ucESC_INIT{0x1B, 0x7C, 0x40};
inline constexpr std::array<uint8_t, 7> g_ucESC_SIZE{0x1B, 0x7C, 0x45, 0, 0, 0, 0};
inline constexpr std::array<uint8_t, 4> g_ucESC_LANE_NO{0x1B, 0x7C, 0x4C, 0};
inline constexpr std::array<uint8_t, 5> g_ucESC_OFFSET_Y{0x1B, 0x7C, 0x59, 0, 0};
inline constexpr std::array<uint8_t, 7> g_ucESC_RASTER{0x1B, 0x7C, 0x30, 0x36, 0x01, 0, 0};
inline constexpr std::array<uint8_t, 3> g_ucESC_FF{0x1B, 0x7C, 0x0C};

// The largest page the filter takes: twice the bitmap each way. Wider and
// taller pages are drawn from their top-left 9920 x 14645 pixels, but a page
// beyond these can only be a fault, and its lines would cost time for nothing.
inline constexpr uint32_t kMaxRasterWidth = 2 * kPageBitmapWidth;
inline constexpr uint32_t kMaxRasterHeight = 2 * kPageBitmapHeight;
// Bytes a raster line may carry beyond its pixels.
inline constexpr uint32_t kMaxLinePadding = 4096;

// The ten job settings, in the order the page loop takes them.
struct tagJOBSETTINGS {
  int32_t writeDensity = 0;
  int32_t adjustLength = 0;
  int32_t writeSpeed = 0;
  int32_t writeRepeat = 0;
  int32_t lineEnhance = 0;
  int32_t laneOverlap = 0;
  int32_t mirror = 1;
  int32_t dotScreening = 0;
  int32_t frequency = 38;
  int32_t angle = 37;
};

// One job's page engine, fed a page at a time and a line at a time by a front
// end (the filter's raster reader, the printer application's callbacks).
// Owns the page bitmap; writes the command stream to `out`.
struct tagPRINTJOB;

// The engine's entry points. Every failure leaves its reason in
// PrintJobError(); the stream keeps every page written before it.
//   StartPrintJob: takes the settings and the stream; the page bitmap and the
//     image band are made as the pages need them.
//   StartPrintPage: a page of width x height pixels as its raster header
//     gives them; false (nothing allocated) when the printer cannot take it.
//   PutPrintLine: the page's next line, 24-bit RGB, `bytes` long; pixels the
//     line does not cover read as white, bytes past the drawn width are never
//     read. Lines past the drawn height are counted and dropped.
//   EndPrintPage: finishes the page (missing lines stay white) and writes it,
//     the job header before the first page; false when the stream cannot be
//     written.
// Raster front ends that deliver gray expand a gray value g to (g, g, g).
tagPRINTJOB *NewPrintJob();  // paired with DeletePrintJob
void DeletePrintJob(tagPRINTJOB *job);
bool StartPrintJob(tagPRINTJOB *job, const tagJOBSETTINGS &settings, FILE *out);
bool StartPrintPage(tagPRINTJOB *job, uint32_t width, uint32_t height);
void PutPrintLine(tagPRINTJOB *job, const uint8_t *line, size_t bytes);
bool EndPrintPage(tagPRINTJOB *job);
int PrintJobPagesWritten(const tagPRINTJOB *job);
const char *PrintJobError(const tagPRINTJOB *job);

// The filter's job over any input: raster bytes from `read` (as
// cupsRasterOpenIO takes them), the stream to `out`, "ERROR:", "INFO:" and
// "PAGE:" lines to `messages`. Returns the exit status as SendPrinterCommand.
int RunFilterJob(cups_raster_iocb_t read, void *ctx, const tagJOBSETTINGS &settings, FILE *out,
                 FILE *messages);

// Set when the print system cancels the job (SIGTERM): the page loop then
// stops before writing another page, so the stream ends after a complete page.
// Lock-free, so the signal handler may set it while the reader thread reads it.
extern std::atomic<int> g_JobCancelled;
static_assert(std::atomic<int>::is_always_lock_free);
// Sets the flag and wakes a read waiting for input; safe in a signal handler.
void CancelFilterJob();

// Reads the raster (argv[6] when argc is 7, else standard input), renders
// every page and writes the command stream to standard output. Returns the
// process exit status: 0 when every page was written, 1 after a failure that
// lost output, reported by one "ERROR:" line on standard error. What was
// written before a failure stays written; a failing page writes nothing.
int SendPrinterCommand(int argc, char *argv[], int32_t writeDensity, int32_t adjustLength,
                       int32_t writeSpeed, int32_t writeRepeat, int32_t lineEnhance,
                       int32_t laneOverlap, int32_t mirror, int32_t dotScreening,
                       int32_t frequency, int32_t angle);

// Writes the lane blocks of one page: for lanes 0 .. pageWidth / 2480 (at
// most 3), the rows from the first to the last inked one. pageWidth and
// pageHeight are those of the size command. Returns 1.
int SendPrinterCommandForPageBitmap(const uint8_t *pageBitmap, int32_t pageWidth,
                                    int32_t pageHeight, FILE *out = stdout);

// The image road (screening codes 3 and 4) for one page. pageWidth and
// pageHeight are the raster header's, not limited. lineBuffer holds at least
// max(bytesPerLine, 3 * min(pageWidth, 9920)) bytes; the bytes beyond
// bytesPerLine are 255 (white), so a short line never needs reading past.
// pageBitmap is cleared. Reads all pageHeight lines of the page, so the
// stream stays at the next page header. Returns 1 when the page is rendered,
// 0 on failure; *droppedLines (when not null) receives the number of lines
// lost to short reads on a page that still returns 1.
int TavikImageProc(cups_raster_t *ras, uint8_t *lineBuffer, int32_t bytesPerLine,
                   int32_t pageWidth, int32_t pageHeight, uint8_t *pageBitmap,
                   int32_t errorDiffusion, int32_t frequency, int32_t angle, int32_t mirror,
                   int32_t *droppedLines);

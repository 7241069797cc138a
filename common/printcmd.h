// The filter's job loop and the printer command stream it writes: job header
// record, page commands and the lane blocks of the 1-bit page bitmap.
#pragma once

#include <cups/raster.h>

#include <array>
#include <csignal>
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

// Set when the print system cancels the job (SIGTERM): the page loop then
// stops before writing another page, so the stream ends after a complete page.
extern volatile sig_atomic_t g_JobCancelled;

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

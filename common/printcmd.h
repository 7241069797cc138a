// SPDX-License-Identifier: Apache-2.0
// The filter's entries under their fixed names and loose values, for the
// tests and the benchmark: the job loop with ten settings, and the image
// road of one whole page read from an open raster. The product itself runs
// the job settings as one record (rasterfront.h, pageengine.h).
#pragma once

#include <cups/raster.h>

#include <cstdint>

#include "rasterfront.h"

// SendPrinterCommand (rasterfront.h) with the settings one by one, in the
// order of tagJOBSETTINGS.
int SendPrinterCommand(int argc, char *argv[], int32_t writeDensity, int32_t adjustLength,
                       int32_t writeSpeed, int32_t writeRepeat, int32_t lineEnhance,
                       int32_t laneOverlap, int32_t mirror, int32_t dotScreening,
                       int32_t frequency, int32_t angle);

// The image road (screening codes 3 and 4) for one page. pageWidth and
// pageHeight are the raster header's, not limited. lineBuffer holds at least
// bytesPerLine bytes. pageBitmap is a whole cleared bitmap (kPageBitmapSize
// bytes). Reads all pageHeight lines of the page, so the stream stays at the
// next page header. Returns 1 when the page is rendered, 0 on failure;
// *droppedLines (when not null) receives the number of lines lost to short
// reads on a page that still returns 1.
int TavikImageProc(cups_raster_t *ras, uint8_t *lineBuffer, int32_t bytesPerLine,
                   int32_t pageWidth, int32_t pageHeight, uint8_t *pageBitmap,
                   int32_t errorDiffusion, int32_t frequency, int32_t angle, int32_t mirror,
                   int32_t *droppedLines);

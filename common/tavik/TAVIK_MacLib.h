// SPDX-License-Identifier: Apache-2.0
// The image road's pipeline driver: the device data record, the banded
// bitmap descriptor, the per-band steps (tone curve, AM screen, error
// diffusion) and a page fed a line at a time.
#pragma once

#include <cstdint>
#include <vector>

#include "kt50protocol.h"
#include "TAVIK_AmiTbl.h"
#include "TAVIK_Buffer.h"
#include "TAVIK_Dither.h"
#include "TAVIK_ImageLib.h"

// Size of the gray band buffer: 845 lines of 9920 ink values fit in it.
inline constexpr int32_t kTavikBandBufferSize = 8388608;
inline constexpr int32_t kTavikBandLines = 845;
inline constexpr int32_t kTavikResolution = 600;

// A banded bitmap: the whole bitmap, and the band of it now being filled.
struct tagBANDBITMAP {
  int32_t width;
  int32_t height;          // lines at or beyond it are not drawn
  int32_t rowBytes;
  int32_t bufferSize;      // clearing and inversion cover exactly this many bytes
  uint8_t *buffer;         // not owned
  int32_t bandWidth;
  int32_t bandHeight;      // nominal lines per band
  int32_t bandRowBytes;
  int32_t bandCount;
  int32_t bandNumber;      // 1-based
  int32_t remainingLines;  // from the current band's top to the bitmap's bottom
  int32_t bandLeft;
  int32_t bandTop;
  int32_t curBandWidth;
  int32_t curBandLines;
};

// The device data of one page: the screen matrix or the error rows, kept from
// band to band, and what the bands need to know of the job's screening.
struct tagDEVDATA {
  tagRECT64 bandRect;
  TavikBuffer<uint8_t> screenMatrix;  // AM screen only, screenSize bytes per row
  int64_t screenSize;
  TavikBuffer<int8_t> errorBuffer;    // error diffusion only
  uint16_t xResolution;
  uint16_t yResolution;
  uint8_t diffusionMode;              // 0 = AM screen, 1 = error diffusion
  uint8_t setupBytes[3];              // 0, 3, 3; not read
  uint8_t customScreen;               // level splitting and fixed 45-degree screens
  uint8_t setupFlag;                  // 0; not read
  uint16_t setupWord;                 // 0; not read
  // The level table of the screen's construction, present only while it
  // runs (ami_para_confirm): each record has its own, so pages of several
  // jobs may be rendered at once.
  TavikBuffer<tagAMILEVEL> levelTable;
  // The tone curve of the job's method and frequency (band_gamma_curve).
  const tagGAMMACURVE *toneCurve;
  // The screen matrix mapped through the tone curve (ami_ink_matrix), so
  // that the AM road screens ink values without correcting them first;
  // empty when it could not be made, and the band is then corrected.
  std::vector<uint8_t> inkMatrix;
};

// Prepares the record for the gray band's current band; on the first band it
// also allocates and builds the screen matrix or the error rows. 1, or 0 when
// memory cannot be had or the screen cannot be built for the frequency/angle.
int Tavik_SetDevData(tagDEVDATA *devData, const tagBANDBITMAP *band, int32_t diffusion,
                     int32_t frequency, int32_t angle, int32_t resolution);
void Tavik_ClearDevData(tagDEVDATA *devData);

void Tavik_GrayBitmap_Gamma(const tagBANDBITMAP *band, int32_t diffusion, int32_t frequency);
void Tavik_GrayBitmap_Amiten(const tagDEVDATA *devData, const tagBANDBITMAP *band,
                             const tagBANDBITMAP *page);
// inkWidth and curve: as for binarize (negative / none: any column may hold
// ink, the band is corrected already).
void Tavik_GrayBitmap_Gosakakusan(tagDEVDATA *devData, const tagBANDBITMAP *band,
                                  const tagBANDBITMAP *page, int64_t inkWidth = -1,
                                  const tagGAMMACURVE *curve = nullptr);

// Descriptors of the gray band and of the page bitmap at the start of a page.
tagBANDBITMAP Tavik_GrayBand(uint8_t *buffer);
tagBANDBITMAP Tavik_PageBand(uint8_t *pageBitmap);

// Turns one RGB raster line into ink values in row: output column x takes
// source pixel x, or drawnWidth - 1 - x when mirrored. Only the line's
// bytesPerLine bytes are read; columns whose pixel lies beyond them keep the
// row's 0 (no ink), and a pixel cut short reads its missing bytes as white.
void Tavik_ConvertLine(uint8_t *row, const uint8_t *line, int32_t bytesPerLine,
                       int32_t drawnWidth, int32_t mirror);

// Tone curve and screening of the gray band's current band into the page,
// by the record's method and curve, then moves the band on and clears it. On
// the AM road with an ink matrix the band is screened against it without
// the tone-curve pass (same bits). Work right of the band's ink (found by a
// scan from the right) is skipped where its result is known.
void Tavik_ProcessBand(tagDEVDATA *devData, tagBANDBITMAP *band, const tagBANDBITMAP *page);

// One page of the image road fed a line at a time: the page's lines become
// ink values in the gray band; every full band is screened into the page
// bitmap, which turns over to 1 = ink when the page ends.
struct tagIMAGEPAGE {
  tagBANDBITMAP band{};
  tagBANDBITMAP page{};
  tagDEVDATA *devData = nullptr;
  int32_t bandLine = 0;    // the gray band's row the next line goes to
  int32_t drawnWidth = 0;  // the page's width limited to the bitmap
  int32_t rows = 0;        // rows of the page bitmap the page may draw
  int32_t mirror = 0;
};

// Starts a page of pageWidth x pageHeight pixels (a negative width: as wide
// as any). gray is the zero-filled band buffer, devData holds the job's
// screen matrix or error rows (Tavik_SetDevData). Only the page's rows of the
// bitmap are touched.
tagIMAGEPAGE Tavik_StartPage(tagDEVDATA *devData, uint8_t *gray, uint8_t *pageBitmap,
                             int32_t pageWidth, int32_t pageHeight, int32_t mirror);
// The page's next raster line, bytesPerLine bytes of RGB; lines past the
// page's rows are dropped.
void Tavik_PutLine(tagIMAGEPAGE &image, const uint8_t *line, int32_t bytesPerLine);
// Screens the last, partial band and turns the bitmap over.
void Tavik_EndPage(tagIMAGEPAGE &image);

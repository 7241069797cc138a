// The image road's library interface: the device data record, the banded
// bitmap descriptor and the per-band steps (tone curve, AM screen, error
// diffusion).
#pragma once

#include <cstdint>
#include <vector>

#include "PageBitmap.h"
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
// band to band.
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
  // The screen matrix mapped through the page's tone curve (ami_ink_matrix),
  // so that the AM road screens ink values without correcting them first;
  // empty when it could not be made, and the band is then corrected.
  std::vector<uint8_t> inkMatrix;
  // Columns of the page that can hold ink (Tavik_SetInkWidth); 0: all.
  int32_t inkWidth;
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

// Tells the record that no line of the page puts ink at or right of column
// drawnWidth (Tavik_ConvertLine with that drawn width writes nothing there),
// so band work there can be skipped where its result is known: the tone
// curve, the comparisons, the clearing, and the error diffusion once its
// errors there have settled. The bits there come out exactly as without the
// call. 0 (the record's initial value) means any column may hold ink.
void Tavik_SetInkWidth(tagDEVDATA *devData, int32_t drawnWidth);

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
// then moves the band on and clears it. On the AM road with an ink matrix the
// band is screened against it without the tone-curve pass (same bits). Work
// right of the band's ink (found by a scan from the right, never past the
// record's ink width) is skipped where its result is known.
void Tavik_ProcessBand(tagDEVDATA *devData, tagBANDBITMAP *band, const tagBANDBITMAP *page,
                       int32_t diffusion, int32_t frequency, int32_t angle);

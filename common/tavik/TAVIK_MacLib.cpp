// SPDX-License-Identifier: Apache-2.0
// The image road's pipeline driver: the device data record, the per-band
// steps around it, and a page fed a line at a time.
#include "TAVIK_MacLib.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "TAVIK_AmiTbl.h"
#include "TAVIK_Dither.h"
#include "tools/vector_kernels.h"

void Tavik_ClearDevData(tagDEVDATA *devData) {
  devData->screenMatrix.Release();
  devData->errorBuffer.Release();
  std::vector<uint8_t>().swap(devData->inkMatrix);
}

namespace {

// The AM matrix mapped through the tone curve; without the memory for it the
// band is corrected and screened as it is.
void MakeInkMatrix(tagDEVDATA *devData) {
  const int64_t side = devData->screenSize;
  try {
    devData->inkMatrix.resize(static_cast<size_t>(side * ami_ink_matrix_pitch(side)));
  } catch (const std::bad_alloc &) {
    std::vector<uint8_t>().swap(devData->inkMatrix);
    return;
  }
  ami_ink_matrix(devData->screenMatrix.get(), side, *devData->toneCurve, devData->inkMatrix.data());
}

// The screen matrix of the frequency and angle; 1, or 0 when it cannot be
// had.
int BuildScreen(tagDEVDATA *devData, int32_t frequency, int32_t angle, int32_t resolution) {
  int64_t m = 0, n = 0;
  m_and_n(resolution, frequency, angle, &m, &n);
  // A frequency or angle whose cell does not fit the construction cannot be
  // screened; refuse it rather than build past the working arrays.
  if (!ami_vector_usable(m, n)) return 0;
  int64_t side = ami_matrix_side(m, n);
  if (side < 24) side = 24;  // room for every fixed screen
  if (!devData->screenMatrix.Allocate(static_cast<size_t>(side * side))) return 0;
  devData->screenSize = 0;
  if (!ami_para_confirm(devData, resolution, frequency, angle, &devData->screenSize)) {
    Tavik_ClearDevData(devData);
    return 0;
  }
  if (devData->screenSize > 0) MakeInkMatrix(devData);
  return 1;
}

}  // namespace

int Tavik_SetDevData(tagDEVDATA *devData, const tagBANDBITMAP *band, int32_t diffusion,
                     int32_t frequency, int32_t angle, int32_t resolution) {
  if (band->bandNumber == 1) Tavik_ClearDevData(devData);
  devData->bandRect = {0, 0, static_cast<int64_t>(band->curBandWidth) - 1,
                       static_cast<int64_t>(band->curBandLines) - 1};
  devData->xResolution = static_cast<uint16_t>(resolution);
  devData->yResolution = static_cast<uint16_t>(resolution);
  devData->diffusionMode = static_cast<uint8_t>(diffusion);
  devData->setupBytes[0] = 0;
  devData->setupBytes[1] = 3;
  devData->setupBytes[2] = 3;
  devData->customScreen = 1;
  devData->setupFlag = 0;
  devData->setupWord = 0;
  devData->toneCurve = &band_gamma_curve(static_cast<int8_t>(diffusion), static_cast<uint16_t>(frequency));
  if (band->bandNumber != 1) return 1;
  if (diffusion == kTavikErrorDiffusion) {
    const size_t bytes = 2 * static_cast<size_t>(band->bandRowBytes) + 6;
    return devData->errorBuffer.Allocate(bytes) ? 1 : 0;
  }
  return BuildScreen(devData, frequency, angle, resolution);
}

void Tavik_GrayBitmap_Gamma(const tagBANDBITMAP *band, int32_t diffusion, int32_t frequency) {
  band_gamma(static_cast<int8_t>(diffusion), band->buffer, band->curBandWidth,
             band->curBandLines, band->bandRowBytes, static_cast<uint16_t>(frequency));
}

void Tavik_GrayBitmap_Amiten(const tagDEVDATA *devData, const tagBANDBITMAP *band,
                             const tagBANDBITMAP *page) {
  if (!devData->screenMatrix || devData->screenSize <= 0) return;
  const tagRECT64 rect{band->bandLeft, band->bandTop,
                       static_cast<int64_t>(band->bandLeft) + band->curBandWidth - 1,
                       static_cast<int64_t>(band->bandTop) + band->curBandLines - 1};
  mAmiStretch(band->buffer, page->buffer, band->curBandWidth, band->curBandLines, &rect,
              band->bandRowBytes, page->bandRowBytes, devData->screenMatrix.get(),
              static_cast<uint16_t>(devData->screenSize), nullptr);
}

void Tavik_GrayBitmap_Gosakakusan(tagDEVDATA *devData, const tagBANDBITMAP *band,
                                  const tagBANDBITMAP *page, int64_t inkWidth,
                                  const tagGAMMACURVE *curve) {
  const size_t needed = 2 * static_cast<size_t>(band->bandWidth) + 6;
  if (!devData->errorBuffer || devData->errorBuffer.size() < needed) return;
  const tagRECT64 rect{0, 0, static_cast<int64_t>(band->bandWidth) - 1,
                       static_cast<int64_t>(band->curBandLines) - 1};
  binarize(band->buffer, band->bandWidth, band->curBandLines,
           page->buffer + static_cast<int64_t>(band->bandTop) * page->bandRowBytes, &rect,
           page->bandRowBytes, devData->errorBuffer.get(), inkWidth, curve);
}

tagBANDBITMAP Tavik_GrayBand(uint8_t *buffer) {
  constexpr int32_t bands = (kPageBitmapHeight + kTavikBandLines - 1) / kTavikBandLines;
  return {kPageBitmapWidth, kPageBitmapHeight, kPageBitmapWidth, kTavikBandBufferSize,
          buffer,          kPageBitmapWidth,  kTavikBandLines, kPageBitmapWidth,
          bands,           1,                kPageBitmapHeight, 0,
          0,               kPageBitmapWidth,  kTavikBandLines};
}

tagBANDBITMAP Tavik_PageBand(uint8_t *pageBitmap) {
  return {kPageBitmapWidth, kPageBitmapHeight, kPageBitmapRowBytes, kPageBitmapSize,
          pageBitmap,      kPageBitmapWidth,  kPageBitmapHeight,   kPageBitmapRowBytes,
          1,               1,                0,                  0,
          0,               kPageBitmapWidth,  kPageBitmapHeight};
}

namespace {
// 255 minus the luminance; the weights add up to 8192.
inline uint8_t InkOf(const uint8_t *rgb) {
  return static_cast<uint8_t>(255 - ((2449 * rgb[0] + 4805 * rgb[1] + 938 * rgb[2]) >> 13));
}
}  // namespace

void Tavik_ConvertLine(uint8_t *row, const uint8_t *line, int32_t bytesPerLine,
                       int32_t drawnWidth, int32_t mirror) {
  if (drawnWidth <= 0 || bytesPerLine <= 0) return;
  const int32_t whole = std::min(drawnWidth, bytesPerLine / 3);
  const int32_t done = vk::InkLine(row, line, whole, mirror, drawnWidth - 1);
  line += 3 * static_cast<int64_t>(done);
  if (mirror) {
    uint8_t *d = row + drawnWidth - 1 - done;
    for (int32_t j = done; j < whole; ++j, line += 3) *d-- = InkOf(line);
  } else {
    for (int32_t j = done; j < whole; ++j, line += 3) row[j] = InkOf(line);
  }
  const int32_t rest = bytesPerLine - 3 * whole;
  if (whole < drawnWidth && rest > 0 && rest < 3) {
    uint8_t px[3] = {255, 255, 255};
    std::memcpy(px, line, static_cast<size_t>(rest));
    row[mirror ? drawnWidth - 1 - whole : whole] = InkOf(px);
  }
}

namespace {

// Columns of the band's current lines that hold ink: every byte from the
// result on is 0 in each line. Never more than `limit`.
int64_t BandInkExtent(const tagBANDBITMAP *band, int64_t limit) {
  int64_t extent = 0;
  for (int32_t y = 0; y < band->curBandLines && extent < limit; ++y) {
    const uint8_t *row = band->buffer + static_cast<int64_t>(y) * band->bandRowBytes;
    int64_t x = limit;
    while (x - 8 >= extent) {
      uint64_t word;
      std::memcpy(&word, row + x - 8, sizeof word);
      if (word != 0) break;
      x -= 8;
    }
    while (x > extent && row[x - 1] == 0) --x;
    extent = std::max(extent, x);
  }
  return extent;
}

// Clears what the band's lines hold: only its own rows can hold ink values,
// and every byte right of the extent is 0 already.
void ClearBand(const tagBANDBITMAP *band, int32_t lines, int64_t extent) {
  const int64_t bytes = std::min<int64_t>(extent, band->bandRowBytes);
  for (int32_t y = 0; y < lines; ++y)
    std::memset(band->buffer + static_cast<int64_t>(y) * band->bandRowBytes, 0, static_cast<size_t>(bytes));
}

}  // namespace

void Tavik_ProcessBand(tagDEVDATA *devData, tagBANDBITMAP *band, const tagBANDBITMAP *page) {
  const int32_t lines = band->curBandLines;
  const int64_t extent = BandInkExtent(band, std::max(band->curBandWidth, 0));
  if (devData->diffusionMode == kTavikErrorDiffusion) {
    // The tone curve is applied as the diffusion reads each value.
    Tavik_GrayBitmap_Gosakakusan(devData, band, page, extent, devData->toneCurve);
  } else if (!devData->inkMatrix.empty() && band->bandLeft >= 0 && band->bandTop >= 0) {
    const tagRECT64 rect{band->bandLeft, band->bandTop,
                         static_cast<int64_t>(band->bandLeft) + band->curBandWidth - 1,
                         static_cast<int64_t>(band->bandTop) + lines - 1};
    mAmiStretchInk(band->buffer, band->bandRowBytes, extent, page->buffer, page->bandRowBytes, &rect,
                   devData->inkMatrix.data(), devData->screenSize);
  } else {
    band_curve(*devData->toneCurve, band->buffer, band->curBandWidth, lines, band->bandRowBytes);
    Tavik_GrayBitmap_Amiten(devData, band, page);
  }
  band->bandNumber += 1;
  band->remainingLines -= band->bandHeight;
  band->bandTop += band->curBandLines;
  band->curBandLines = std::min(band->bandHeight, band->remainingLines);
  ClearBand(band, lines, extent);
}

// ------------------------------------------------------- a page by lines --

namespace {

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

}  // namespace

tagIMAGEPAGE Tavik_StartPage(tagDEVDATA *devData, uint8_t *gray, uint8_t *pageBitmap,
                             int32_t pageWidth, int32_t pageHeight, int32_t mirror) {
  tagIMAGEPAGE image;
  image.devData = devData;
  image.band = Tavik_GrayBand(gray);
  image.page = Tavik_PageBand(pageBitmap);
  image.drawnWidth = pageWidth < 0 || pageWidth > kPageBitmapWidth ? kPageBitmapWidth : pageWidth;
  image.rows = std::clamp(pageHeight, 0, kPageBitmapHeight);
  image.mirror = mirror;
  // Columns right of the page hold no ink: the tone curves keep 0 at 0 and
  // the AM screen leaves such columns blank, so neither needs to visit them.
  // The error diffusion still runs the band's whole width.
  image.band.curBandWidth = image.drawnWidth;
  std::memset(pageBitmap, 0xFF, static_cast<size_t>(image.rows) * kPageBitmapRowBytes);
  return image;
}

void Tavik_PutLine(tagIMAGEPAGE &image, const uint8_t *line, int32_t bytesPerLine) {
  tagBANDBITMAP &band = image.band;
  if (band.bandTop + image.bandLine >= band.height) return;
  Tavik_ConvertLine(band.buffer + static_cast<int64_t>(image.bandLine) * band.bandRowBytes, line,
                    bytesPerLine, image.drawnWidth, image.mirror);
  if (++image.bandLine == band.curBandLines) {
    Tavik_ProcessBand(image.devData, &band, &image.page);
    image.bandLine = 0;
  }
}

void Tavik_EndPage(tagIMAGEPAGE &image) {
  if (image.bandLine > 0) {
    image.band.curBandLines = image.bandLine;
    Tavik_ProcessBand(image.devData, &image.band, &image.page);
    image.bandLine = 0;
  }
  FlipRows(image.page.buffer, image.rows);
}

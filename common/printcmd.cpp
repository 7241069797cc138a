// SPDX-License-Identifier: Apache-2.0
#include "printcmd.h"

#include "tavik/TAVIK_MacLib.h"

int SendPrinterCommand(int argc, char *argv[], int32_t writeDensity, int32_t adjustLength,
                       int32_t writeSpeed, int32_t writeRepeat, int32_t lineEnhance,
                       int32_t laneOverlap, int32_t mirror, int32_t dotScreening,
                       int32_t frequency, int32_t angle) {
  tagJOBSETTINGS s;
  s.writeDensity = writeDensity;
  s.adjustLength = adjustLength;
  s.writeSpeed = writeSpeed;
  s.writeRepeat = writeRepeat;
  s.lineEnhance = lineEnhance;
  s.laneOverlap = laneOverlap;
  s.mirror = mirror;
  s.dotScreening = dotScreening;
  s.frequency = frequency;
  s.angle = angle;
  return SendPrinterCommand(argc, argv, s);
}

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
  tagIMAGEPAGE image =
      Tavik_StartPage(&devData, gray.get(), pageBitmap, pageWidth, kPageBitmapHeight, mirror);
  const auto lineBytes = static_cast<unsigned>(bytesPerLine);
  int32_t dropped = 0;
  for (int32_t k = 0; k < pageHeight; ++k) {
    if (cupsRasterReadPixels(ras, lineBuffer, lineBytes) != lineBytes) {
      // The raster has ended: this line and every later one of the page are
      // lost, and the caller hears how many.
      dropped = pageHeight - k;
      break;
    }
    Tavik_PutLine(image, lineBuffer, bytesPerLine);
  }
  Tavik_EndPage(image);
  Tavik_ClearDevData(&devData);
  if (droppedLines) *droppedLines = dropped;
  return 1;
}

// Writing CUPS raster through libcups, for our tools and tests: pages of any
// size, colour space and bit depth, filled line by line by a callback, and
// the sample chart used by vantrex-mkraster.
#pragma once

#include <cups/raster.h>

#include <cstdint>
#include <functional>
#include <span>

namespace vraster {

// Fills one raster line; `line` has the page's bytes per line and arrives
// zero-filled.
using LineFill = std::function<void(uint32_t row, std::span<uint8_t> line)>;

struct tagRASTERPAGE {
  uint32_t width = 0;
  uint32_t height = 0;
  cups_cspace_t colorSpace = CUPS_CSPACE_RGB;  // RGB: 3 colours; W or K: 1
  uint32_t bitsPerColor = 8;
  LineFill fill;  // may be empty: lines of zero bytes
};

// Bytes per line libcups expects for the page: (width * bits per pixel + 7) / 8.
uint32_t BytesPerLine(const tagRASTERPAGE &page);

// Writes the pages to `fd` (which stays open). `compressed` selects
// CUPS_RASTER_WRITE_COMPRESSED. Returns false when libcups refuses.
bool WriteRaster(int fd, std::span<const tagRASTERPAGE> pages, bool compressed);

// One RGB line of the sample chart of a width x height page: a frame, a gray
// ramp, fine lines at several spacings, colour and gray blocks, and
// `pageNumber` small squares near the top right that tell the pages apart.
void ChartLine(uint32_t width, uint32_t height, uint32_t pageNumber, uint32_t row,
               std::span<uint8_t> rgb);

// One RGB line of a photo-like page: smooth gradients in each colour with a
// fine noise of a few levels on top, the same for the same row every time.
void PhotoLine(uint32_t width, uint32_t height, uint32_t row, std::span<uint8_t> rgb);

}  // namespace vraster

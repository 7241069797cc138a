#include "rasterwriter.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace vraster {

namespace {

uint32_t ColorsOf(cups_cspace_t space) { return space == CUPS_CSPACE_RGB ? 3 : 1; }

cups_page_header2_t HeaderOf(const tagRASTERPAGE &page) {
  cups_page_header2_t h;
  std::memset(&h, 0, sizeof h);
  std::strcpy(h.MediaClass, "PwgRaster");
  h.HWResolution[0] = h.HWResolution[1] = 600;
  h.PageSize[0] = page.width * 72 / 600;
  h.PageSize[1] = page.height * 72 / 600;
  h.NumCopies = 1;
  h.cupsWidth = page.width;
  h.cupsHeight = page.height;
  h.cupsBitsPerColor = page.bitsPerColor;
  h.cupsBitsPerPixel = page.bitsPerColor * ColorsOf(page.colorSpace);
  h.cupsBytesPerLine = BytesPerLine(page);
  h.cupsColorOrder = CUPS_ORDER_CHUNKED;
  h.cupsColorSpace = page.colorSpace;
  h.cupsNumColors = ColorsOf(page.colorSpace);
  return h;
}

void Put(std::span<uint8_t> rgb, uint32_t x, uint8_t r, uint8_t g, uint8_t b) {
  rgb[3 * x] = r;
  rgb[3 * x + 1] = g;
  rgb[3 * x + 2] = b;
}

struct tagBLOCK {
  uint8_t r, g, b;
};
constexpr std::array<tagBLOCK, 8> kBlocks{{
    {0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255},
    {0, 255, 255}, {255, 0, 255}, {255, 255, 0}, {128, 128, 128},
}};

}  // namespace

uint32_t BytesPerLine(const tagRASTERPAGE &page) {
  const uint64_t bits = uint64_t{page.width} * page.bitsPerColor * ColorsOf(page.colorSpace);
  return static_cast<uint32_t>((bits + 7) / 8);
}

bool WriteRaster(int fd, std::span<const tagRASTERPAGE> pages, bool compressed) {
  cups_raster_t *ras =
      cupsRasterOpen(fd, compressed ? CUPS_RASTER_WRITE_COMPRESSED : CUPS_RASTER_WRITE);
  if (ras == nullptr) return false;
  bool ok = true;
  std::vector<uint8_t> line;
  for (const tagRASTERPAGE &page : pages) {
    cups_page_header2_t header = HeaderOf(page);
    if (!cupsRasterWriteHeader2(ras, &header)) {
      ok = false;
      break;
    }
    line.resize(header.cupsBytesPerLine);
    for (uint32_t row = 0; row < page.height && ok; ++row) {
      std::fill(line.begin(), line.end(), uint8_t{0});
      if (page.fill) page.fill(row, line);
      ok = cupsRasterWritePixels(ras, line.data(), header.cupsBytesPerLine) ==
           header.cupsBytesPerLine;
    }
    if (!ok) break;
  }
  cupsRasterClose(ras);
  return ok;
}

void ChartLine(uint32_t width, uint32_t height, uint32_t pageNumber, uint32_t row,
               std::span<uint8_t> rgb) {
  std::fill(rgb.begin(), rgb.begin() + 3 * size_t{width}, uint8_t{255});
  const uint32_t quarter = std::max<uint32_t>(height / 4, 1);
  const uint32_t band = row / quarter;
  for (uint32_t x = 0; x < width; ++x) {
    if (band == 0) {  // gray ramp, black at the left
      const auto v = static_cast<uint8_t>(uint64_t{x} * 255 / std::max<uint32_t>(width - 1, 1));
      Put(rgb, x, v, v, v);
    } else if (band == 1) {  // vertical lines 1 px wide, spaced 2, 4, 8, 16 px
      const uint32_t spacing = 2u << std::min<uint64_t>(uint64_t{x} * 4 / width, 3);
      if (x % spacing == 0 || row % 16 == 0) Put(rgb, x, 0, 0, 0);
    } else if (band == 2) {  // eight blocks
      const tagBLOCK &b = kBlocks[std::min<size_t>(uint64_t{x} * 8 / width, 7)];
      if ((row - 2 * quarter) % (quarter / 2 + 1) < quarter / 3) Put(rgb, x, b.r, b.g, b.b);
    } else {  // a ramp per primary
      const auto v = static_cast<uint8_t>(uint64_t{row % quarter} * 255 / quarter);
      const uint32_t third = uint64_t{x} * 3 / width;
      Put(rgb, x, third == 0 ? v : 255, third == 1 ? v : 255, third == 2 ? v : 255);
    }
  }
  // Page marks: squares of 32 px, 16 px apart, near the top right.
  if (row >= 32 && row < 64) {
    for (uint32_t k = 0; k < pageNumber; ++k) {
      const uint64_t right = uint64_t{width} - 32 - 48 * uint64_t{k};
      if (right < 32 + 32) break;
      for (uint64_t x = right - 32; x < right; ++x) Put(rgb, static_cast<uint32_t>(x), 0, 0, 0);
    }
  }
  // A one-pixel frame.
  if (row == 0 || row + 1 == height) {
    for (uint32_t x = 0; x < width; ++x) Put(rgb, x, 0, 0, 0);
  } else if (width > 0) {
    Put(rgb, 0, 0, 0, 0);
    Put(rgb, width - 1, 0, 0, 0);
  }
}

void PhotoLine(uint32_t width, uint32_t height, uint32_t row, std::span<uint8_t> rgb) {
  const uint64_t w = std::max<uint32_t>(width, 1), h = std::max<uint32_t>(height, 1);
  for (uint32_t x = 0; x < width; ++x) {
    // A small hash of the position: noise of -4 to +3 levels.
    uint32_t n = x * 0x9E3779B1u ^ row * 0x85EBCA77u;
    n ^= n >> 15;
    n *= 0x2C1B3C6Du;
    n ^= n >> 12;
    const int noise = static_cast<int>(n & 7) - 4;
    const auto level = [noise](uint64_t v) {
      return static_cast<uint8_t>(std::clamp<int>(static_cast<int>(v) + noise, 0, 255));
    };
    const uint64_t across = uint64_t{x} * 255 / w, down = uint64_t{row} * 255 / h;
    // A soft diagonal wave, so no colour is constant along a row or column.
    const uint64_t wave = (uint64_t{x} + 2 * uint64_t{row}) % 1024;
    const uint64_t tri = wave < 512 ? wave / 2 : (1023 - wave) / 2;
    Put(rgb, x, level((across + tri) / 2), level((down + 255 - across) / 2), level((tri + down) / 2));
  }
}

}  // namespace vraster

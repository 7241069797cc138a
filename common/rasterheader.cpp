// SPDX-License-Identifier: Apache-2.0
#include "rasterheader.h"

#include <bit>
#include <cerrno>
#include <cstring>
#include <string_view>

#include "kt50protocol.h"

namespace {

bool Cancelled(const tagINPUT &in) { return in.cancelled != nullptr && *in.cancelled != 0; }

// The size of a page header in this kind of raster stream.
size_t HeaderSize(const std::array<char, 4> &sync) {
  const std::string_view word(sync.data(), sync.size());
  if (word == "RaSt" || word == "tSaR") return sizeof(cups_page_header_t);
  if (word == "UNIR") return 32;
  return sizeof(cups_page_header2_t);
}

uint32_t Field32(const unsigned char *bytes, size_t at, bool bigEndian) {
  uint32_t v;
  std::memcpy(&v, bytes + at, sizeof v);
  return bigEndian == (std::endian::native == std::endian::big) ? v : __builtin_bswap32(v);
}

// What a whole page header, as it arrives, claims: more than the printer can
// take is refused there, before libcups sizes its buffers from it (it would
// ask for gigabytes). Other faults are found once libcups has read it.
std::string Overclaim(const std::array<char, 4> &sync, const unsigned char *h) {
  const std::string_view word(sync.data(), sync.size());
  uint64_t width, height, lineBytes;
  if (word == "UNIR") {
    width = Field32(h, 12, true);
    height = Field32(h, 16, true);
    lineBytes = width * h[0] / 8;
  } else {
    // The sync word is written in the header's own byte order.
    const bool big = word == "RaSt" || word == "RaS2" || word == "RaS3";
    width = Field32(h, offsetof(cups_page_header2_t, cupsWidth), big);
    height = Field32(h, offsetof(cups_page_header2_t, cupsHeight), big);
    lineBytes = Field32(h, offsetof(cups_page_header2_t, cupsBytesPerLine), big);
  }
  if (width <= kMaxRasterWidth && height <= kMaxRasterHeight &&
      lineBytes <= 3 * uint64_t{kMaxRasterWidth} + kMaxLinePadding)
    return {};
  return "a page of " + std::to_string(width) + " x " + std::to_string(height) + " pixels in lines of " +
         std::to_string(lineBytes) + " bytes is larger than the printer can take (" +
         std::to_string(kMaxRasterWidth) + " x " + std::to_string(kMaxRasterHeight) + " at most)";
}

ssize_t ReadInput(void *ctx, unsigned char *buffer, size_t length) {
  auto &in = *static_cast<tagINPUT *>(ctx);
  ssize_t n = in.read(in.ctx, buffer, length);
  if (in.watching && in.calls == 0 && n > 0 && static_cast<size_t>(n) == length &&
      length == HeaderSize(in.sync)) {
    in.refused = Overclaim(in.sync, buffer);
    if (!in.refused.empty()) {
      in.calls = 1;
      in.firstAsked = length;
      in.firstGot = -1;
      return -1;
    }
  }
  for (ssize_t i = 0; i < n && in.bytesIn + static_cast<uint64_t>(i) < in.sync.size(); ++i)
    in.sync[in.bytesIn + static_cast<uint64_t>(i)] = static_cast<char>(buffer[i]);
  if (n > 0) in.bytesIn += static_cast<uint64_t>(n);
  if (n < 0 && !Cancelled(in) && in.readErrno == 0) in.readErrno = errno ? errno : EIO;
  if (in.watching && in.calls++ == 0) {
    in.firstAsked = length;
    in.firstGot = n;
  }
  return n;
}

// libcups reads a whole page header in one request when nothing of it is
// buffered; a request of exactly that size answered by the end of input is
// the clean end of the job. Any other failure left input unread.
bool CleanEnd(const tagINPUT &in) {
  return in.calls > 0 && in.firstGot == 0 && in.firstAsked == HeaderSize(in.sync);
}

const char *ColorSpaceName(unsigned space) {
  switch (space) {
    case CUPS_CSPACE_W: return "gray (W)";
    case CUPS_CSPACE_RGB: return "RGB";
    case CUPS_CSPACE_K: return "black (K)";
    case CUPS_CSPACE_CMYK: return "CMYK";
    case CUPS_CSPACE_SW: return "sGray";
    case CUPS_CSPACE_SRGB: return "sRGB";
    case CUPS_CSPACE_ADOBERGB: return "AdobeRGB";
    default: return nullptr;
  }
}

bool IsRgbSpace(unsigned space) {
  return space == CUPS_CSPACE_RGB || space == CUPS_CSPACE_SRGB || space == CUPS_CSPACE_ADOBERGB;
}

// The header's enumerated fields as the numbers the input held: a value
// outside the enumeration must not be loaded as one.
unsigned RawField(const void *field) {
  unsigned value;
  std::memcpy(&value, field, sizeof value);
  return value;
}

const char *OrderName(unsigned order) {
  switch (order) {
    case CUPS_ORDER_CHUNKED: return "chunky";
    case CUPS_ORDER_BANDED: return "banded";
    case CUPS_ORDER_PLANAR: return "planar";
    default: return "of unknown order";
  }
}

}  // namespace

bool OpenRasterInput(tagRASTERIN &raster, cups_raster_iocb_t read, void *ctx,
                     const std::atomic<int> *cancelled, std::string &error) {
  raster.in.read = read;
  raster.in.ctx = ctx;
  raster.in.cancelled = cancelled;
  raster.ras = cupsRasterOpenIO(ReadInput, &raster.in, CUPS_RASTER_READ);
  if (raster.ras != nullptr) return true;
  // No byte at all is an empty job; anything else is not raster.
  if (raster.in.readErrno != 0)
    error = std::string("cannot read the input: ") + strerror(raster.in.readErrno);
  else if (raster.in.bytesIn > 0)
    error = "the input is not a CUPS raster stream";
  return false;
}

bool NextHeader(tagRASTERIN &raster, cups_page_header2_t &header, int pageNumber,
                std::string &error) {
  raster.in.watching = true;
  raster.in.calls = 0;
  const bool ok = cupsRasterReadHeader2(raster.ras, &header) != 0;
  raster.in.watching = false;
  if (ok || Cancelled(raster.in)) return ok;
  if (!raster.in.refused.empty())
    error = "page " + std::to_string(pageNumber) + ": " + raster.in.refused;
  else if (raster.in.readErrno != 0)
    error = std::string("cannot read the input: ") + strerror(raster.in.readErrno);
  else if (!CleanEnd(raster.in))
    error = "the page header of page " + std::to_string(pageNumber) +
            " is cut short or cannot be read";
  return false;
}

std::string PageSizeFault(const cups_page_header2_t &h) {
  if (h.cupsWidth > kMaxRasterWidth || h.cupsHeight > kMaxRasterHeight) {
    return "a page of " + std::to_string(h.cupsWidth) + " x " + std::to_string(h.cupsHeight) +
           " pixels is larger than the printer can take (" + std::to_string(kMaxRasterWidth) +
           " x " + std::to_string(kMaxRasterHeight) + " at most)";
  }
  const uint64_t pixelBytes = (uint64_t{h.cupsWidth} * h.cupsBitsPerPixel + 7) / 8;
  if (h.cupsBytesPerLine < pixelBytes || h.cupsBytesPerLine > pixelBytes + kMaxLinePadding) {
    const std::string pixels = h.cupsBitsPerPixel == 24
                                   ? " RGB pixels"
                                   : " pixels of " + std::to_string(h.cupsBitsPerPixel) + " bits";
    return "the raster's lines of " + std::to_string(h.cupsBytesPerLine) + " bytes do not hold " +
           std::to_string(h.cupsWidth) + pixels;
  }
  return {};
}

std::string HeaderFault(const cups_page_header2_t &h) {
  static_assert(sizeof h.cupsColorSpace == sizeof(unsigned) && sizeof h.cupsColorOrder == sizeof(unsigned));
  const unsigned space = RawField(&h.cupsColorSpace), order = RawField(&h.cupsColorOrder);
  if (!IsRgbSpace(space) || h.cupsBitsPerColor != 8 || h.cupsBitsPerPixel != 24 ||
      order != CUPS_ORDER_CHUNKED) {
    const char *name = ColorSpaceName(space);
    return "the raster is " + (name ? std::string(name) : "colour space " + std::to_string(space)) +
           ", " + std::to_string(h.cupsBitsPerColor) + " bits per colour, " +
           std::to_string(h.cupsBitsPerPixel) + " bits per pixel, " + OrderName(order) +
           "; the printer's queue must send RGB, 8 bits per colour, 24 bits per pixel, chunky";
  }
  return PageSizeFault(h);
}

// SPDX-License-Identifier: Apache-2.0
#include "image.h"

#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>

namespace vres {
namespace {

constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kInfoHeaderSize = 40;
// No resolution: readers then take one pixel as one point, so a 120 x 90
// picture is shown at 120 x 90 points (72 dpi rounded to 2835/m is not).
constexpr int32_t kPixelsPerMetreUnset = 0;
// Guards against headers that claim absurd sizes.
constexpr int64_t kMaxPixels = 64 * 1024 * 1024;

void Put16(Bytes &out, uint32_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}
void Put32(Bytes &out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}
uint32_t Get16(std::span<const uint8_t> b, size_t at) { return b[at] | (uint32_t(b[at + 1]) << 8); }
uint32_t Get32(std::span<const uint8_t> b, size_t at) { return Get16(b, at) | (Get16(b, at + 2) << 16); }

size_t RowStride(int width, int bits) { return ((size_t(width) * bits + 31) / 32) * 4; }

void PutInfoHeader(Bytes &out, int width, int height, int bits, uint32_t imageBytes, uint32_t colours) {
  Put32(out, kInfoHeaderSize);
  Put32(out, uint32_t(width));
  Put32(out, uint32_t(height));
  Put16(out, 1);  // planes
  Put16(out, uint32_t(bits));
  Put32(out, 0);  // no compression
  Put32(out, imageBytes);
  Put32(out, kPixelsPerMetreUnset);
  Put32(out, kPixelsPerMetreUnset);
  Put32(out, colours);
  Put32(out, colours);
}

Bytes StartBmp(const RgbImage &image, int bits, uint32_t paletteBytes) {
  const uint32_t imageBytes = uint32_t(RowStride(image.width, bits) * image.height);
  const uint32_t offset = kFileHeaderSize + kInfoHeaderSize + paletteBytes;
  Bytes out;
  out.reserve(offset + imageBytes);
  out.push_back('B');
  out.push_back('M');
  Put32(out, offset + imageBytes);
  Put32(out, 0);
  Put32(out, offset);
  PutInfoHeader(out, image.width, image.height, bits, imageBytes, paletteBytes / 4);
  return out;
}

}  // namespace

Bytes EncodeBmp24(const RgbImage &image) {
  Bytes out = StartBmp(image, 24, 0);
  const size_t pad = RowStride(image.width, 24) - size_t(image.width) * 3;
  for (int y = image.height - 1; y >= 0; --y) {
    for (int x = 0; x < image.width; ++x) {
      const Rgb &c = image.at(x, y);
      out.insert(out.end(), {c.b, c.g, c.r});
    }
    out.insert(out.end(), pad, 0);
  }
  return out;
}

Bytes EncodeBmp1(const RgbImage &image) {
  Bytes out = StartBmp(image, 1, 8);
  Put32(out, 0x00000000);  // index 0: black
  Put32(out, 0x00FFFFFF);  // index 1: white
  const size_t stride = RowStride(image.width, 1);
  for (int y = image.height - 1; y >= 0; --y) {
    Bytes row(stride, 0);
    for (int x = 0; x < image.width; ++x)
      if (image.at(x, y) == kWhite) row[size_t(x) / 8] |= uint8_t(0x80 >> (x % 8));
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

std::optional<RgbImage> DecodeBmp(std::span<const uint8_t> b) {
  if (b.size() < kFileHeaderSize + kInfoHeaderSize || b[0] != 'B' || b[1] != 'M') return std::nullopt;
  const uint32_t offset = Get32(b, 10);
  const uint32_t infoSize = Get32(b, 14);
  const int32_t width = int32_t(Get32(b, 18));
  const int32_t rawHeight = int32_t(Get32(b, 22));
  const uint32_t bits = Get16(b, 28);
  const uint32_t compression = Get32(b, 30);
  if (infoSize < kInfoHeaderSize || compression != 0 || (bits != 24 && bits != 1)) return std::nullopt;
  if (width <= 0 || rawHeight == 0 || rawHeight == std::numeric_limits<int32_t>::min()) return std::nullopt;
  const bool bottomUp = rawHeight > 0;
  const int32_t height = bottomUp ? rawHeight : -rawHeight;
  if (int64_t(width) * height > kMaxPixels) return std::nullopt;
  const size_t stride = RowStride(width, int(bits));
  if (offset > b.size() || b.size() - offset < stride * size_t(height)) return std::nullopt;

  Rgb palette[2] = {kBlack, kWhite};
  if (bits == 1) {
    const size_t paletteAt = kFileHeaderSize + infoSize;
    if (paletteAt > offset || offset - paletteAt < 8) return std::nullopt;
    for (int i = 0; i < 2; ++i) {
      const size_t at = paletteAt + 4 * size_t(i);
      palette[i] = Rgb{b[at + 2], b[at + 1], b[at]};
    }
  }
  RgbImage image(width, height);
  for (int32_t row = 0; row < height; ++row) {
    const uint8_t *src = b.data() + offset + stride * size_t(row);
    const int y = bottomUp ? height - 1 - row : row;
    for (int x = 0; x < width; ++x) {
      if (bits == 24)
        image.at(x, y) = Rgb{src[3 * x + 2], src[3 * x + 1], src[3 * x]};
      else
        image.at(x, y) = palette[(src[x / 8] >> (7 - x % 8)) & 1];
    }
  }
  return image;
}

Bytes EncodeIco(const RgbaImage &image) {
  const size_t maskStride = RowStride(image.width, 1);
  const uint32_t pixelBytes = uint32_t(size_t(image.width) * image.height * 4);
  const uint32_t maskBytes = uint32_t(maskStride * image.height);
  const uint32_t resBytes = kInfoHeaderSize + pixelBytes + maskBytes;
  Bytes out;
  Put16(out, 0);  // reserved
  Put16(out, 1);  // icon
  Put16(out, 1);  // one image
  out.push_back(uint8_t(image.width >= 256 ? 0 : image.width));
  out.push_back(uint8_t(image.height >= 256 ? 0 : image.height));
  out.push_back(0);  // no palette
  out.push_back(0);
  Put16(out, 1);   // planes
  Put16(out, 32);  // bits
  Put32(out, resBytes);
  Put32(out, 22);  // the image follows the directory
  // The image's header counts the colour rows and the mask rows.
  PutInfoHeader(out, image.width, image.height * 2, 32, pixelBytes + maskBytes, 0);
  for (int y = image.height - 1; y >= 0; --y)
    for (int x = 0; x < image.width; ++x) {
      const uint8_t *p = &image.rgba[(size_t(y) * image.width + x) * 4];
      out.insert(out.end(), {p[2], p[1], p[0], p[3]});
    }
  for (int y = image.height - 1; y >= 0; --y) {
    Bytes row(maskStride, 0);
    for (int x = 0; x < image.width; ++x)
      if (image.rgba[(size_t(y) * image.width + x) * 4 + 3] == 0) row[size_t(x) / 8] |= uint8_t(0x80 >> (x % 8));
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

std::optional<RgbaImage> DecodeIco(std::span<const uint8_t> b) {
  if (b.size() < 22 || Get16(b, 0) != 0 || Get16(b, 2) != 1 || Get16(b, 4) < 1) return std::nullopt;
  const uint32_t resBytes = Get32(b, 14);
  const uint32_t at = Get32(b, 18);
  if (at > b.size() || b.size() - at < resBytes || resBytes < kInfoHeaderSize) return std::nullopt;
  const auto res = b.subspan(at, resBytes);
  const int32_t width = int32_t(Get32(res, 4));
  const int32_t doubleHeight = int32_t(Get32(res, 8));
  if (Get32(res, 0) != kInfoHeaderSize || Get16(res, 14) != 32 || Get32(res, 16) != 0) return std::nullopt;
  if (width <= 0 || width > 256 || doubleHeight <= 0 || doubleHeight > 512 || doubleHeight % 2) return std::nullopt;
  const int height = doubleHeight / 2;
  const size_t pixelBytes = size_t(width) * height * 4;
  if (res.size() - kInfoHeaderSize < pixelBytes + RowStride(width, 1) * height) return std::nullopt;
  RgbaImage image{width, height, std::vector<uint8_t>(pixelBytes)};
  for (int row = 0; row < height; ++row)
    for (int x = 0; x < width; ++x) {
      const uint8_t *src = res.data() + kInfoHeaderSize + (size_t(row) * width + x) * 4;
      uint8_t *dst = &image.rgba[(size_t(height - 1 - row) * width + x) * 4];
      dst[0] = src[2];
      dst[1] = src[1];
      dst[2] = src[0];
      dst[3] = src[3];
    }
  return image;
}

Bytes EncodePpm(const RgbImage &image) {
  const std::string head = "P6\n" + std::to_string(image.width) + " " + std::to_string(image.height) + "\n255\n";
  Bytes out(head.begin(), head.end());
  for (const Rgb &c : image.pixels) out.insert(out.end(), {c.r, c.g, c.b});
  return out;
}

namespace {

// Reads the next decimal field of a PPM header, skipping blanks and comments.
std::optional<int> PpmField(std::span<const uint8_t> b, size_t &at) {
  for (;;) {
    while (at < b.size() && std::strchr(" \t\r\n", b[at]) && b[at]) ++at;
    if (at < b.size() && b[at] == '#') {
      while (at < b.size() && b[at] != '\n') ++at;
      continue;
    }
    break;
  }
  int64_t value = 0;
  const size_t start = at;
  while (at < b.size() && b[at] >= '0' && b[at] <= '9' && value <= 1'000'000) value = value * 10 + (b[at++] - '0');
  if (at == start || value > 1'000'000) return std::nullopt;
  return int(value);
}

}  // namespace

std::optional<RgbImage> DecodePpm(std::span<const uint8_t> b) {
  if (b.size() < 2 || b[0] != 'P' || b[1] != '6') return std::nullopt;
  size_t at = 2;
  const auto w = PpmField(b, at), h = PpmField(b, at), maxval = PpmField(b, at);
  if (!w || !h || !maxval || *w <= 0 || *h <= 0 || *maxval != 255) return std::nullopt;
  if (int64_t(*w) * *h > kMaxPixels || at >= b.size()) return std::nullopt;
  ++at;  // the single blank after maxval
  if (b.size() - at < size_t(*w) * *h * 3) return std::nullopt;
  RgbImage image(*w, *h);
  for (size_t i = 0; i < image.pixels.size(); ++i)
    image.pixels[i] = Rgb{b[at + 3 * i], b[at + 3 * i + 1], b[at + 3 * i + 2]};
  return image;
}

std::optional<Bytes> ReadFile(const std::string &path) {
  std::unique_ptr<FILE, int (*)(FILE *)> f(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!f) return std::nullopt;
  Bytes out;
  uint8_t chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f.get())) > 0) out.insert(out.end(), chunk, chunk + n);
  if (std::ferror(f.get())) return std::nullopt;
  return out;
}

bool WriteFile(const std::string &path, std::span<const uint8_t> bytes) {
  FILE *f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool wrote = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return (std::fclose(f) == 0) && wrote;
}

}  // namespace vres

// The image decoder on pictures written here with libpng and libjpeg (every PNG colour type and depth,
// JPEG colour spaces within the loss of quality 100, resolutions) and on hostile files.
#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <cstdio>
#include <jpeglib.h>  // after <cstdio>: it needs FILE declared

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <random>
#include <tuple>

#include "image_decode.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Decoded { bool ok = false; tagDECODEDIMAGE image; std::string error; };

Decoded Decode(std::span<const uint8_t> bytes) {
  Decoded d;
  d.ok = DecodeImage(bytes, d.image, d.error);
  return d;
}
void WriteFile(const std::string &path, std::span<const uint8_t> bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char *>(bytes.data()), bytes.size());
}

int MaxDifference(const Bytes &a, const Bytes &b) {
  int most = a.size() == b.size() ? 0 : 256;
  for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) most = std::max(most, std::abs(a[i] - b[i]));
  return most;
}
constexpr uint32_t kW = 37, kH = 21;  // odd, so interlace passes end part-way

struct PngCase {
  const char *name;
  int type, depth;
  bool interlaced = false, trns = false;
  png_uint_32 ppm = 0; int unit = PNG_RESOLUTION_METER; uint32_t ppi = 0;  // pHYs (0: none); ppi expected
};

uint8_t OverWhite(unsigned v, unsigned a) { return uint8_t((v * a + 255 * (255 - a) + 127) / 255); }

// A random picture as the file holds it: rows of random samples packed to the
// file's depth, a random palette with alpha, pixel 0's colour as the tRNS key;
// and the RGB the decoder must make of it over white.
struct PngPicture {
  size_t rowBytes;
  Bytes rows, alpha, rgb;
  std::vector<png_color> palette;
  png_color_16 key{};
};

PngPicture RandomPicture(const PngCase &c, unsigned seed) {
  std::mt19937 random(seed);
  const int t = c.type, d = c.depth;
  const bool indexed = t == PNG_COLOR_TYPE_PALETTE;
  const int n = indexed ? 1 : (t & PNG_COLOR_MASK_COLOR ? 3 : 1) + (t & PNG_COLOR_MASK_ALPHA ? 1 : 0);
  PngPicture p{(size_t{kW} * n * d + 7) / 8, {}, {}, {}, {}};
  for (size_t i = 0; i < p.rowBytes * kH; ++i) p.rows.push_back(uint8_t(random()));
  for (int i = 0; indexed && i < 1 << d; ++i) {
    p.palette.push_back({png_byte(random()), png_byte(random()), png_byte(random())});
    p.alpha.push_back(png_byte(random()));
  }
  const unsigned max = (1u << d) - 1;
  const auto to8 = [max](unsigned v) { return png_byte((v * 255 + max / 2) / max); };
  std::vector<unsigned> s;  // every pixel's samples
  for (size_t i = 0; i < size_t{kW} * kH * n; ++i) {
    const uint8_t *row = &p.rows[i / (kW * n) * p.rowBytes];
    const size_t at = i % (kW * n);
    s.push_back(d == 16 ? row[2 * at] << 8 | row[2 * at + 1] : row[at * d / 8] >> (8 - d - at * d % 8) & max);
  }
  p.key = {0, png_uint_16(s[0]), png_uint_16(s[n / 3]), png_uint_16(s[n - 1]), png_uint_16(s[0])};
  for (auto v = s.begin(); v != s.end(); v += n) {
    const png_color gray = {to8(v[0]), to8(v[n / 3]), to8(v[n / 3 * 2])};
    const png_color colour = indexed ? p.palette[v[0]] : gray;
    unsigned a = n % 2 == 0 ? to8(v[n - 1]) : 255;
    if (c.trns) a = indexed ? p.alpha[v[0]] : std::equal(v, v + n, s.begin()) ? 0 : 255;
    for (const unsigned value : {colour.red, colour.green, colour.blue}) p.rgb.push_back(OverWhite(value, a));
  }
  return p;
}

Bytes WritePng(const PngCase &c, const PngPicture &p) {
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(png, &out, [](png_structp w, png_bytep data, size_t n) {
    auto &bytes = *static_cast<Bytes *>(png_get_io_ptr(w));
    bytes.insert(bytes.end(), data, data + n);
  }, nullptr);
  png_set_IHDR(png, info, kW, kH, c.depth, c.type, c.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!p.palette.empty()) png_set_PLTE(png, info, p.palette.data(), static_cast<int>(p.palette.size()));
  if (c.trns) png_set_tRNS(png, info, p.alpha.data(), static_cast<int>(p.alpha.size()), &p.key);
  if (c.ppm) png_set_pHYs(png, info, c.ppm, c.ppm, c.unit);
  png_write_info(png, info);
  for (int pass = png_set_interlace_handling(png); pass > 0; --pass)
    for (uint32_t y = 0; y < kH; ++y) png_write_row(png, &p.rows[y * p.rowBytes]);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

struct JpegCase {
  const char *name;
  J_COLOR_SPACE input, stored;
  bool progressive = false, adobe = true;  // adobe: CMYK stored inverted, marked so
  UINT8 unit = 0; UINT16 density = 1; uint32_t ppi = 0;  // JFIF density; ppi expected
};

constexpr uint32_t kJW = 64, kJH = 32;  // 4 x 2 blocks of 16 x 16 pixels

// Block colours are four bytes each: gray, RGB or CMYK ink, as the input has.
const uint8_t *Block(const Bytes &c, uint32_t x, uint32_t y) { return &c[(y / 16 * 4 + x / 16) * 4]; }
int Components(J_COLOR_SPACE input) { return input == JCS_GRAYSCALE ? 1 : input == JCS_RGB ? 3 : 4; }

Bytes WriteJpeg(const JpegCase &c, const Bytes &colours) {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr errors{};
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_compress(&cinfo);
  unsigned char *buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  const int n = Components(c.input);
  cinfo.image_width = kJW, cinfo.image_height = kJH;
  cinfo.input_components = n, cinfo.in_color_space = c.input;
  jpeg_set_defaults(&cinfo);
  jpeg_set_colorspace(&cinfo, c.stored);
  for (int i = 0; i < n; ++i) cinfo.comp_info[i].h_samp_factor = cinfo.comp_info[i].v_samp_factor = 1;
  jpeg_set_quality(&cinfo, 100, TRUE);
  if (c.progressive) jpeg_simple_progression(&cinfo);
  if (n == 4) cinfo.write_Adobe_marker = c.adobe;
  cinfo.density_unit = c.unit, cinfo.X_density = cinfo.Y_density = c.density;
  jpeg_start_compress(&cinfo, TRUE);
  Bytes row(kJW * n);
  for (JSAMPROW r = row.data(); cinfo.next_scanline < kJH; jpeg_write_scanlines(&cinfo, &r, 1))
    for (uint32_t x = 0; x < kJW * n; ++x) {
      const uint8_t v = Block(colours, x / n, cinfo.next_scanline)[x % n];
      row[x] = n == 4 && c.adobe ? 255 - v : v;
    }
  jpeg_finish_compress(&cinfo);
  Bytes out(buffer, buffer + size);
  std::free(buffer);
  jpeg_destroy_compress(&cinfo);
  return out;
}

// Gray, RGB, or r = 255 - min(255, c + k) from the blocks' ink.
Bytes ExpectedJpeg(const JpegCase &c, const Bytes &colours) {
  Bytes rgb;
  for (uint32_t i = 0, n = Components(c.input); i < kJW * kJH * 3; ++i) {
    const uint8_t *v = Block(colours, i / 3 % kJW, i / 3 / kJW);
    rgb.push_back(uint8_t(n == 4 ? 255 - std::min(255, v[i % 3] + v[3]) : v[n == 3 ? i % 3 : 0]));
  }
  return rgb;
}
const PngCase kSamplePng{"", PNG_COLOR_TYPE_RGBA, 16, true};
Bytes SamplePng() { return WritePng(kSamplePng, RandomPicture(kSamplePng, 3)); }
Bytes SampleJpeg() { return WriteJpeg({"", JCS_RGB, JCS_YCbCr, true}, Bytes(4 * 8, 90)); }

// A file whose header claims another size: the PNG's IHDR (with its CRC), the JPEG's SOF.
Bytes Claiming(Bytes file, uint32_t width, uint32_t height) {
  const auto put = [&file](size_t at, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) file[at + i] = uint8_t(v >> 8 * (bytes - 1 - i));
  };
  size_t at = 2;  // JPEG: the SOF segment
  while (file[0] != 0x89 && file[at + 1] != 0xC0 && file[at + 1] != 0xC2)
    at += 2 + (file[at + 2] << 8 | file[at + 3]);
  if (file[0] == 0x89) put(16, width, 4), put(20, height, 4), put(29, crc32(0, &file[12], 17), 4);
  else put(at + 5, height, 2), put(at + 7, width, 2);
  return file;
}

TEST(ImageDecode, PngVariantsMatchTheirPixels) {
  const PngCase cases[] = {
      {"gray 1", PNG_COLOR_TYPE_GRAY, 1},
      {"gray 2, 600 dpi", PNG_COLOR_TYPE_GRAY, 2, false, false, 23622, PNG_RESOLUTION_METER, 600},
      {"gray 4, interlaced", PNG_COLOR_TYPE_GRAY, 4, true},
      {"gray 8, tRNS", PNG_COLOR_TYPE_GRAY, 8, false, true},
      {"gray 16, interlaced, tRNS", PNG_COLOR_TYPE_GRAY, 16, true, true},
      {"palette 1", PNG_COLOR_TYPE_PALETTE, 1},
      {"palette 2, interlaced, tRNS", PNG_COLOR_TYPE_PALETTE, 2, true, true},
      {"palette 4, tRNS", PNG_COLOR_TYPE_PALETTE, 4, false, true},
      {"palette 8, interlaced", PNG_COLOR_TYPE_PALETTE, 8, true},
      {"RGB 8, interlaced, tRNS, 72 dpi", PNG_COLOR_TYPE_RGB, 8, true, true, 2835, PNG_RESOLUTION_METER, 72},
      {"RGB 16, tRNS, pHYs of no unit", PNG_COLOR_TYPE_RGB, 16, false, true, 2835, PNG_RESOLUTION_UNKNOWN},
      {"gray+alpha 8", PNG_COLOR_TYPE_GRAY_ALPHA, 8},
      {"gray+alpha 16, interlaced", PNG_COLOR_TYPE_GRAY_ALPHA, 16, true},
      {"RGBA 8, interlaced", PNG_COLOR_TYPE_RGBA, 8, true},
      {"RGBA 16", PNG_COLOR_TYPE_RGBA, 16},
  };
  unsigned seed = 50;
  for (const PngCase &c : cases) {
    SCOPED_TRACE(c.name);
    const PngPicture picture = RandomPicture(c, ++seed);
    const Decoded d = Decode(WritePng(c, picture));
    ASSERT_TRUE(d.ok) << d.error;
    EXPECT_EQ(std::tie(d.image.width, d.image.height, d.image.ppi), std::tie(kW, kH, c.ppi));
    EXPECT_EQ(MaxDifference(d.image.rgb, picture.rgb), 0);
  }
}

TEST(ImageDecode, JpegColourSpacesWithinTheLossOfQuality100) {
  const JpegCase cases[] = {
      {"gray, 300 dpi", JCS_GRAYSCALE, JCS_GRAYSCALE, false, true, 1, 300, 300},
      {"YCbCr, 118 per cm", JCS_RGB, JCS_YCbCr, false, true, 2, 118, 300},
      {"YCbCr, progressive, aspect ratio only", JCS_RGB, JCS_YCbCr, true, true, 0, 1, 0},
      {"RGB", JCS_RGB, JCS_RGB},
      {"CMYK, Adobe", JCS_CMYK, JCS_CMYK},
      {"CMYK, no Adobe marker", JCS_CMYK, JCS_CMYK, false, false},
      {"YCCK, progressive", JCS_CMYK, JCS_YCCK, true},
  };
  std::mt19937 random(51);
  for (const JpegCase &c : cases) {
    SCOPED_TRACE(c.name);
    Bytes colours(4 * 8);  // ink up to 127, so that sums rarely saturate
    for (uint8_t &v : colours) v = uint8_t(random() % (c.input == JCS_CMYK ? 128 : 256));
    const Decoded d = Decode(WriteJpeg(c, colours));
    ASSERT_TRUE(d.ok) << d.error;
    EXPECT_EQ(std::tie(d.image.width, d.image.height, d.image.ppi), std::tie(kJW, kJH, c.ppi));
    EXPECT_LE(MaxDifference(d.image.rgb, ExpectedJpeg(c, colours)), 3);
  }
}

// Some cuts also as files, which the decoder streams instead.
TEST(ImageDecode, CutAndFlippedFilesEndQuickly) {
  const auto start = std::chrono::steady_clock::now();
  const std::string path = testing::TempDir() + "image_decode_test.img";
  std::mt19937 random(7);
  tagDECODEDIMAGE image;
  std::string error;
  for (const Bytes &file : {SamplePng(), SampleJpeg()}) {
    WriteFile(path, file);
    ASSERT_TRUE(DecodeImageFile(path.c_str(), image, error)) << error;
    EXPECT_TRUE(image.rgb == Decode(file).image.rgb && image.ppi == Decode(file).image.ppi);
    for (size_t length = 0; length < file.size(); length += file.size() > 8192 ? 7 : 1) {
      const bool asFile = length % 29 == 0;  // files are slow to write
      if (asFile) WriteFile(path, {file.data(), length});
      if (const Decoded d = Decode({file.data(), length}); d.ok || d.error.empty() ||
          (asFile && (DecodeImageFile(path.c_str(), image, error) || error != d.error))) {
        ADD_FAILURE() << "cut at " << length << " of " << file.size() << " bytes: '" << d.error << "'";
        break;
      }
    }
    for (int i = 0; i < 300; ++i) {
      Bytes flipped = file;
      for (int k = 0; k <= i % 3; ++k) flipped[random() % flipped.size()] ^= uint8_t(1u << random() % 8);
      const Decoded d = Decode(flipped);
      EXPECT_EQ(d.image.rgb.size(), d.ok ? size_t{3} * d.image.width * d.image.height : 0);
      EXPECT_EQ(d.error.empty(), d.ok);
    }
  }
  std::remove(path.c_str());
  EXPECT_FALSE(DecodeImageFile(path.c_str(), image, error));
  EXPECT_EQ(error, "The document cannot be read (No such file or directory).");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

// A size refused after allocating would have met the missing data first, and said so instead.
TEST(ImageDecode, RefusalsNameTheirReason) {
  const Bytes png = SamplePng(), jpeg = SampleJpeg();
  const char *larger = "image is larger than 16384 x 16384 pixels.", *more = "more than 64 Mi pixels";
  const std::tuple<const char *, Bytes, const char *> cases[] = {
      {"empty", {}, "The document is empty."},
      {"GIF", {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0}, "The document is neither a PNG nor a JPEG image."},
      {"PNG 100000 x 100000", Claiming(png, 100000, 100000), larger},
      {"PNG 16385 x 1", Claiming(png, 16385, 1), larger},
      {"PNG 8193 x 8193", Claiming(png, 8193, 8193), more},
      {"PNG 0 x 21", Claiming(png, 0, 21), "The PNG image is damaged ("},
      {"JPEG 65535 x 65535", Claiming(jpeg, 65535, 65535), larger},
      {"JPEG 16385 x 1", Claiming(jpeg, 16385, 1), larger},
  };
  for (const auto &[name, bytes, reason] : cases) {
    const Decoded d = Decode(bytes);
    EXPECT_FALSE(d.ok) << name;
    EXPECT_NE(d.error.find(reason), std::string::npos) << name << ": " << d.error;
  }
}

}  // namespace

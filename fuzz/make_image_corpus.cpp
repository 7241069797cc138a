// Writes the image harness's seed corpus: tiny PNGs of each colour type
// and JPEGs of each colour space and coding, a few hundred bytes each.
//   vantrex-fuzz-image-corpus OUTDIR
#include <png.h>

#include <cstdio>
// After <cstdio>: jpeglib.h needs FILE declared.
#include <jpeglib.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
constexpr unsigned kWidth = 11, kHeight = 7;

void Write(const fs::path &path, const Bytes &bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char *>(bytes.data()),
                                             static_cast<std::streamsize>(bytes.size()));
}

// Diagonal ramps, a different one per channel, packed to the depth.
Bytes PngRow(unsigned y, int channels, int depth) {
  Bytes row((kWidth * channels * depth + 7) / 8);
  for (unsigned i = 0; i < kWidth * channels; ++i) {
    const unsigned v = (i * 7 + y * 13) % (1u << depth);
    if (depth == 16) row[2 * i] = static_cast<uint8_t>(v >> 8), row[2 * i + 1] = static_cast<uint8_t>(v);
    else row[i * depth / 8] |= static_cast<uint8_t>(v << (8 - depth - i * depth % 8));
  }
  return row;
}

Bytes Png(int type, int depth, int channels, bool interlaced, bool trns) {
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(png, &out, [](png_structp p, png_bytep data, size_t n) {
    auto &bytes = *static_cast<Bytes *>(png_get_io_ptr(p));
    bytes.insert(bytes.end(), data, data + n);
  }, nullptr);
  png_set_IHDR(png, info, kWidth, kHeight, depth, type, interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  std::vector<png_color> palette;
  Bytes alpha;
  for (int i = 0; type == PNG_COLOR_TYPE_PALETTE && i < 1 << depth; ++i) {
    palette.push_back({png_byte(i * 40), png_byte(255 - i * 20), png_byte(i * 90)});
    alpha.push_back(static_cast<uint8_t>(i * 17));
  }
  if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
  png_color_16 key{0, 7, 7, 7, 7};
  if (trns) png_set_tRNS(png, info, alpha.data(), static_cast<int>(alpha.size()), &key);
  png_set_pHYs(png, info, 11811, 11811, PNG_RESOLUTION_METER);
  png_write_info(png, info);
  const int passes = png_set_interlace_handling(png);
  for (int pass = 0; pass < passes; ++pass)
    for (unsigned y = 0; y < kHeight; ++y) png_write_row(png, PngRow(y, channels, depth).data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

struct JpegKind {
  J_COLOR_SPACE input, stored;
  bool progressive = false, arithmetic = false, restarts = false;
};

Bytes Jpeg(const JpegKind &kind) {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr errors{};
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_compress(&cinfo);
  unsigned char *buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  const int n = kind.input == JCS_GRAYSCALE ? 1 : kind.input == JCS_RGB ? 3 : 4;
  cinfo.image_width = kWidth, cinfo.image_height = kHeight;
  cinfo.input_components = n, cinfo.in_color_space = kind.input;
  jpeg_set_defaults(&cinfo);
  jpeg_set_colorspace(&cinfo, kind.stored);
  jpeg_set_quality(&cinfo, 60, TRUE);
  if (kind.progressive) jpeg_simple_progression(&cinfo);
  cinfo.arith_code = kind.arithmetic;
  cinfo.restart_interval = kind.restarts ? 1 : 0;
  cinfo.density_unit = 1, cinfo.X_density = cinfo.Y_density = 300;
  jpeg_start_compress(&cinfo, TRUE);
  Bytes row(kWidth * n);
  for (JSAMPROW r = row.data(); cinfo.next_scanline < kHeight; jpeg_write_scanlines(&cinfo, &r, 1))
    for (unsigned i = 0; i < row.size(); ++i) row[i] = uint8_t(i * 23 + cinfo.next_scanline * 31);
  jpeg_finish_compress(&cinfo);
  Bytes out(buffer, buffer + size);
  std::free(buffer);
  jpeg_destroy_compress(&cinfo);
  return out;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: vantrex-fuzz-image-corpus OUTDIR\n");
    return 2;
  }
  const fs::path out = argv[1];
  fs::create_directories(out);
  Write(out / "gray-1bit.png", Png(PNG_COLOR_TYPE_GRAY, 1, 1, false, false));
  Write(out / "gray-16bit-interlaced-trns.png", Png(PNG_COLOR_TYPE_GRAY, 16, 1, true, true));
  Write(out / "palette-4bit-interlaced-trns.png", Png(PNG_COLOR_TYPE_PALETTE, 4, 1, true, true));
  Write(out / "gray-alpha-8bit.png", Png(PNG_COLOR_TYPE_GRAY_ALPHA, 8, 2, false, false));
  Write(out / "rgb-8bit-trns.png", Png(PNG_COLOR_TYPE_RGB, 8, 3, false, true));
  Write(out / "rgba-16bit-interlaced.png", Png(PNG_COLOR_TYPE_RGBA, 16, 4, true, false));
  Write(out / "gray.jpg", Jpeg({JCS_GRAYSCALE, JCS_GRAYSCALE}));
  Write(out / "ycbcr-restarts.jpg", Jpeg({JCS_RGB, JCS_YCbCr, false, false, true}));
  Write(out / "ycbcr-progressive.jpg", Jpeg({JCS_RGB, JCS_YCbCr, true}));
  Write(out / "ycbcr-arithmetic.jpg", Jpeg({JCS_RGB, JCS_YCbCr, false, true}));
  Write(out / "rgb.jpg", Jpeg({JCS_RGB, JCS_RGB}));
  Write(out / "cmyk.jpg", Jpeg({JCS_CMYK, JCS_CMYK}));
  Write(out / "ycck-progressive.jpg", Jpeg({JCS_CMYK, JCS_YCCK, true}));
  return 0;
}

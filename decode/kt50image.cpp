// SPDX-License-Identifier: Apache-2.0
// Page pictures. Rows go straight from the page bitmap to the file: PBM keeps
// the bitmap's own bit order (1 = black), PNG's 1-bit gray wants 0 = black,
// so its rows are inverted on the way.
#include "kt50image.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace kt50 {
namespace {

struct FileCloser {
  void operator()(std::FILE *file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

size_t RowBytes(const Page &page) { return static_cast<size_t>(page.width + 7) / 8; }

// Bits of the last byte of a row that lie inside the page.
uint8_t LastByteMask(const Page &page) {
  const int used = page.width % 8;
  return used == 0 ? 0xFF : static_cast<uint8_t>(0xFF << (8 - used));
}

bool Finish(File file, const std::string &path, std::string &error) {
  const bool written = std::ferror(file.get()) == 0;
  const int closed = std::fclose(file.release());
  if (written && closed == 0) return true;
  error = path + ": " + std::strerror(errno);
  return false;
}

bool WritePbm(const Page &page, std::FILE *file) {
  std::fprintf(file, "P4\n%d %d\n", page.width, page.height);
  const size_t rowBytes = RowBytes(page);
  const uint8_t mask = LastByteMask(page);
  std::vector<uint8_t> row(rowBytes);
  for (int y = 0; y < page.height; ++y) {
    const uint8_t *src = page.bitmap.data() + static_cast<size_t>(y) * kPageBitmapRowBytes;
    std::memcpy(row.data(), src, rowBytes);
    row[rowBytes - 1] &= mask;
    if (std::fwrite(row.data(), 1, rowBytes, file) != rowBytes) return false;
  }
  return true;
}

// libpng reports errors by longjmp, so nothing with a destructor may be
// created between setjmp and the end of this function.
bool WritePng(const Page &page, std::FILE *file, std::vector<uint8_t> &row,
              std::string &pngError) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &pngError,
                                            [](png_structp p, png_const_charp message) {
                                              *static_cast<std::string *>(png_get_error_ptr(p)) =
                                                  message;
                                              png_longjmp(p, 1);
                                            },
                                            nullptr);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, info ? &info : nullptr);
    return false;
  }
  png_init_io(png, file);
  // Halftoned pages barely compress; the fastest level is about three times
  // quicker than the default and its files only a few percent larger.
  png_set_compression_level(png, 1);
  png_set_IHDR(png, info, static_cast<png_uint_32>(page.width),
               static_cast<png_uint_32>(page.height), 1, PNG_COLOR_TYPE_GRAY,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  const size_t rowBytes = row.size();
  const uint8_t mask = LastByteMask(page);
  for (int y = 0; y < page.height; ++y) {
    const uint8_t *src = page.bitmap.data() + static_cast<size_t>(y) * kPageBitmapRowBytes;
    for (size_t i = 0; i < rowBytes; ++i) row[i] = static_cast<uint8_t>(~src[i]);
    row[rowBytes - 1] |= static_cast<uint8_t>(~mask);  // padding white
    png_write_row(png, row.data());
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool WritePageImage(const Page &page, ImageFormat format, const std::string &path,
                    std::string &error) {
  if (page.width < 1 || page.height < 1 ||
      page.bitmap.size() < static_cast<size_t>(page.height) * kPageBitmapRowBytes ||
      page.width > kPageBitmapWidth) {
    error = path + ": page has no placed bitmap";
    return false;
  }
  File file(std::fopen(path.c_str(), "wb"));
  if (!file) {
    error = path + ": " + std::strerror(errno);
    return false;
  }
  bool ok;
  if (format == ImageFormat::Pbm) {
    ok = WritePbm(page, file.get());
  } else {
    std::vector<uint8_t> row(RowBytes(page));
    std::string pngError;
    ok = WritePng(page, file.get(), row, pngError);
    if (!ok && !pngError.empty()) {
      error = path + ": " + pngError;
      return false;
    }
  }
  if (!ok) {
    error = path + ": " + std::strerror(errno);
    return false;
  }
  return Finish(std::move(file), path, error);
}

}  // namespace kt50

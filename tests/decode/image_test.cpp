// SPDX-License-Identifier: Apache-2.0
// Page pictures read back: PNG through libpng, PBM by hand.
#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <memory>

#include "kt50image.h"
#include "kt50stream.h"
#include "stream_builder.h"

namespace {

struct Picture {
  int width = 0, height = 0;
  int bitDepth = 0, colorType = -1;
  std::vector<std::vector<bool>> black;  // [y][x]
};

Picture ReadPng(const std::string &path) {
  Picture picture;
  std::unique_ptr<std::FILE, int (*)(std::FILE *)> file(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!file) return picture;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return Picture{};
  }
  png_init_io(png, file.get());
  png_read_info(png, info);
  picture.width = static_cast<int>(png_get_image_width(png, info));
  picture.height = static_cast<int>(png_get_image_height(png, info));
  picture.bitDepth = png_get_bit_depth(png, info);
  picture.colorType = png_get_color_type(png, info);
  // Unpack to one byte per pixel for the comparison.
  png_set_packing(png);
  png_read_update_info(png, info);
  std::vector<png_byte> row(png_get_rowbytes(png, info));
  for (int y = 0; y < picture.height; ++y) {
    png_read_row(png, row.data(), nullptr);
    std::vector<bool> line(static_cast<size_t>(picture.width));
    for (int x = 0; x < picture.width; ++x) line[static_cast<size_t>(x)] = row[static_cast<size_t>(x)] == 0;
    picture.black.push_back(std::move(line));
  }
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return picture;
}

Picture ReadPbm(const std::string &path, bool &paddingClean) {
  Picture picture;
  const std::vector<uint8_t> bytes = kt50test::ReadFile(path);
  const std::string text(bytes.begin(), bytes.end());
  int consumed = 0;
  if (std::sscanf(text.c_str(), "P4\n%d %d\n%n", &picture.width, &picture.height, &consumed) != 2 ||
      consumed == 0)
    return Picture{};
  const size_t rowBytes = static_cast<size_t>(picture.width + 7) / 8;
  if (bytes.size() != static_cast<size_t>(consumed) + rowBytes * static_cast<size_t>(picture.height))
    return Picture{};
  paddingClean = true;
  for (int y = 0; y < picture.height; ++y) {
    const uint8_t *row = bytes.data() + consumed + rowBytes * static_cast<size_t>(y);
    std::vector<bool> line(static_cast<size_t>(picture.width));
    for (int x = 0; x < picture.width; ++x)
      line[static_cast<size_t>(x)] = (row[x / 8] & (0x80 >> (x % 8))) != 0;
    for (int x = picture.width; x < static_cast<int>(rowBytes * 8); ++x)
      if (row[x / 8] & (0x80 >> (x % 8))) paddingClean = false;
    picture.black.push_back(std::move(line));
  }
  return picture;
}

// A page 3001 x 7 (not a multiple of 8) with ink at both edges, in lane 2,
// and past the right edge of the page, which the picture must not show.
kt50::Page TestPage() {
  kt50test::StreamBuilder b;
  b.Header().Init().Size(3001, 7).Block(1, 0, 7, {0, 3, 6}, 0).Block(2, 2, 3, {2, 4}, 520);
  b.bytes[b.size() - 310 * 3 + 65] = 0xFF;  // row 2 of lane 2: pixels 3000 to 3007
  b.FF();
  kt50::Stream stream;
  kt50::DecodeError error{};
  EXPECT_TRUE(kt50::DecodeStream(b.bytes, stream, error)) << error.message;
  return stream.pages.empty() ? kt50::Page{} : stream.pages[0];
}

void ExpectSamePixels(const kt50::Page &page, const Picture &picture) {
  ASSERT_EQ(picture.width, page.width);
  ASSERT_EQ(picture.height, page.height);
  int inked = 0;
  for (int y = 0; y < page.height; ++y)
    for (int x = 0; x < page.width; ++x) {
      ASSERT_EQ(picture.black[static_cast<size_t>(y)][static_cast<size_t>(x)], page.inked(x, y))
          << "x " << x << " y " << y;
      inked += page.inked(x, y);
    }
  EXPECT_EQ(inked, 5);  // three in lane 1, two in lane 2
}

TEST(PageImage, PngRoundTrip) {
  const kt50::Page page = TestPage();
  ASSERT_TRUE(page.inked(3000, 2));
  ASSERT_TRUE(page.inked(3001, 2));  // past the width: cropped in the picture
  const std::string path = kt50test::TempPath("roundtrip.png");
  std::string error;
  ASSERT_TRUE(kt50::WritePageImage(page, kt50::ImageFormat::Png, path, error)) << error;
  const Picture picture = ReadPng(path);
  EXPECT_EQ(picture.bitDepth, 1);
  EXPECT_EQ(picture.colorType, PNG_COLOR_TYPE_GRAY);
  ExpectSamePixels(page, picture);
  std::remove(path.c_str());
}

TEST(PageImage, PbmRoundTrip) {
  const kt50::Page page = TestPage();
  const std::string path = kt50test::TempPath("roundtrip.pbm");
  std::string error;
  ASSERT_TRUE(kt50::WritePageImage(page, kt50::ImageFormat::Pbm, path, error)) << error;
  bool paddingClean = false;
  const Picture picture = ReadPbm(path, paddingClean);
  ExpectSamePixels(page, picture);
  EXPECT_TRUE(paddingClean);
  std::remove(path.c_str());
}

TEST(PageImage, RefusesWhatItCannotWrite) {
  const kt50::Page page = TestPage();
  std::string error;
  EXPECT_FALSE(kt50::WritePageImage(page, kt50::ImageFormat::Png, "/nonexistent-dir/x.png", error));
  EXPECT_NE(error.find("/nonexistent-dir/x.png"), std::string::npos) << error;

  kt50::Page unplaced = page;
  unplaced.bitmap.clear();
  error.clear();
  EXPECT_FALSE(kt50::WritePageImage(unplaced, kt50::ImageFormat::Pbm, kt50test::TempPath("none.pbm"),
                                    error));
  EXPECT_FALSE(error.empty());
}

}  // namespace

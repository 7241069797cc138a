// The simple road's line conversion on every instruction set this processor
// has (the plain code included), against the pixel-by-pixel reference.
#include <gtest/gtest.h>
#include <hwy/targets.h>

#include <random>
#include <vector>

#include "pageengine.h"
#include "reference.h"
#include "tools/tools.h"
#include "tools/vector_kernels.h"

namespace {

class FastLine : public testing::TestWithParam<int64_t> {
 protected:
  void SetUp() override { hwy::SetSupportedTargetsForTest(GetParam()); }
  void TearDown() override { hwy::SetSupportedTargetsForTest(0); }
};

// Widths 1 to 64, then a sample up to 12,500 with the full page among them.
std::vector<int> Widths(std::mt19937 &rng) {
  std::vector<int> widths;
  for (int w = 1; w <= 64; ++w) widths.push_back(w);
  for (int w : {127, 128, 129, 1000, 9919, 9920, 12500}) widths.push_back(w);
  for (int i = 0; i < 20; ++i) widths.push_back(65 + static_cast<int>(rng() % 12436));
  return widths;
}

// Random pixels with runs of gray, so that values on both sides of each
// threshold and exact hits both occur.
std::vector<uint8_t> RandomLine(std::mt19937 &rng, int count) {
  std::vector<uint8_t> line(3 * static_cast<size_t>(count));
  for (int x = 0; x < count; ++x) {
    uint8_t *p = &line[3 * static_cast<size_t>(x)];
    if (rng() % 4 == 0) {
      p[0] = p[1] = p[2] = static_cast<uint8_t>(rng());
    } else {
      for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>(rng());
    }
  }
  return line;
}

TEST_P(FastLine, EveryScreenMirrorAndWidthMatchesTheReference) {
  EXPECT_STREQ(vk::TargetName(), hwy::TargetName(GetParam()));
  std::mt19937 rng(1234);
  const struct {
    int code;
    const tagDITHER *matrix;
  } screens[] = {{0, &g_Dither_Nashi}, {1, &g_Dither_Grh_So}, {2, &g_Dither_Grh_Mitsu}, {5, &g_Dither_Solid}};
  for (int count : Widths(rng)) {
    // The line is exactly as long as the pixels it holds: a read past it
    // shows under AddressSanitizer.
    const std::vector<uint8_t> line = RandomLine(rng, count);
    for (const auto &screen : screens) {
      for (int mirror : {0, 1}) {
        const auto row = static_cast<int32_t>(rng() % 14645);
        const size_t bytes = (count + 7) / 8;
        std::vector<uint8_t> dst(bytes + 3, 0xA5);
        ASSERT_EQ(ConvertLineBuffer24To01(dst.data(), line.data(), count, *screen.matrix, row, mirror),
                  static_cast<int32_t>(bytes));
        const std::vector<uint8_t> expected =
            ref::ConvertLine(line.data(), count, screen.code, static_cast<uint32_t>(row), mirror);
        ASSERT_EQ(std::vector<uint8_t>(dst.begin(), dst.begin() + bytes), expected)
            << "width " << count << " code " << screen.code << " mirror " << mirror << " row " << row;
        for (size_t i = bytes; i < dst.size(); ++i) ASSERT_EQ(dst[i], 0xA5) << "width " << count;
      }
    }
  }
}

// A gray line expanded for the engine, against the same expansion pixel by
// pixel: every width to past two vector steps, both flips, exact lengths.
TEST_P(FastLine, GrayLinesExpandAsPixelByPixel) {
  std::mt19937 rng(99);
  for (int count = 0; count <= 300; ++count) {
    std::vector<uint8_t> gray(count);
    for (uint8_t &g : gray) g = static_cast<uint8_t>(rng());
    for (const uint8_t flip : {0x00, 0xFF}) {
      std::vector<uint8_t> rgb(3 * static_cast<size_t>(count));
      ExpandGrayLine(rgb.data(), gray.data(), count, flip);
      for (int x = 0; x < count; ++x)
        for (int c = 0; c < 3; ++c)
          ASSERT_EQ(rgb[3 * x + c], gray[x] ^ flip) << "width " << count << " pixel " << x;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(EachInstructionSet, FastLine,
                         testing::ValuesIn(hwy::SupportedAndGeneratedTargets()),
                         [](const testing::TestParamInfo<int64_t> &info) {
                           return std::string(hwy::TargetName(info.param));
                         });

}  // namespace

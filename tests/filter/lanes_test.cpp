// SPDX-License-Identifier: Apache-2.0
// Lane blocks of a page bitmap and the job header record.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "cmnFilter.h"
#include "kt50writer.h"
#include "reference.h"

namespace {

class Lanes : public ::testing::Test {
 protected:
  std::vector<uint8_t> bitmap = std::vector<uint8_t>(kPageBitmapSize, 0);

  void Ink(int x, int y) { bitmap[static_cast<size_t>(y) * 1240 + x / 8] |= 0x80 >> (x % 8); }

  std::vector<uint8_t> Write(int width, int height) {
    char *data = nullptr;
    size_t size = 0;
    FILE *out = open_memstream(&data, &size);
    EXPECT_EQ(SendPrinterCommandForPageBitmap(bitmap.data(), width, height, out), 1);
    fclose(out);
    std::vector<uint8_t> bytes(data, data + size);
    free(data);
    return bytes;
  }

  // The lane blocks the reference model writes for the same bitmap.
  std::vector<uint8_t> Expected(int width, int height) {
    ref::Page page{width, height,
                   std::vector<uint8_t>(bitmap.begin(), bitmap.begin() + size_t(height) * 1240)};
    std::vector<uint8_t> all = ref::PageCommands(page);
    return {all.begin() + 10, all.end() - 3};  // without init, size and page end
  }
};

TEST_F(Lanes, LeftmostPixelOfRow100GivesThePrintedExample) {
  Ink(0, 100);
  std::vector<uint8_t> expected{0x1B, 0x7C, 0x4C, 0x01, 0x1B, 0x7C, 0x59, 0x64, 0x00,
                                0x1B, 0x7C, 0x30, 0x36, 0x01, 0x01, 0x00, 0x80};
  expected.resize(expected.size() + 309, 0x00);
  EXPECT_EQ(Write(9920, 14645), expected);
}

TEST_F(Lanes, BlankPageHasNoLaneBlock) { EXPECT_TRUE(Write(9920, 14645).empty()); }

TEST_F(Lanes, InkInLanesOneAndThreeGivesBlocksTwoAndFour) {
  Ink(2480 + 7, 10);
  Ink(3 * 2480 + 2479, 20);
  const std::vector<uint8_t> bytes = Write(9920, 14645);
  ASSERT_EQ(bytes.size(), 2u * (4 + 5 + 7 + 310));
  EXPECT_EQ(bytes[3], 2);
  EXPECT_EQ(bytes[7], 10);
  EXPECT_EQ(bytes[16], 0x01);  // pixel 7 of the lane: last bit of its first byte
  EXPECT_EQ(bytes[326 + 3], 4);
  EXPECT_EQ(bytes[326 + 7], 20);
  EXPECT_EQ(bytes[326 + 16 + 309], 0x01);
  EXPECT_EQ(bytes, Expected(9920, 14645));
}

TEST_F(Lanes, BlankRowsBetweenInkedRowsAreIncluded) {
  Ink(100, 5);
  Ink(200, 900);
  const std::vector<uint8_t> bytes = Write(9920, 14645);
  ASSERT_EQ(bytes.size(), 16u + 896 * 310);
  EXPECT_EQ(bytes[7], 5);
  EXPECT_EQ(bytes[8], 0);
  EXPECT_EQ(bytes[14], 896 & 0xFF);
  EXPECT_EQ(bytes[15], 896 >> 8);
  EXPECT_EQ(bytes, Expected(9920, 14645));
}

TEST_F(Lanes, CandidateLanesFollowTheAnnouncedWidth) {
  Ink(2480, 0);  // first pixel of lane 1
  EXPECT_TRUE(Write(2479, 2364).empty());
  EXPECT_EQ(Write(2480, 2364).at(3), 2);
  Ink(3 * 2480, 1);  // lane 3 only from 3 * 2480
  EXPECT_EQ(Write(3 * 2480 - 1, 2364).size(), 326u);
  EXPECT_EQ(Write(3 * 2480, 2364).size(), 2 * 326u);
}

TEST_F(Lanes, LastRowAndLastByteOfTheBitmapAreScanned) {
  Ink(9919, 14644);
  const std::vector<uint8_t> bytes = Write(9920, 14645);
  ASSERT_EQ(bytes.size(), 326u);
  EXPECT_EQ(bytes[3], 4);
  EXPECT_EQ(bytes[7] | bytes[8] << 8, 14644);
  EXPECT_EQ(bytes.back(), 0x01);
  EXPECT_TRUE(Write(9920, 14644).empty());  // rows beyond the height are not looked at
}

TEST_F(Lanes, EveryLaneAndRowMatchesTheModel) {
  for (int k = 0; k < 4; ++k) {
    for (int y = 3 + k; y < 3000; y += 97 + k) Ink(k * 2480 + (y * 13) % 2480, y);
  }
  EXPECT_EQ(Write(9920, 3000), Expected(9920, 3000));
}

TEST(JobHeader, DefaultsGiveTheTemplate) {
  std::array<uint8_t, kJobHeaderSize> header = g_JobHeader;
  SetPrintJobHeader(header.data(), 0, 0, 0, 0, 0, 0);
  EXPECT_EQ(std::vector<uint8_t>(header.begin(), header.end()), ref::JobHeader({}));
}

TEST(JobHeader, NegativeValuesInTwosComplement) {
  std::array<uint8_t, kJobHeaderSize> header = g_JobHeader;
  SetPrintJobHeader(header.data(), -16, -500, 3, 2, 1, -3);
  EXPECT_EQ(header[3], 0xF0);
  EXPECT_EQ(header[7], 3);
  EXPECT_EQ(header[11], 2);
  EXPECT_EQ(header[15], 1);
  EXPECT_EQ(header[19], 0xFD);
  EXPECT_EQ(header[23], 0x0C);
  EXPECT_EQ(header[24], 0xFE);
  SetPrintJobHeader(header.data(), 16, 500, 0, 0, 0, 3);
  EXPECT_EQ(header[23], 0xF4);
  EXPECT_EQ(header[24], 0x01);
  EXPECT_EQ(std::vector<uint8_t>(header.begin(), header.end()),
            ref::JobHeader({16, 500, 0, 0, 0, 3}));
}

}  // namespace

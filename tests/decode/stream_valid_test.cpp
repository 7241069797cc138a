// SPDX-License-Identifier: Apache-2.0
// Streams the printer takes: what the reader makes of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <numeric>

#include "kt50stream.h"
#include "stream_builder.h"

namespace {

using kt50test::StreamBuilder;

size_t InkCount(const kt50::Page &page) {
  return std::accumulate(page.bitmap.begin(), page.bitmap.end(), size_t{0},
                         [](size_t sum, uint8_t b) { return sum + std::popcount(b); });
}

kt50::Stream Decode(const std::vector<uint8_t> &bytes) {
  kt50::Stream stream;
  kt50::DecodeError error{};
  EXPECT_TRUE(kt50::DecodeStream(bytes, stream, error))
      << "offset " << error.offset << ": " << error.message;
  return stream;
}

TEST(DecodeValid, EmptyStreamIsAJobOfNoPages) {
  kt50::Stream stream;
  stream.pages.resize(2);
  stream.hasHeader = true;
  kt50::DecodeError error{};
  ASSERT_TRUE(kt50::DecodeStream({}, stream, error));
  EXPECT_FALSE(stream.hasHeader);
  EXPECT_TRUE(stream.pages.empty());
}

// A 9920 x 14645 page whose only ink is the leftmost pixel of row 100,
// written out byte for byte.
TEST(DecodeValid, FullPageWithOnePixel) {
  std::vector<uint8_t> bytes = {0x1B, 0x7C, 0x44, 0x00, 0x1B, 0x7C, 0x73, 0x00, 0x1B,
                                0x7C, 0x50, 0x00, 0x1B, 0x7C, 0x41, 0x00, 0x1B, 0x7C,
                                0x56, 0x00, 0x1B, 0x7C, 0x43, 0x00, 0x00};
  const std::vector<uint8_t> page = {0x1B, 0x7C, 0x40, 0x1B, 0x7C, 0x45, 0xC0, 0x26, 0x35,
                                     0x39, 0x1B, 0x7C, 0x4C, 0x01, 0x1B, 0x7C, 0x59, 0x64,
                                     0x00, 0x1B, 0x7C, 0x30, 0x36, 0x01, 0x01, 0x00, 0x80};
  bytes.insert(bytes.end(), page.begin(), page.end());
  bytes.insert(bytes.end(), 309, 0x00);
  bytes.insert(bytes.end(), {0x1B, 0x7C, 0x0C});

  const kt50::Stream stream = Decode(bytes);
  ASSERT_TRUE(stream.hasHeader);
  EXPECT_EQ(stream.header.writeDensity, 0);
  EXPECT_EQ(stream.header.adjustLength, 0);
  ASSERT_EQ(stream.pages.size(), 1u);
  const kt50::Page &p = stream.pages[0];
  EXPECT_EQ(p.width, 9920);
  EXPECT_EQ(p.height, 14645);
  EXPECT_EQ(p.offset, 25u);
  ASSERT_EQ(p.lanes.size(), 1u);
  EXPECT_EQ(p.lanes[0].lane, 1);
  EXPECT_EQ(p.lanes[0].offsetY, 100);
  EXPECT_EQ(p.lanes[0].rows, 1);
  ASSERT_EQ(p.bitmap.size(), 18159800u);
  EXPECT_TRUE(p.inked(0, 100));
  EXPECT_FALSE(p.inked(1, 100));
  EXPECT_FALSE(p.inked(0, 99));
  EXPECT_FALSE(p.inked(0, 101));
  EXPECT_EQ(InkCount(p), 1u);
  EXPECT_FALSE(p.inkBeyondWidth);
}

TEST(DecodeValid, HeaderValuesKeepTheirSigns) {
  struct Case {
    int density, speed, repeat, enhance, overlap, adjust;
  };
  for (const Case c : {Case{-16, 3, 3, 2, -3, -500}, Case{16, 0, 1, 1, 3, 500},
                       Case{-1, 2, 0, 0, -1, -1}, Case{0, 0, 0, 0, 0, 0}}) {
    StreamBuilder b;
    b.Header(c.density, c.speed, c.repeat, c.enhance, c.overlap, c.adjust).Init().Size(2364, 2364).FF();
    const kt50::Stream stream = Decode(b.bytes);
    EXPECT_EQ(stream.header.writeDensity, c.density);
    EXPECT_EQ(stream.header.writeSpeed, c.speed);
    EXPECT_EQ(stream.header.writeRepeat, c.repeat);
    EXPECT_EQ(stream.header.lineEnhance, c.enhance);
    EXPECT_EQ(stream.header.laneOverlap, c.overlap);
    EXPECT_EQ(stream.header.adjustLength, c.adjust);
  }
  // The bytes the stream carries for the extremes.
  StreamBuilder b;
  b.Header(-16, 0, 0, 0, -3, -500);
  EXPECT_EQ(b.bytes[3], 0xF0);
  EXPECT_EQ(b.bytes[19], 0xFD);
  EXPECT_EQ(b.bytes[23], 0x0C);
  EXPECT_EQ(b.bytes[24], 0xFE);
}

TEST(DecodeValid, BlankPageIsThirteenBytes) {
  StreamBuilder b;
  b.Header().Init().Size(2364, 2364).FF();
  ASSERT_EQ(b.size(), 25u + 13u);
  const kt50::Stream stream = Decode(b.bytes);
  ASSERT_EQ(stream.pages.size(), 1u);
  EXPECT_TRUE(stream.pages[0].lanes.empty());
  EXPECT_EQ(stream.pages[0].bitmap.size(), 2364u * 1240u);
  EXPECT_EQ(InkCount(stream.pages[0]), 0u);
}

TEST(DecodeValid, LanesArePlacedSideBySide) {
  StreamBuilder b;
  b.Header().Init().Size(9920, 50);
  b.Block(2, 10, 1, {10}, 0).Block(4, 20, 2, {21}, 2479).FF();
  const kt50::Stream stream = Decode(b.bytes);
  ASSERT_EQ(stream.pages.size(), 1u);
  const kt50::Page &p = stream.pages[0];
  ASSERT_EQ(p.lanes.size(), 2u);
  EXPECT_EQ(p.lanes[0].lane, 2);
  EXPECT_EQ(p.lanes[1].lane, 4);
  EXPECT_EQ(p.lanes[1].offsetY, 20);
  EXPECT_EQ(p.lanes[1].rows, 2);
  EXPECT_TRUE(p.inked(2480, 10));
  EXPECT_EQ(p.bitmap[10 * 1240 + 310], 0x80);
  EXPECT_TRUE(p.inked(9919, 21));
  EXPECT_EQ(p.bitmap[21 * 1240 + 1239], 0x01);
  EXPECT_FALSE(p.inked(9919, 20));
  EXPECT_EQ(InkCount(p), 2u);
}

TEST(DecodeValid, BlockKeepsBlankRowsBetweenInkedRows) {
  StreamBuilder b;
  b.Header().Init().Size(2364, 2364).Block(1, 5, 896, {5, 900}, 7).FF();
  const kt50::Stream stream = Decode(b.bytes);
  const kt50::Page &p = stream.pages.at(0);
  EXPECT_TRUE(p.inked(7, 5));
  EXPECT_TRUE(p.inked(7, 900));
  EXPECT_EQ(InkCount(p), 2u);
}

TEST(DecodeValid, PagesFollowEachOtherWithOwnBitmaps) {
  StreamBuilder b;
  b.Header(3).Init().Size(4960, 30).Block(1, 0, 1, {0}).Block(3, 29, 1, {29}, 5).FF();
  b.Init().Size(2364, 40).Block(1, 39, 1, {39}, 100).FF();
  const kt50::Stream stream = Decode(b.bytes);
  ASSERT_EQ(stream.pages.size(), 2u);
  const kt50::Page &first = stream.pages[0];
  const kt50::Page &second = stream.pages[1];
  EXPECT_EQ(first.width, 4960);
  EXPECT_TRUE(first.inked(0, 0));
  EXPECT_TRUE(first.inked(4965, 29));
  EXPECT_EQ(second.height, 40);
  EXPECT_FALSE(second.inked(0, 0));
  EXPECT_TRUE(second.inked(100, 39));
  EXPECT_EQ(InkCount(second), 1u);
  EXPECT_GT(second.offset, first.offset);
}

// Lane k + 1 is a candidate once the width reaches k times 2480.
TEST(DecodeValid, HighestLaneFollowsPageWidth) {
  struct Case {
    int width, lane;
  };
  for (const Case c : {Case{1, 1}, Case{2480, 2}, Case{4960, 3}, Case{7440, 4}, Case{9920, 4}}) {
    StreamBuilder b;
    b.Header().Init().Size(c.width, 3).Block(c.lane, 0, 3).FF();
    kt50::Stream stream;
    kt50::DecodeError error{};
    EXPECT_TRUE(kt50::DecodeStream(b.bytes, stream, error))
        << "width " << c.width << " lane " << c.lane << ": " << error.message;
  }
}

TEST(DecodeValid, SizeLimitsAndLastRowAreAccepted) {
  StreamBuilder b;
  b.Header().Init().Size(1, 1).Block(1, 0, 1, {0}).FF();
  b.Init().Size(9920, 14645).Block(4, 14644, 1, {14644}, 2479).FF();
  const kt50::Stream stream = Decode(b.bytes);
  ASSERT_EQ(stream.pages.size(), 2u);
  EXPECT_TRUE(stream.pages[0].inked(0, 0));
  EXPECT_TRUE(stream.pages[1].inked(9919, 14644));
}

// Ink that a lane carries past the announced width stays in the bitmap; the
// pictures crop it.
TEST(DecodeValid, InkBeyondWidthIsKeptInBitmap) {
  StreamBuilder b;
  b.Header().Init().Size(2500, 4).Block(2, 0, 1, {0}, 2000).FF();
  const kt50::Stream stream = Decode(b.bytes);
  EXPECT_TRUE(stream.pages.at(0).inked(4480, 0));
  EXPECT_FALSE(stream.pages.at(0).inked(4480, 4));
  EXPECT_FALSE(stream.pages.at(0).inked(-1, 0));
  EXPECT_FALSE(stream.pages.at(0).inked(9920, 0));
  EXPECT_TRUE(stream.pages.at(0).inkBeyondWidth);
}

TEST(DecodeValid, InkBeyondWidthIsFlaggedFromTheFirstOutsidePixel) {
  struct Case {
    int width, lane, x;  // x within the lane
    bool beyond;
  };
  for (const Case c : {Case{2500, 2, 19, false}, Case{2500, 2, 20, true}, Case{2500, 2, 2479, true},
                       Case{2480, 2, 0, true}, Case{2480, 1, 2479, false}, Case{2364, 1, 2363, false},
                       Case{2364, 1, 2364, true}, Case{9920, 4, 2479, false}, Case{7441, 4, 0, false},
                       Case{7441, 4, 1, true}}) {
    StreamBuilder b;
    b.Header().Init().Size(c.width, 9).Block(c.lane, 2, 4, {4}, c.x).FF();
    const kt50::Stream stream = Decode(b.bytes);
    ASSERT_EQ(stream.pages.size(), 1u);
    EXPECT_EQ(stream.pages[0].inkBeyondWidth, c.beyond)
        << "width " << c.width << " lane " << c.lane << " x " << c.x;
  }
}

TEST(DecodeVisitor, ReportsCommandsInStreamOrder) {
  StreamBuilder b;
  b.Header(-2, 1).Init().Size(2480, 10).Block(2, 3, 2, {4}).FF();
  std::vector<kt50::Command> commands;
  int headers = 0;
  kt50::JobHeader header{};
  kt50::StreamVisitor visitor;
  visitor.placeBitmaps = false;
  visitor.command = [&](const kt50::Command &cmd) { commands.push_back(cmd); };
  visitor.header = [&](const kt50::JobHeader &h, size_t) {
    ++headers;
    header = h;
  };
  std::vector<kt50::Page> pages;
  visitor.page = [&](kt50::Page &&page) {
    pages.push_back(std::move(page));
    return true;
  };
  kt50::DecodeError error{};
  ASSERT_TRUE(kt50::DecodeStream(b.bytes, visitor, error)) << error.message;
  EXPECT_EQ(headers, 1);
  EXPECT_EQ(header.writeDensity, -2);
  EXPECT_EQ(header.writeSpeed, 1);

  const std::vector<uint8_t> codes = {0x44, 0x73, 0x50, 0x41, 0x56, 0x43,
                                      0x40, 0x45, 0x4C, 0x59, 0x30, 0x0C};
  ASSERT_EQ(commands.size(), codes.size());
  for (size_t i = 0; i < codes.size(); ++i) EXPECT_EQ(commands[i].code, codes[i]) << i;
  const std::vector<size_t> offsets = {0, 4, 8, 12, 16, 20, 25, 28, 35, 39, 44, 671};
  for (size_t i = 0; i < offsets.size(); ++i) EXPECT_EQ(commands[i].offset, offsets[i]) << i;
  const kt50::Command &size = commands[7];
  EXPECT_EQ(size.paramCount, 2);
  EXPECT_EQ(size.params[0], 2480);
  EXPECT_EQ(size.params[1], 10);
  const kt50::Command &raster = commands[10];
  EXPECT_EQ(raster.params[0], 310);
  EXPECT_EQ(raster.params[1], 2);
  EXPECT_EQ(raster.dataOffset, 51u);
  EXPECT_EQ(raster.dataBytes, 620u);

  ASSERT_EQ(pages.size(), 1u);
  EXPECT_TRUE(pages[0].bitmap.empty());
  EXPECT_FALSE(pages[0].inked(0, 4));
  EXPECT_EQ(pages[0].lanes.size(), 1u);
}

TEST(DecodeVisitor, PageHandlerCanStopTheWalk) {
  StreamBuilder b;
  b.Header().Init().Size(100, 100).FF();
  const size_t second = b.size();
  b.Init().Size(100, 100).FF().Init().Size(100, 100).FF();
  int seen = 0;
  kt50::StreamVisitor visitor;
  visitor.page = [&](kt50::Page &&) { return ++seen < 2; };
  kt50::DecodeError error{};
  EXPECT_FALSE(kt50::DecodeStream(b.bytes, visitor, error));
  EXPECT_EQ(seen, 2);
  EXPECT_EQ(error.offset, second);
  EXPECT_EQ(error.message, "stopped");
}

// Sixty full-size pages of 13 bytes each would hold over 1 GiB of bitmaps:
// the Stream form refuses them rather than run out of memory, and a visitor
// that lets each page go walks the job to its end.
TEST(DecodeVisitor, LongJobsAreReadPageByPage) {
  StreamBuilder b;
  b.Header();
  for (int i = 0; i < 60; ++i) b.Init().Size(9920, 14645).FF();
  kt50::Stream stream;
  kt50::DecodeError error{};
  EXPECT_FALSE(kt50::DecodeStream(b.bytes, stream, error));
  EXPECT_NE(error.message.find("1 GiB"), std::string::npos) << error.message;
  EXPECT_EQ(error.offset, 25u + 59u * 13u);

  int pages = 0;
  kt50::StreamVisitor visitor;
  visitor.page = [&](kt50::Page &&page) {
    pages += page.bitmap.size() == 18159800u;
    return true;
  };
  EXPECT_TRUE(kt50::DecodeStream(b.bytes, visitor, error)) << error.message;
  EXPECT_EQ(pages, 60);
}

TEST(DecodeVisitor, CommandNames) {
  EXPECT_STREQ(kt50::CommandName(0x40), "INIT");
  EXPECT_STREQ(kt50::CommandName(0x30), "RASTER");
  EXPECT_STREQ(kt50::CommandName(0x0C), "FF");
  EXPECT_EQ(kt50::CommandName(0x00), nullptr);
  EXPECT_EQ(kt50::CommandName(0x1B), nullptr);
}

}  // namespace

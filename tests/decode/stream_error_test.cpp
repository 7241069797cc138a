// SPDX-License-Identifier: Apache-2.0
// Streams the printer could not take as they stand: every fault is refused
// at the byte where it shows, and no input makes the reader stray.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "kt50stream.h"
#include "stream_builder.h"

namespace {

using kt50test::StreamBuilder;

struct Fault {
  size_t offset;
  std::string message;
};

Fault DecodeFault(const std::vector<uint8_t> &bytes) {
  kt50::Stream stream;
  kt50::DecodeError error{};
  EXPECT_FALSE(kt50::DecodeStream(bytes, stream, error)) << "stream was accepted";
  return {error.offset, error.message};
}

#define EXPECT_FAULT(bytes, where, text)                                  \
  do {                                                                    \
    const Fault fault = DecodeFault(bytes);                               \
    EXPECT_EQ(fault.offset, static_cast<size_t>(where)) << fault.message; \
    EXPECT_NE(fault.message.find(text), std::string::npos) << fault.message; \
  } while (0)

// Header, then INIT and SIZE of a page of the given size: 35 bytes.
StreamBuilder PageStart(int width = 9920, int height = 100) {
  StreamBuilder b;
  b.Header().Init().Size(width, height);
  return b;
}

TEST(DecodeHeaderFaults, EveryCommandByteOfTheTemplateIsChecked) {
  StreamBuilder good;
  good.Header().Init().Size(2364, 2364).FF();
  for (size_t at : {0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, 16, 17, 18, 20, 21, 22}) {
    std::vector<uint8_t> bytes = good.bytes;
    bytes[at] ^= 0x80;
    SCOPED_TRACE("byte " + std::to_string(at));
    const Fault fault = DecodeFault(bytes);
    EXPECT_EQ(fault.offset, at) << fault.message;
    EXPECT_NE(fault.message.find("job header"), std::string::npos) << fault.message;
  }
  // Header commands in another order are not the header.
  StreamBuilder swapped;
  swapped.Raw({0x1B, 0x7C, 0x44, 0, 0x1B, 0x7C, 0x50, 0, 0x1B, 0x7C, 0x73, 0});
  EXPECT_FAULT(swapped.bytes, 6, "expected byte 73");
}

TEST(DecodeHeaderFaults, ValuesOutsideTheirRanges) {
  EXPECT_FAULT(StreamBuilder().Header(17).Init().Size(100, 100).FF().bytes, 3, "-16 to 16, found 17");
  EXPECT_FAULT(StreamBuilder().Header(-17).Init().Size(100, 100).FF().bytes, 3, "found -17");
  EXPECT_FAULT(StreamBuilder().Header(0, 4).Init().Size(100, 100).FF().bytes, 7, "0 to 3, found 4");
  EXPECT_FAULT(StreamBuilder().Header(0, 0, 255).Init().Size(100, 100).FF().bytes, 11, "found 255");
  EXPECT_FAULT(StreamBuilder().Header(0, 0, 0, 3).Init().Size(100, 100).FF().bytes, 15, "0 to 2, found 3");
  EXPECT_FAULT(StreamBuilder().Header(0, 0, 0, 0, -4).Init().Size(100, 100).FF().bytes, 19, "found -4");
  EXPECT_FAULT(StreamBuilder().Header(0, 0, 0, 0, 0, 501).Init().Size(100, 100).FF().bytes, 23,
               "-500 to 500, found 501");
  EXPECT_FAULT(StreamBuilder().Header(0, 0, 0, 0, 0, -501).Init().Size(100, 100).FF().bytes, 23,
               "found -501");
}

TEST(DecodeHeaderFaults, HeaderOnceAndOnlyBeforeTheFirstPage) {
  // No header at all.
  EXPECT_FAULT(StreamBuilder().Init().Size(100, 100).FF().bytes, 0, "expected job header");
  // A header and nothing else: no job writes that.
  EXPECT_FAULT(StreamBuilder().Header().bytes, 25, "INIT command (1B 7C 40) of the first page, found end of stream");
  // A second header after a page.
  StreamBuilder twice;
  twice.Header().Init().Size(100, 100).FF();
  const size_t second = twice.size();
  twice.Header().Init().Size(100, 100).FF();
  EXPECT_FAULT(twice.bytes, second, "the job header comes once");
  // A header command inside a page.
  StreamBuilder inside = PageStart();
  EXPECT_FAULT(inside.Raw({0x1B, 0x7C, 0x44, 0x00}).FF().bytes, 35, "found WRITE_DENSITY command");
}

TEST(DecodePageFaults, FrameOfThePage) {
  // Something other than INIT after the header and after a page.
  EXPECT_FAULT(StreamBuilder().Header().Size(100, 100).FF().bytes, 25, "expected INIT command");
  StreamBuilder after;
  after.Header().Init().Size(100, 100).FF().Raw({0x00});
  EXPECT_FAULT(after.bytes, 38, "found 00 (not a command)");
  // SIZE missing.
  EXPECT_FAULT(StreamBuilder().Header().Init().FF().bytes, 28, "expected SIZE command");
  // INIT where a lane or the page end belongs.
  EXPECT_FAULT(PageStart().Init().bytes, 35, "expected LANE_NO command (1B 7C 4C) or FF command");
  // The page never ends.
  EXPECT_FAULT(PageStart().bytes, 35, "found end of stream");
  EXPECT_FAULT(PageStart().Block(1, 0, 1).bytes, 35 + 16 + 310, "found end of stream");
  // ESC without "|", and an unknown command byte.
  EXPECT_FAULT(PageStart().Raw({0x1B, 0x7D, 0x0C}).bytes, 35, "(not a command)");
  EXPECT_FAULT(PageStart().Raw({0x1B, 0x7C, 0x5A}).bytes, 37, "unknown command byte 5A");
  // A command cut short.
  EXPECT_FAULT(PageStart().Raw({0x1B, 0x7C}).bytes, 35, "end of stream inside a command");
  EXPECT_FAULT(StreamBuilder().Header().Init().Raw({0x1B, 0x7C, 0x45, 0xC0, 0x26}).bytes, 31,
               "expected 4 parameter bytes of the SIZE command, found 2");
}

TEST(DecodePageFaults, PageSizeOutsideThePrintArea) {
  EXPECT_FAULT(StreamBuilder().Header().Init().Size(0, 100).FF().bytes, 31, "page width 1 to 9920, found 0");
  EXPECT_FAULT(StreamBuilder().Header().Init().Size(9921, 100).FF().bytes, 31, "found 9921");
  EXPECT_FAULT(StreamBuilder().Header().Init().Size(65535, 100).FF().bytes, 31, "found 65535");
  EXPECT_FAULT(StreamBuilder().Header().Init().Size(100, 0).FF().bytes, 33, "page height 1 to 14645, found 0");
  EXPECT_FAULT(StreamBuilder().Header().Init().Size(100, 14646).FF().bytes, 33, "found 14646");
}

TEST(DecodeLaneFaults, LaneNumbers) {
  EXPECT_FAULT(PageStart().Block(0, 0, 1).FF().bytes, 38, "lane number 1 to 4, found 0");
  EXPECT_FAULT(PageStart().Block(5, 0, 1).FF().bytes, 38, "lane number 1 to 4, found 5");
  // Same lane twice, and falling lanes.
  const size_t secondLane = 35 + 16 + 310 + 3;
  EXPECT_FAULT(PageStart().Block(2, 0, 1).Block(2, 5, 1).FF().bytes, secondLane,
               "expected lane number above 2 (lanes rise within a page), found 2");
  EXPECT_FAULT(PageStart().Block(3, 0, 1).Block(1, 5, 1).FF().bytes, secondLane, "above 3");
  // Lanes that are no candidates for the page width.
  EXPECT_FAULT(PageStart(2479).Block(2, 0, 1).FF().bytes, 38, "at most 1 for page width 2479, found 2");
  EXPECT_FAULT(PageStart(7439).Block(4, 0, 1).FF().bytes, 38, "at most 3 for page width 7439, found 4");
}

TEST(DecodeLaneFaults, BlockOrderAndPlace) {
  // OFFSET_Y missing, RASTER missing.
  EXPECT_FAULT(PageStart().LaneNo(1).Raster(1).bytes, 39, "expected OFFSET_Y command");
  EXPECT_FAULT(PageStart().LaneNo(1).OffsetY(0).FF().bytes, 44, "expected RASTER command");
  // First row outside the page; rows past its end.
  EXPECT_FAULT(PageStart(9920, 100).LaneNo(1).OffsetY(100).Raster(1).bytes, 42,
               "first row below page height 100, found 100");
  EXPECT_FAULT(PageStart(9920, 100).Block(1, 90, 11).FF().bytes, 49,
               "expected 1 to 10 rows (from row 90 in a page of height 100), found 11");
  EXPECT_FAULT(PageStart().Block(1, 0, 0).FF().bytes, 49, "found 0");
}

TEST(DecodeLaneFaults, RasterRowsAndData) {
  StreamBuilder narrow = PageStart();
  narrow.LaneNo(1).OffsetY(0).Raster(1, 300);
  narrow.bytes.resize(narrow.size() + 300);
  narrow.FF();
  EXPECT_FAULT(narrow.bytes, 47, "expected 310 bytes per row, found 300");
  EXPECT_FAULT(PageStart().LaneNo(1).OffsetY(0).Raster(1, 1240).bytes, 47, "found 1240");
  // Data cut short: three rows announced, two and a half present.
  StreamBuilder shortData = PageStart();
  shortData.LaneNo(1).OffsetY(0).Raster(3);
  shortData.bytes.resize(shortData.size() + 775);
  EXPECT_FAULT(shortData.bytes, 51, "expected 930 bytes of raster data (3 rows of 310), found 775");
}

// A small job of two pages with blocks in several lanes.
std::vector<uint8_t> SmallJob(size_t &firstPageEnd) {
  StreamBuilder b;
  b.Header(-5, 1, 2, 1, 2, -300).Init().Size(7440, 12).Block(1, 0, 2, {0, 1}, 3)
      .Block(4, 11, 1, {11}, 2000).FF();
  firstPageEnd = b.size();
  b.Init().Size(2480, 6).Block(2, 2, 3, {2, 4}, 9).FF();
  return b.bytes;
}

// The job may end only where a page ends; every other cut is reported at or
// before the point of the cut.
TEST(DecodeRobustness, TruncationAtEveryByte) {
  size_t firstPageEnd = 0;
  const std::vector<uint8_t> job = SmallJob(firstPageEnd);
  for (size_t n = 0; n < job.size(); ++n) {
    const std::vector<uint8_t> cut(job.begin(), job.begin() + static_cast<std::ptrdiff_t>(n));
    kt50::Stream stream;
    kt50::DecodeError error{};
    const bool ok = kt50::DecodeStream(cut, stream, error);
    if (n == 0 || n == firstPageEnd) {
      EXPECT_TRUE(ok) << "cut at " << n << ": " << error.message;
      EXPECT_EQ(stream.pages.size(), n == 0 ? 0u : 1u);
      continue;
    }
    EXPECT_FALSE(ok) << "cut at " << n << " accepted";
    EXPECT_LE(error.offset, n) << "cut at " << n;
    EXPECT_NE(error.message.find("expected"), std::string::npos) << error.message;
  }
}

// Checks what a decoded stream promises whatever the input.
void ExpectSoundStream(const kt50::Stream &stream) {
  for (const kt50::Page &page : stream.pages) {
    ASSERT_GE(page.width, 1);
    ASSERT_LE(page.width, 9920);
    ASSERT_GE(page.height, 1);
    ASSERT_LE(page.height, 14645);
    ASSERT_EQ(page.bitmap.size(), static_cast<size_t>(page.height) * 1240);
    int last = 0;
    for (const kt50::LaneBlock &block : page.lanes) {
      EXPECT_GT(block.lane, last);
      EXPECT_LE(block.lane, 4);
      EXPECT_LE(block.lane - 1, page.width / 2480);
      EXPECT_GE(block.rows, 1);
      EXPECT_LE(block.offsetY + block.rows, page.height);
      last = block.lane;
    }
  }
}

TEST(DecodeRobustness, RandomCorruptionNeverStrays) {
  size_t firstPageEnd = 0;
  const std::vector<uint8_t> job = SmallJob(firstPageEnd);
  // Half of the changes land on commands and their parameters, where the
  // checks are; the rest anywhere, mostly in raster data.
  std::vector<size_t> commandBytes;
  kt50::StreamVisitor visitor;
  visitor.placeBitmaps = false;
  visitor.command = [&](const kt50::Command &cmd) {
    for (size_t i = cmd.offset; i < cmd.offset + 7 && i < job.size(); ++i) commandBytes.push_back(i);
  };
  kt50::DecodeError walkError{};
  ASSERT_TRUE(kt50::DecodeStream(job, visitor, walkError));
  std::mt19937 random(20261208);
  std::uniform_int_distribution<int> byteValue(0, 255);
  std::uniform_int_distribution<size_t> onCommand(0, commandBytes.size() - 1);
  int accepted = 0;
  int refused = 0;
  for (int round = 0; round < 3000; ++round) {
    std::vector<uint8_t> bytes = job;
    const int changes = 1 + round % 4;
    for (int c = 0; c < changes; ++c) {
      std::uniform_int_distribution<size_t> where(0, bytes.size() - 1);
      switch (random() % 4) {
        case 0: {
          const size_t at = commandBytes[onCommand(random)];
          if (at < bytes.size()) bytes[at] = static_cast<uint8_t>(byteValue(random));
          break;
        }
        case 1:
          bytes[where(random)] = static_cast<uint8_t>(byteValue(random));
          break;
        case 2:
          bytes.erase(bytes.begin() + static_cast<std::ptrdiff_t>(where(random)));
          break;
        default:
          bytes.resize(where(random) + 1);
          break;
      }
      if (bytes.empty()) break;
    }
    kt50::Stream stream;
    kt50::DecodeError error{};
    if (kt50::DecodeStream(bytes, stream, error)) {
      ++accepted;
      ExpectSoundStream(stream);
    } else {
      ++refused;
      EXPECT_LE(error.offset, bytes.size());
      EXPECT_FALSE(error.message.empty());
    }
  }
  // Corrupting only raster data keeps a stream valid, so both outcomes occur.
  EXPECT_GT(accepted, 0);
  EXPECT_GT(refused, 0);
}

}  // namespace

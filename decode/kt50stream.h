// SPDX-License-Identifier: Apache-2.0
// Reading a KT50 command stream: the job header record, then per page the
// initialisation, size, lane block and page end commands. The reader checks
// the stream the way the printer would take it and places every lane block
// into a page bitmap, so a job can be seen before media is spent on it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "kt50protocol.h"

namespace kt50 {

// Page sizes the reader accepts. The filter never announces less than 2364
// pixels either way, but stored jobs may carry smaller pages and the printer
// places lanes for any size; zero or more than the print area is refused.
inline constexpr int kMinWidth = 1;
inline constexpr int kMinHeight = 1;

struct JobHeader {
  int writeDensity, writeSpeed, writeRepeat, lineEnhance, laneOverlap, adjustLength;
};  // signed values as decoded

struct LaneBlock {
  int lane;     // 1..4
  int offsetY;  // first row of the block
  int rows;
};

struct Page {
  int width, height;
  std::vector<LaneBlock> lanes;
  // height rows x 1240 bytes, 1 = ink, MSB leftmost, lanes placed. Empty when
  // the stream was only checked.
  std::vector<uint8_t> bitmap;
  // Ink at pixel (x, y) of the bitmap; false outside it. Ink that a lane
  // block carries beyond the announced width is kept and reported here.
  bool inked(int x, int y) const;
  size_t offset = 0;  // stream offset of the page's initialisation command
  // A lane block inks pixels at or past the announced width. The filter never
  // draws there, so this points at a fault in whatever wrote the stream.
  bool inkBeyondWidth = false;
};

struct Stream {
  bool hasHeader = false;
  JobHeader header{};
  std::vector<Page> pages;
};

struct DecodeError {
  size_t offset;
  std::string message;
};

// One command as read, for listings. For RASTER, dataOffset/dataBytes give
// the bitmap bytes that follow it.
struct Command {
  size_t offset;
  uint8_t code;
  int paramCount;
  std::array<int, 2> params;  // as decoded (signed where the field is)
  size_t dataOffset;
  size_t dataBytes;
};

// Name of a command byte ("INIT", "SIZE", ..., "WRITE_DENSITY"), or nullptr
// for a byte that is not a command.
const char *CommandName(uint8_t code);

// What the reader reports while it walks a stream. Every member is optional.
struct StreamVisitor {
  bool placeBitmaps = true;  // false: check only, pages come without bitmap
  std::function<void(const JobHeader &, size_t offset)> header;
  std::function<void(const Command &)> command;
  // Called once a page is complete and checked. Returning false stops the
  // walk; DecodeStream then fails with the message "stopped".
  std::function<bool(Page &&)> page;
};

// Parses and validates a whole stream; false + error at the first fault.
bool DecodeStream(std::span<const uint8_t> bytes, Stream &out, DecodeError &error);

// The same walk, handing each part to the visitor as it is read, so a long
// job need not be held as bitmaps all at once.
bool DecodeStream(std::span<const uint8_t> bytes, const StreamVisitor &visitor,
                  DecodeError &error);

}  // namespace kt50

// SPDX-License-Identifier: Apache-2.0
// Walks a KT50 command stream byte by byte, refusing anything the printer
// could not take as it stands, and places lane blocks into page bitmaps.
#include "kt50stream.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "cmnFilter.h"

namespace kt50 {
namespace {

struct CommandKind {
  uint8_t code;
  const char *name;
  int paramBytes;
};

constexpr std::array<CommandKind, 12> kCommands{{
    {kCmdWriteDensity, "WRITE_DENSITY", 1},
    {kCmdWriteSpeed, "WRITE_SPEED", 1},
    {kCmdWriteRepeat, "WRITE_REPEAT", 1},
    {kCmdLineEnhance, "LINE_ENHANCE", 1},
    {kCmdLaneOverlap, "LANE_OVERLAP", 1},
    {kCmdAdjustLength, "ADJUST_LENGTH", 2},
    {kCmdInit, "INIT", 0},
    {kCmdSize, "SIZE", 4},
    {kCmdLaneNo, "LANE_NO", 1},
    {kCmdOffsetY, "OFFSET_Y", 2},
    {kCmdRaster, "RASTER", 4},
    {kCmdFormFeed, "FF", 0},
}};

// The job header's value fields, in stream order, with what the printer
// accepts in each (the job option ranges).
struct HeaderField {
  int offset;  // of the command, value follows at offset + 3
  uint8_t code;
  int min, max;
};

constexpr std::array<HeaderField, 6> kHeaderFields{{
    {kHeaderAtWriteDensity, kCmdWriteDensity, g_WriteDensityOption.min, g_WriteDensityOption.max},
    {kHeaderAtWriteSpeed, kCmdWriteSpeed, g_WriteSpeedOption.min, g_WriteSpeedOption.max},
    {kHeaderAtWriteRepeat, kCmdWriteRepeat, g_WriteRepeatOption.min, g_WriteRepeatOption.max},
    {kHeaderAtLineEnhance, kCmdLineEnhance, g_LineEnhanceOption.min, g_LineEnhanceOption.max},
    {kHeaderAtLaneOverlap, kCmdLaneOverlap, g_LaneOverlapOption.min, g_LaneOverlapOption.max},
    {kHeaderAtAdjustLength, kCmdAdjustLength, g_AdjustLengthOption.min, g_AdjustLengthOption.max},
}};

// Pages held at once by the Stream form of DecodeStream; beyond this a job
// must be read page by page through a visitor.
constexpr size_t kMaxHeldBitmapBytes = size_t{1} << 30;

const CommandKind *FindCommand(uint8_t code) {
  for (const CommandKind &kind : kCommands)
    if (kind.code == code) return &kind;
  return nullptr;
}

bool IsHeaderCommand(uint8_t code) {
  return std::any_of(kHeaderFields.begin(), kHeaderFields.end(),
                     [code](const HeaderField &field) { return field.code == code; });
}

std::string HexByte(uint8_t b) {
  char text[4];
  std::snprintf(text, sizeof text, "%02X", b);
  return text;
}

std::string Hex(std::span<const uint8_t> bytes) {
  std::string text;
  for (uint8_t b : bytes) {
    if (!text.empty()) text += ' ';
    text += HexByte(b);
  }
  return text;
}

// "SIZE command (1B 7C 45)"
std::string Describe(uint8_t code) {
  const CommandKind *kind = FindCommand(code);
  std::string name = kind ? kind->name : "unknown";
  return name + " command (1B 7C " + HexByte(code) + ")";
}

int DecodeParam(uint8_t code, const uint8_t *p, int index) {
  switch (code) {
    case kCmdWriteDensity:
    case kCmdLaneOverlap:
      return static_cast<int8_t>(p[0]);
    case kCmdAdjustLength:
      return static_cast<int16_t>(static_cast<uint16_t>(p[0] | p[1] << 8));
    default:
      break;
  }
  const CommandKind *kind = FindCommand(code);
  if (kind->paramBytes == 1) return p[0];
  const uint8_t *field = p + 2 * index;
  return field[0] | field[1] << 8;
}

class Reader {
 public:
  Reader(std::span<const uint8_t> bytes, const StreamVisitor &visitor, DecodeError &error)
      : bytes_(bytes), visitor_(visitor), error_(error) {}

  bool Run() {
    if (bytes_.empty()) return true;
    if (!ReadHeader()) return false;
    do {
      Command init;
      if (!ReadExpected(init, kCmdInit, "first page"))
        return false;
      if (!ReadPage(init)) return false;
    } while (pos_ < bytes_.size());
    return true;
  }

 private:
  size_t Remaining() const { return bytes_.size() - pos_; }

  bool Fail(size_t at, std::string message) {
    error_.offset = at;
    error_.message = std::move(message);
    return false;
  }

  void Emit(const Command &cmd) {
    if (visitor_.command) visitor_.command(cmd);
  }

  bool ReadHeader() {
    // A stream that opens with another command has no header at all.
    if (bytes_.size() >= 3 && bytes_[0] == kEsc && bytes_[1] == kBar &&
        bytes_[2] != kCmdWriteDensity && FindCommand(bytes_[2]))
      return Fail(0, "expected job header (1B 7C 44 ...) before the first page, found " +
                         Describe(bytes_[2]));
    for (const HeaderField &field : kHeaderFields) {
      const size_t at = static_cast<size_t>(field.offset);
      const int valueBytes = FindCommand(field.code)->paramBytes;
      for (size_t i = at; i < at + 3 + valueBytes; ++i) {
        if (i >= bytes_.size())
          return Fail(i, "expected 25-byte job header, found end of stream after " +
                             std::to_string(i) + " bytes");
        if (i < at + 3 && bytes_[i] != g_JobHeader[i])
          return Fail(i, "expected byte " + HexByte(g_JobHeader[i]) + " of the job header's " +
                             Describe(field.code) + ", found " + HexByte(bytes_[i]));
      }
      Command cmd{at, field.code, 1, {0, 0}, 0, 0};
      cmd.params[0] = DecodeParam(field.code, &bytes_[at + 3], 0);
      if (cmd.params[0] < field.min || cmd.params[0] > field.max)
        return Fail(at + 3, "expected " + std::string(FindCommand(field.code)->name) + " value " +
                                std::to_string(field.min) + " to " + std::to_string(field.max) +
                                ", found " + std::to_string(cmd.params[0]));
      header_[&field - kHeaderFields.data()] = cmd.params[0];
      Emit(cmd);
    }
    pos_ = kJobHeaderSize;
    if (visitor_.header) {
      const JobHeader header{header_[0], header_[1], header_[2],
                             header_[3], header_[4], header_[5]};
      visitor_.header(header, 0);
    }
    return true;
  }

  // Reads the command at the current position: ESC "|", a known command byte
  // and all of its parameter bytes. `expected` names what the caller wants.
  bool ReadCommand(Command &cmd, const std::string &expected) {
    const size_t at = pos_;
    const size_t left = Remaining();
    if (left == 0) return Fail(at, "expected " + expected + ", found end of stream");
    if (bytes_[at] != kEsc || (left >= 2 && bytes_[at + 1] != kBar))
      return Fail(at, "expected " + expected + ", found " +
                          Hex(bytes_.subspan(at, std::min<size_t>(left, 3))) +
                          " (not a command)");
    if (left < 3)
      return Fail(at, "expected " + expected + ", found end of stream inside a command");
    const CommandKind *kind = FindCommand(bytes_[at + 2]);
    if (!kind)
      return Fail(at + 2, "expected " + expected + ", found unknown command byte " +
                              HexByte(bytes_[at + 2]));
    const size_t need = static_cast<size_t>(kind->paramBytes);
    if (left - 3 < need)
      return Fail(at + 3, "expected " + std::to_string(need) + " parameter bytes of the " +
                              kind->name + " command, found " + std::to_string(left - 3));
    cmd = Command{at, kind->code, 0, {0, 0}, 0, 0};
    cmd.paramCount = kind->paramBytes == 4 ? 2 : (kind->paramBytes > 0 ? 1 : 0);
    for (int i = 0; i < cmd.paramCount; ++i)
      cmd.params[i] = DecodeParam(kind->code, &bytes_[at + 3], i);
    pos_ = at + 3 + need;
    return true;
  }

  // Reads a command that must be `code`; `context` says where we are.
  bool ReadExpected(Command &cmd, uint8_t code, const std::string &context) {
    const std::string expected = Describe(code) + " of the " + context;
    if (!ReadCommand(cmd, expected)) return false;
    if (cmd.code == code) return true;
    std::string message = "expected " + expected + ", found " + Describe(cmd.code);
    if (IsHeaderCommand(cmd.code))
      message += "; the job header comes once, before the first page";
    return Fail(cmd.offset, message);
  }

  bool ReadPage(const Command &init) {
    const std::string context = "page at offset " + std::to_string(init.offset);
    Emit(init);
    Command size;
    if (!ReadExpected(size, kCmdSize, context)) return false;
    Page page{};
    page.offset = init.offset;
    page.width = size.params[0];
    page.height = size.params[1];
    if (page.width < kMinWidth || page.width > kPageBitmapWidth)
      return Fail(size.offset + 3, "expected page width " + std::to_string(kMinWidth) + " to " +
                                       std::to_string(kPageBitmapWidth) + ", found " +
                                       std::to_string(page.width));
    if (page.height < kMinHeight || page.height > kPageBitmapHeight)
      return Fail(size.offset + 5, "expected page height " + std::to_string(kMinHeight) + " to " +
                                       std::to_string(kPageBitmapHeight) + ", found " +
                                       std::to_string(page.height));
    Emit(size);
    if (visitor_.placeBitmaps)
      page.bitmap.assign(static_cast<size_t>(page.height) * kPageBitmapRowBytes, 0);
    int lastLane = 0;
    for (;;) {
      Command cmd;
      if (!ReadCommand(cmd, "LANE_NO or FF command of the " + context)) return false;
      if (cmd.code == kCmdFormFeed) {
        Emit(cmd);
        break;
      }
      if (cmd.code != kCmdLaneNo)
        return Fail(cmd.offset, "expected LANE_NO command (1B 7C 4C) or FF command (1B 7C 0C) "
                                "of the " + context + ", found " + Describe(cmd.code));
      if (!ReadLaneBlock(page, cmd, lastLane, context)) return false;
    }
    if (visitor_.page && !visitor_.page(std::move(page)))
      return Fail(init.offset, "stopped");
    return true;
  }

  bool ReadLaneBlock(Page &page, const Command &laneNo, int &lastLane,
                     const std::string &context) {
    const int lane = laneNo.params[0];
    const size_t laneAt = laneNo.offset + 3;
    if (lane < 1 || lane > kLaneCount)
      return Fail(laneAt, "expected lane number 1 to 4, found " + std::to_string(lane));
    if (lane <= lastLane)
      return Fail(laneAt, "expected lane number above " + std::to_string(lastLane) +
                              " (lanes rise within a page), found " + std::to_string(lane));
    const int highest = std::min(kLaneCount, page.width / kLaneWidth + 1);
    if (lane > highest)
      return Fail(laneAt, "expected lane number at most " + std::to_string(highest) +
                              " for page width " + std::to_string(page.width) + ", found " +
                              std::to_string(lane));
    lastLane = lane;
    Emit(laneNo);

    Command offset;
    if (!ReadExpected(offset, kCmdOffsetY, context)) return false;
    const int first = offset.params[0];
    if (first >= page.height)
      return Fail(offset.offset + 3, "expected first row below page height " +
                                         std::to_string(page.height) + ", found " +
                                         std::to_string(first));
    Emit(offset);

    Command raster;
    if (!ReadExpected(raster, kCmdRaster, context)) return false;
    if (raster.params[0] != kLaneBytes)
      return Fail(raster.offset + 3, "expected 310 bytes per row, found " +
                                         std::to_string(raster.params[0]));
    const int rows = raster.params[1];
    const int room = page.height - first;
    if (rows < 1 || rows > room)
      return Fail(raster.offset + 5, "expected 1 to " + std::to_string(room) +
                                         " rows (from row " + std::to_string(first) +
                                         " in a page of height " + std::to_string(page.height) +
                                         "), found " + std::to_string(rows));
    const size_t dataBytes = static_cast<size_t>(rows) * kLaneBytes;
    if (Remaining() < dataBytes)
      return Fail(pos_, "expected " + std::to_string(dataBytes) + " bytes of raster data (" +
                            std::to_string(rows) + " rows of 310), found " +
                            std::to_string(Remaining()));
    if (InkBeyondWidth(page.width, lane, bytes_.subspan(pos_, dataBytes)))
      page.inkBeyondWidth = true;
    raster.dataOffset = pos_;
    raster.dataBytes = dataBytes;
    Emit(raster);
    if (!page.bitmap.empty()) Place(page, lane, first, rows, bytes_.subspan(pos_, dataBytes));
    pos_ += dataBytes;
    page.lanes.push_back(LaneBlock{lane, first, rows});
    return true;
  }

  // Whether a lane block's rows ink any pixel at or past the page width.
  static bool InkBeyondWidth(int width, int lane, std::span<const uint8_t> data) {
    const int inside = width - (lane - 1) * kLaneWidth;  // pixels of the lane on the page
    if (inside >= kLaneWidth) return false;
    const size_t firstByte = static_cast<size_t>(inside / 8);
    const uint8_t partialMask = static_cast<uint8_t>(0xFF >> (inside % 8));
    for (size_t row = 0; row < data.size(); row += kLaneBytes) {
      const uint8_t *bytes = data.data() + row;
      if (bytes[firstByte] & partialMask) return true;
      if (std::any_of(bytes + firstByte + 1, bytes + kLaneBytes, [](uint8_t b) { return b != 0; }))
        return true;
    }
    return false;
  }

  static void Place(Page &page, int lane, int first, int rows, std::span<const uint8_t> data) {
    uint8_t *dest = page.bitmap.data() + static_cast<size_t>(first) * kPageBitmapRowBytes +
                    static_cast<size_t>(lane - 1) * kLaneBytes;
    const uint8_t *src = data.data();
    for (int r = 0; r < rows; ++r, dest += kPageBitmapRowBytes, src += kLaneBytes)
      std::memcpy(dest, src, kLaneBytes);
  }

  std::span<const uint8_t> bytes_;
  const StreamVisitor &visitor_;
  DecodeError &error_;
  size_t pos_ = 0;
  std::array<int, 6> header_{};
};

}  // namespace

bool Page::inked(int x, int y) const {
  if (x < 0 || y < 0 || x >= kPageBitmapWidth || y >= height) return false;
  const size_t index = static_cast<size_t>(y) * kPageBitmapRowBytes + static_cast<size_t>(x / 8);
  if (index >= bitmap.size()) return false;
  return (bitmap[index] & (0x80 >> (x % 8))) != 0;
}

const char *CommandName(uint8_t code) {
  const CommandKind *kind = FindCommand(code);
  return kind ? kind->name : nullptr;
}

bool DecodeStream(std::span<const uint8_t> bytes, const StreamVisitor &visitor,
                  DecodeError &error) {
  error = DecodeError{0, {}};
  try {
    Reader reader(bytes, visitor, error);
    return reader.Run();
  } catch (const std::bad_alloc &) {
    error.message = "out of memory for the page bitmap";
    return false;
  }
}

bool DecodeStream(std::span<const uint8_t> bytes, Stream &out, DecodeError &error) {
  out = Stream{};
  size_t held = 0;
  bool tooLarge = false;
  StreamVisitor visitor;
  visitor.header = [&](const JobHeader &header, size_t) {
    out.hasHeader = true;
    out.header = header;
  };
  visitor.page = [&](Page &&page) {
    held += page.bitmap.size();
    if (held > kMaxHeldBitmapBytes) {
      tooLarge = true;
      return false;
    }
    out.pages.push_back(std::move(page));
    return true;
  };
  if (DecodeStream(bytes, visitor, error)) return true;
  if (tooLarge)
    error.message = "expected at most 1 GiB of page bitmaps in one job, found more; "
                    "read the job page by page";
  return false;
}

}  // namespace kt50

// SPDX-License-Identifier: Apache-2.0
#include "stream_builder.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

namespace kt50test {

StreamBuilder &StreamBuilder::Raw(std::initializer_list<uint8_t> raw) {
  bytes.insert(bytes.end(), raw);
  return *this;
}

StreamBuilder &StreamBuilder::Le16(int value) {
  bytes.push_back(static_cast<uint8_t>(value & 0xFF));
  bytes.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
  return *this;
}

StreamBuilder &StreamBuilder::Header(int density, int speed, int repeat, int enhance,
                                     int overlap, int adjust) {
  Raw({0x1B, 0x7C, 0x44, static_cast<uint8_t>(density)});
  Raw({0x1B, 0x7C, 0x73, static_cast<uint8_t>(speed)});
  Raw({0x1B, 0x7C, 0x50, static_cast<uint8_t>(repeat)});
  Raw({0x1B, 0x7C, 0x41, static_cast<uint8_t>(enhance)});
  Raw({0x1B, 0x7C, 0x56, static_cast<uint8_t>(overlap)});
  Raw({0x1B, 0x7C, 0x43});
  return Le16(adjust);
}

StreamBuilder &StreamBuilder::Init() { return Raw({0x1B, 0x7C, 0x40}); }
StreamBuilder &StreamBuilder::Size(int width, int height) {
  Raw({0x1B, 0x7C, 0x45});
  Le16(width);
  return Le16(height);
}
StreamBuilder &StreamBuilder::LaneNo(int lane) {
  return Raw({0x1B, 0x7C, 0x4C, static_cast<uint8_t>(lane)});
}
StreamBuilder &StreamBuilder::OffsetY(int row) {
  Raw({0x1B, 0x7C, 0x59});
  return Le16(row);
}
StreamBuilder &StreamBuilder::Raster(int rows, int bytesPerRow) {
  Raw({0x1B, 0x7C, 0x30});
  Le16(bytesPerRow);
  return Le16(rows);
}
StreamBuilder &StreamBuilder::FF() { return Raw({0x1B, 0x7C, 0x0C}); }

StreamBuilder &StreamBuilder::Block(int lane, int firstRow, int rows,
                                    std::initializer_list<int> inkedRows, int x) {
  LaneNo(lane).OffsetY(firstRow).Raster(rows);
  const size_t data = bytes.size();
  bytes.resize(data + static_cast<size_t>(rows) * 310, 0);
  for (int row : inkedRows)
    bytes[data + static_cast<size_t>(row - firstRow) * 310 + static_cast<size_t>(x / 8)] |=
        static_cast<uint8_t>(0x80 >> (x % 8));
  return *this;
}

std::string TempPath(const std::string &name) {
  return ::testing::TempDir() + "kt50-decode-" + std::to_string(::getpid()) + "-" + name;
}

std::vector<uint8_t> ReadFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const std::string &path, const std::vector<uint8_t> &bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace kt50test

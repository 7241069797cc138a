// SPDX-License-Identifier: Apache-2.0
// Builds KT50 command streams byte by byte for the decoder tests, written
// from the stream layout directly rather than through any writer of ours.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace kt50test {

struct StreamBuilder {
  std::vector<uint8_t> bytes;

  StreamBuilder &Raw(std::initializer_list<uint8_t> raw);
  StreamBuilder &Le16(int value);
  // The 25-byte job header with the given values.
  StreamBuilder &Header(int density = 0, int speed = 0, int repeat = 0, int enhance = 0,
                        int overlap = 0, int adjust = 0);
  StreamBuilder &Init();
  StreamBuilder &Size(int width, int height);
  StreamBuilder &LaneNo(int lane);
  StreamBuilder &OffsetY(int row);
  StreamBuilder &Raster(int rows, int bytesPerRow = 310);
  StreamBuilder &FF();
  // LANE_NO, OFFSET_Y and RASTER of a block whose rows are all zero except
  // that pixel `x` (0..2479 within the lane) is inked in each row listed.
  StreamBuilder &Block(int lane, int firstRow, int rows, std::initializer_list<int> inkedRows = {},
                       int x = 0);
  size_t size() const { return bytes.size(); }
};

std::string TempPath(const std::string &name);
std::vector<uint8_t> ReadFile(const std::string &path);
void WriteFile(const std::string &path, const std::vector<uint8_t> &bytes);

}  // namespace kt50test

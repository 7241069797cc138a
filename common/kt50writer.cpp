// SPDX-License-Identifier: Apache-2.0
#include "kt50writer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>

namespace {

void WriteBytes(FILE *out, std::span<const uint8_t> bytes) {
  fwrite(bytes.data(), 1, bytes.size(), out);
}

template <size_t N>
std::array<uint8_t, N> WithValue16(std::array<uint8_t, N> command, size_t at, int32_t value) {
  command[at] = static_cast<uint8_t>(value);
  command[at + 1] = static_cast<uint8_t>(value >> 8);
  return command;
}

// True when any of the lane's bytes in this row is not zero.
bool LaneRowInked(const uint8_t *slice) {
  // Sixteen bytes a load in the vector registers every x86-64 processor has,
  // four loads in flight; the compiler's own vectoriser leaves this loop
  // scalar at -O2.
  using Bytes16 = uint64_t __attribute__((vector_size(16)));
  Bytes16 a{}, b{}, c{}, d{};
  int32_t i = 0;
  for (; i + 64 <= kLaneBytes; i += 64) {
    Bytes16 v[4];
    std::memcpy(v, slice + i, sizeof v);
    a |= v[0];
    b |= v[1];
    c |= v[2];
    d |= v[3];
  }
  for (; i + 16 <= kLaneBytes; i += 16) {
    Bytes16 v;
    std::memcpy(&v, slice + i, sizeof v);
    a |= v;
  }
  const Bytes16 all = a | b | c | d;
  uint64_t any = all[0] | all[1];
  for (; i < kLaneBytes; ++i) any |= slice[i];
  return any != 0;
}

const uint8_t *LaneSlice(const uint8_t *pageBitmap, int32_t row, int32_t lane) {
  return pageBitmap + static_cast<size_t>(row) * kPageBitmapRowBytes +
         static_cast<size_t>(lane) * kLaneBytes;
}

void WriteLaneBlock(FILE *out, const uint8_t *pageBitmap, int32_t lane, int32_t first,
                    int32_t last) {
  auto laneNo = g_ucESC_LANE_NO;
  laneNo[3] = static_cast<uint8_t>(lane + 1);
  WriteBytes(out, laneNo);
  WriteBytes(out, WithValue16(g_ucESC_OFFSET_Y, 3, first));
  WriteBytes(out, WithValue16(g_ucESC_RASTER, 5, last - first + 1));
  for (int32_t row = first; row <= last; ++row) {
    WriteBytes(out, {LaneSlice(pageBitmap, row, lane), static_cast<size_t>(kLaneBytes)});
  }
}

// The lane blocks of a page whose ink lies in rows 0 .. inkRows - 1.
void WriteLanes(FILE *out, const uint8_t *pageBitmap, int32_t pageWidth, int32_t inkRows) {
  const int32_t lanes = std::min(std::max(pageWidth, 0) / kLaneWidth + 1, kLaneCount);
  const int32_t rows = std::clamp(inkRows, 0, kPageBitmapHeight);
  for (int32_t lane = 0; lane < lanes; ++lane) {
    int32_t first = 0;
    while (first < rows && !LaneRowInked(LaneSlice(pageBitmap, first, lane))) ++first;
    if (first == rows) continue;
    int32_t last = rows - 1;
    while (!LaneRowInked(LaneSlice(pageBitmap, last, lane))) --last;
    WriteLaneBlock(out, pageBitmap, lane, first, last);
  }
}

}  // namespace

void WriteJobHeader(FILE *out, const tagJOBSETTINGS &s) {
  std::array<uint8_t, kJobHeaderSize> header = g_JobHeader;
  SetPrintJobHeader(header.data(), s.writeDensity, s.adjustLength, s.writeSpeed, s.writeRepeat,
                    s.lineEnhance, s.laneOverlap);
  WriteBytes(out, header);
}

void WritePage(FILE *out, const uint8_t *pageBitmap, int32_t sizeWidth, int32_t sizeHeight,
               int32_t inkRows) {
  WriteBytes(out, g_ucESC_INIT);
  WriteBytes(out, WithValue16(WithValue16(g_ucESC_SIZE, 3, sizeWidth), 5, sizeHeight));
  WriteLanes(out, pageBitmap, sizeWidth, inkRows);
  WriteBytes(out, g_ucESC_FF);
}

int SendPrinterCommandForPageBitmap(const uint8_t *pageBitmap, int32_t pageWidth,
                                    int32_t pageHeight, FILE *out) {
  WriteLanes(out, pageBitmap, pageWidth, pageHeight);
  return 1;
}

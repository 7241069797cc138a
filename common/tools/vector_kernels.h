// Vector forms of the filter's hot loops. Each does whole vector steps only
// and tells how far it got; the caller finishes the rest with its plain code,
// which stays the reference. The instruction set is chosen at the first call
// (the best the processor has among those built in) and kept.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vk {

// Simple screens: output bytes 0 .. fullBytes - 1 of a row of `count` pixels
// (fullBytes <= count / 8), a bit set where (5R + 9G + 2B) < t16[column % 8]
// (t16 = 16 x threshold). With mirror, output column x takes source pixel
// count - 1 - x. Returns the number of leading bytes written.
int32_t GrayBits(uint8_t *dst, const uint8_t *src, int32_t fullBytes, int32_t count,
                 const uint16_t *t16, int32_t mirror);

// Gray front ends: rgb[3x] = rgb[3x + 1] = rgb[3x + 2] = gray[x] ^ flip for
// pixels 0 .. pixels - 1. Returns the number of leading pixels written.
int32_t GrayToRgb(uint8_t *rgb, const uint8_t *gray, int32_t pixels, uint8_t flip);

// Image road: ink values 255 - ((2449R + 4805G + 938B) >> 13) of source
// pixels 0 .. pixels - 1 into row[j], or row[last - j] with mirror. Returns
// the number of leading source pixels converted.
int32_t InkLine(uint8_t *row, const uint8_t *rgb, int32_t pixels, int32_t mirror, int32_t last);

// AM screen: whole bytes of bits, 1 (blank) where ink[i] <= thresholds at
// matrix column (column + i) mod side. `thresholds` holds `avail` entries of
// the row contiguous from column 0 (side, or more for a row extended
// periodically). Returns the number of bytes written and moves column on.
int64_t AmiBytes(uint8_t *dst, const uint8_t *ink, int64_t bytes, const uint8_t *thresholds,
                 int64_t avail, int64_t side, int64_t *column);

// Error diffusion of `groups` x DiffuseLanes() consecutive rows at once (one
// row a lane, groups of at most kDiffuseGroups), each row two columns behind
// the one above, over columns 0 .. width - 1. Column `width`
// of every row is taken to hold above[width + 1], the error the row above
// has there: the margin's 0 for a whole row, or the value of a settled
// stretch that the rows repeat. Returns whether every row's error at column
// width - 1 equals the row above's there (above[width] on entry), which is
// what makes such a stretch repeat.
struct tagDIFFUSEGROUP {
  const uint8_t *src;   // first row's ink values
  int64_t srcPitch;
  uint8_t *dst;         // first row's bitmap row
  int64_t dstPitch;
  int64_t left;         // bit column of rectangle column 0
  int64_t width;
  int8_t *above;        // width + 2 errors of the row above, margins 0;
                        // receives the group's last row
  uint8_t *scratch;     // ScratchBytes(width) bytes
  const int32_t *curve; // 256 entries each source value is mapped through
  int32_t groups;       // 1 .. kDiffuseGroups
  int32_t rows;         // with one group: the rows there are, 1 .. lanes;
                        // otherwise groups x lanes
};
inline constexpr int32_t kDiffuseGroups = 2;
size_t DiffuseLanes();  // 0 when the chosen instruction set has no lanes to spare
size_t DiffuseScratchBytes(int64_t width);
bool DiffuseGroup(const tagDIFFUSEGROUP &group);

// Name of the instruction set in use, for the benchmark's report.
const char *TargetName();

}  // namespace vk

// SPDX-License-Identifier: Apache-2.0
// Rectangles of the image road: inclusive edges in 64-bit page or band
// coordinates.
#pragma once

#include <cstdint>

struct tagRECT64 {
  int64_t left;
  int64_t top;
  int64_t right;
  int64_t bottom;
};

// |right - left| + 1, as the binarizers count a rectangle's columns.
int32_t mGetRectWidth(const tagRECT64 *rect);
// |bottom - top| + 1.
int32_t mGetRectHeight(const tagRECT64 *rect);

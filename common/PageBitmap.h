// SPDX-License-Identifier: Apache-2.0
// Layout of the 1-bit page bitmap that the screens draw into and the lane
// writer sends, shared by the page loop and the image pipeline.
#pragma once

#include <cstdint>

// Page bitmap: 1 = ink, leftmost pixel in the most significant bit, rows of
// 1240 bytes one after another, four lanes of 310 bytes per row.
inline constexpr int32_t kPageBitmapWidth = 9920;
inline constexpr int32_t kPageBitmapRowBytes = 1240;
inline constexpr int32_t kPageBitmapHeight = 14645;
inline constexpr int32_t kPageBitmapSize = kPageBitmapRowBytes * kPageBitmapHeight;
inline constexpr int32_t kLaneCount = 4;
inline constexpr int32_t kLaneWidth = 2480;
inline constexpr int32_t kLaneBytes = 310;
// The size command never announces less than this in either direction.
inline constexpr int32_t kMinPageExtent = 2364;

// SPDX-License-Identifier: Apache-2.0
// Rectangle measures of the image road.
#include "TAVIK_ImageLib.h"

int32_t mGetRectWidth(const tagRECT64 *rect) {
  const int64_t d = rect->right - rect->left;
  return static_cast<int32_t>((d < 0 ? -d : d) + 1);
}

int32_t mGetRectHeight(const tagRECT64 *rect) {
  const int64_t d = rect->bottom - rect->top;
  return static_cast<int32_t>((d < 0 ? -d : d) + 1);
}

// SPDX-License-Identifier: Apache-2.0
#include "cmnFilter.h"

void SetPrintJobHeader(uint8_t *header, int32_t writeDensity, int32_t adjustLength,
                       int32_t writeSpeed, int32_t writeRepeat, int32_t lineEnhance,
                       int32_t laneOverlap) {
  constexpr int value = 3;  // a value follows its command's three bytes
  header[kHeaderAtWriteDensity + value] = static_cast<uint8_t>(writeDensity);
  header[kHeaderAtWriteSpeed + value] = static_cast<uint8_t>(writeSpeed);
  header[kHeaderAtWriteRepeat + value] = static_cast<uint8_t>(writeRepeat);
  header[kHeaderAtLineEnhance + value] = static_cast<uint8_t>(lineEnhance);
  header[kHeaderAtLaneOverlap + value] = static_cast<uint8_t>(laneOverlap);
  header[kHeaderAtAdjustLength + value] = static_cast<uint8_t>(adjustLength);
  header[kHeaderAtAdjustLength + value + 1] = static_cast<uint8_t>(adjustLength >> 8);
}

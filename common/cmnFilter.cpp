// SPDX-License-Identifier: Apache-2.0
#include "cmnFilter.h"

void SetPrintJobHeader(uint8_t *header, int32_t writeDensity, int32_t adjustLength,
                       int32_t writeSpeed, int32_t writeRepeat, int32_t lineEnhance,
                       int32_t laneOverlap) {
  header[3] = static_cast<uint8_t>(writeDensity);
  header[7] = static_cast<uint8_t>(writeSpeed);
  header[11] = static_cast<uint8_t>(writeRepeat);
  header[15] = static_cast<uint8_t>(lineEnhance);
  header[19] = static_cast<uint8_t>(laneOverlap);
  header[23] = static_cast<uint8_t>(adjustLength);
  header[24] = static_cast<uint8_t>(adjustLength >> 8);
}

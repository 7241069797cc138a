#include "tools.h"

namespace {

// Eight output pixels into one byte. `step` is +3 or -3: the source walks
// forwards, or backwards when mirroring. `n` may be below 8 for the last byte.
template <int step>
inline uint8_t PackPixels(const uint8_t *src, const uint8_t *thresholds, int n) {
  uint32_t bits = 0;
  for (int j = 0; j < n; ++j) {
    const uint8_t *p = src + step * j;
    bits |= static_cast<uint32_t>(GrayOfRGB(p[0], p[1], p[2]) < thresholds[j]) << (7 - j);
  }
  return static_cast<uint8_t>(bits);
}

// Byte i covers output columns 8i..8i+7; its first source pixel is 8i, or
// count - 1 - 8i when mirroring.
template <int step>
void ConvertRow(uint8_t *dst, const uint8_t *src, int32_t count, const uint8_t *thresholds) {
  const int32_t fullBytes = count / 8;
  for (int32_t i = 0; i < fullBytes; ++i) {
    const int64_t first = step > 0 ? 8 * int64_t{i} : int64_t{count} - 1 - 8 * int64_t{i};
    dst[i] = PackPixels<step>(src + 3 * first, thresholds, 8);
  }
  if (const int rest = count % 8; rest != 0) {
    const int64_t first = step > 0 ? 8 * int64_t{fullBytes} : int64_t{rest} - 1;
    dst[fullBytes] = PackPixels<step>(src + 3 * first, thresholds, rest);
  }
}

}  // namespace

int32_t ConvertLineBuffer24To01(uint8_t *dst, const uint8_t *src, int32_t count,
                                const tagDITHER &matrix, int32_t row, int32_t mirror) {
  if (count <= 0) return 0;
  const uint8_t *thresholds = matrix[static_cast<uint32_t>(row) % 8].data();
  if (mirror) {
    ConvertRow<-3>(dst, src, count, thresholds);
  } else {
    ConvertRow<3>(dst, src, count, thresholds);
  }
  return (count + 7) / 8;
}

#include "tools.h"

#include "vector_kernels.h"

namespace {

// Threshold row scaled by 16: (v >> 4) < t exactly when v < 16 t, which
// spares the shift per pixel.
using tagTHRESHOLDS16 = std::array<uint32_t, 8>;

// Up to eight output pixels into one byte. `step` is +3 or -3: the source
// walks forwards, or backwards when mirroring.
template <int step, int n>
inline uint8_t PackPixels(const uint8_t *src, const tagTHRESHOLDS16 &t16) {
  uint32_t bits = 0;
#pragma GCC unroll 8
  for (int j = 0; j < n; ++j) {
    const uint8_t *p = src + step * j;
    bits |= static_cast<uint32_t>(5u * p[0] + 9u * p[1] + 2u * p[2] < t16[j]) << (7 - j);
  }
  return static_cast<uint8_t>(bits);
}

template <int step>
uint8_t PackLastPixels(const uint8_t *src, const tagTHRESHOLDS16 &t16, int n) {
  uint32_t bits = 0;
  for (int j = 0; j < n; ++j) {
    const uint8_t *p = src + step * j;
    bits |= static_cast<uint32_t>(GrayOfRGB(p[0], p[1], p[2]) * 16 < t16[j]) << (7 - j);
  }
  return static_cast<uint8_t>(bits);
}

// Byte i covers output columns 8i..8i+7; its first source pixel is 8i, or
// count - 1 - 8i when mirroring.
// `from` bytes are already done by the vector kernel.
template <int step>
void ConvertRow(uint8_t *dst, const uint8_t *src, int32_t count, const tagTHRESHOLDS16 &t16,
                int32_t from) {
  const int32_t fullBytes = count / 8;
  for (int32_t i = from; i < fullBytes; ++i) {
    const int64_t first = step > 0 ? 8 * int64_t{i} : int64_t{count} - 1 - 8 * int64_t{i};
    dst[i] = PackPixels<step, 8>(src + 3 * first, t16);
  }
  if (const int rest = count % 8; rest != 0) {
    const int64_t first = step > 0 ? 8 * int64_t{fullBytes} : int64_t{rest} - 1;
    dst[fullBytes] = PackLastPixels<step>(src + 3 * first, t16, rest);
  }
}

}  // namespace

int32_t ConvertLineBuffer24To01(uint8_t *dst, const uint8_t *src, int32_t count,
                                const tagDITHER &matrix, int32_t row, int32_t mirror) {
  if (count <= 0) return 0;
  tagTHRESHOLDS16 t16;
  const auto &thresholds = matrix[static_cast<uint32_t>(row) % 8];
  for (int j = 0; j < 8; ++j) t16[j] = uint32_t{thresholds[j]} * 16;
  uint16_t t16v[8];
  for (int j = 0; j < 8; ++j) t16v[j] = static_cast<uint16_t>(t16[j]);
  const int32_t done = vk::GrayBits(dst, src, count / 8, count, t16v, mirror);
  if (mirror) {
    ConvertRow<-3>(dst, src, count, t16, done);
  } else {
    ConvertRow<3>(dst, src, count, t16, done);
  }
  return (count + 7) / 8;
}

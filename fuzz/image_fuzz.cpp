// The image decoder on any bytes: a picture it accepts has the size it
// claims and stays inside the limits; a refusal always says why.
// Pictures are allowed 2^20 pixels: a few bytes can claim one of 64 Mi pixels
// and still decode (libjpeg fills missing data with gray, arithmetic coding
// needs next to no data), which takes seconds under the sanitizers. Larger
// sizes are the hostile-input tests'.
#include <cstdint>
#include <span>
#include <string>

#include "fuzz_checks.h"
#include "image_decode.h"

namespace {
constexpr uint64_t kMaxPixels = uint64_t{1} << 20;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  tagDECODEDIMAGE image;
  std::string error;
  if (DecodeImage(std::span<const uint8_t>(data, size), image, error, kMaxPixels)) {
    FUZZ_CHECK(error.empty());
    FUZZ_CHECK(image.width >= 1 && image.width <= kMaxImageSide);
    FUZZ_CHECK(image.height >= 1 && image.height <= kMaxImageSide);
    FUZZ_CHECK(uint64_t{image.width} * image.height <= kMaxPixels);
    FUZZ_CHECK(image.rgb.size() == size_t{3} * image.width * image.height);
  } else {
    FUZZ_CHECK(!error.empty() && image.rgb.empty());
  }
  return 0;
}

#include "reference.h"

#include <algorithm>

namespace ref {

int Threshold(int code, uint32_t y, uint32_t x) {
  switch (code) {
    case 0: return 128;
    case 1: return kCoarse[y % 8][x % 8];
    case 2: return kFine[y % 8][x % 8];
    case 5: return 255;
    default: return 0;
  }
}

Page Render(uint32_t rasterWidth, uint32_t rasterHeight, const Pixel &pixel, int code, bool mirror) {
  const uint32_t w = std::min<uint32_t>(rasterWidth, 9920);
  const uint32_t h = std::min<uint32_t>(rasterHeight, 14645);
  Page page;
  page.width = static_cast<int32_t>(std::max<uint32_t>(w, 2364));
  page.height = static_cast<int32_t>(std::max<uint32_t>(h, 2364));
  page.bitmap.assign(static_cast<size_t>(page.height) * 1240, 0);
  for (uint32_t y = 0; y < h; ++y) {
    for (uint32_t x = 0; x < w; ++x) {
      const Rgb c = pixel(mirror ? w - 1 - x : x, y);
      const int gray = (5 * c.r + 9 * c.g + 2 * c.b) / 16;
      if (gray < Threshold(code, y, x)) page.bitmap[y * 1240 + x / 8] |= 0x80 >> (x % 8);
    }
  }
  return page;
}

namespace {
void Put16(std::vector<uint8_t> &out, int value) {
  out.push_back(static_cast<uint8_t>(value & 0xFF));
  out.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
}
void Command(std::vector<uint8_t> &out, uint8_t letter) {
  out.insert(out.end(), {0x1B, 0x7C, letter});
}
}  // namespace

std::vector<uint8_t> JobHeader(const Settings &s) {
  std::vector<uint8_t> out;
  const std::pair<uint8_t, int> fields[] = {{'D', s.density}, {'s', s.speed},   {'P', s.repeat},
                                            {'A', s.enhance}, {'V', s.overlap}};
  for (const auto &[letter, value] : fields) {
    Command(out, letter);
    out.push_back(static_cast<uint8_t>(value & 0xFF));
  }
  Command(out, 'C');
  Put16(out, s.length);
  return out;
}

std::vector<uint8_t> PageCommands(const Page &page) {
  std::vector<uint8_t> out;
  Command(out, 0x40);
  Command(out, 0x45);
  Put16(out, page.width);
  Put16(out, page.height);
  const int lanes = std::min(page.width / 2480 + 1, 4);
  for (int k = 0; k < lanes; ++k) {
    int first = -1, last = -1;
    for (int y = 0; y < page.height; ++y) {
      const uint8_t *slice = &page.bitmap[static_cast<size_t>(y) * 1240 + 310 * k];
      if (std::any_of(slice, slice + 310, [](uint8_t b) { return b != 0; })) {
        if (first < 0) first = y;
        last = y;
      }
    }
    if (first < 0) continue;
    Command(out, 0x4C);
    out.push_back(static_cast<uint8_t>(k + 1));
    Command(out, 0x59);
    Put16(out, first);
    Command(out, 0x30);
    Put16(out, 310);
    Put16(out, last - first + 1);
    for (int y = first; y <= last; ++y) {
      const uint8_t *slice = &page.bitmap[static_cast<size_t>(y) * 1240 + 310 * k];
      out.insert(out.end(), slice, slice + 310);
    }
  }
  Command(out, 0x0C);
  return out;
}

std::vector<uint8_t> Job(const Settings &s, const std::vector<Page> &pages) {
  if (pages.empty()) return {};
  std::vector<uint8_t> out = JobHeader(s);
  for (const Page &page : pages) {
    const std::vector<uint8_t> commands = PageCommands(page);
    out.insert(out.end(), commands.begin(), commands.end());
  }
  return out;
}

}  // namespace ref

namespace ref {
std::vector<uint8_t> ConvertLine(const uint8_t *rgb, int count, int code, uint32_t row, bool mirror) {
  std::vector<uint8_t> out((count + 7) / 8, 0);
  for (int x = 0; x < count; ++x) {
    const uint8_t *p = rgb + 3 * (mirror ? count - 1 - x : x);
    const int gray = (5 * p[0] + 9 * p[1] + 2 * p[2]) / 16;
    if (gray < Threshold(code, row, static_cast<uint32_t>(x))) out[x / 8] |= 0x80 >> (x % 8);
  }
  return out;
}
}  // namespace ref

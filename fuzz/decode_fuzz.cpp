// The stream decoder on any bytes: the checking walk with its listing, the
// rendering walk that places every page's bitmap and writes it as a
// picture, and the form that keeps all pages must agree with each other.
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "fuzz_checks.h"
#include "kt50image.h"
#include "kt50stream.h"

namespace {

struct PageShape {
  int width, height;
  size_t lanes;
  bool operator==(const PageShape &) const = default;
};

// A listing line as vantrex-decode --list prints it, into a buffer.
void ListCommand(const kt50::Command &cmd, std::string &listing) {
  char line[160];
  snprintf(line, sizeof line, "%zu %s %d %d %zu %zu\n", cmd.offset, kt50::CommandName(cmd.code),
           cmd.params[0], cmd.params[1], cmd.dataBytes, cmd.dataOffset);
  listing += line;
}

// Pages kept at once by the Stream form stay below this, so one input
// cannot take the fuzzer's memory.
constexpr size_t kMaxHeldBytes = size_t{16} << 20;
constexpr int kMaxPicturePixels = 1 << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);

  std::vector<PageShape> checked;
  std::string listing;
  kt50::StreamVisitor check;
  check.placeBitmaps = false;
  check.command = [&](const kt50::Command &cmd) {
    FUZZ_CHECK(cmd.offset < size);
    FUZZ_CHECK(cmd.dataOffset + cmd.dataBytes <= size);
    ListCommand(cmd, listing);
  };
  check.page = [&](kt50::Page &&page) {
    FUZZ_CHECK(page.width >= kt50::kMinWidth && page.width <= kPageBitmapWidth);
    FUZZ_CHECK(page.height >= kt50::kMinHeight && page.height <= kPageBitmapHeight);
    checked.push_back({page.width, page.height, page.lanes.size()});
    return true;
  };
  kt50::DecodeError checkError{};
  const bool valid = kt50::DecodeStream(bytes, check, checkError);

  std::vector<PageShape> rendered;
  size_t heldBytes = 0;
  std::string imageError;
  kt50::StreamVisitor render;
  render.page = [&](kt50::Page &&page) {
    FUZZ_CHECK(page.bitmap.size() == static_cast<size_t>(page.height) * kPageBitmapRowBytes);
    rendered.push_back({page.width, page.height, page.lanes.size()});
    heldBytes += page.bitmap.size();
    // Pictures of small pages only: a picture costs its whole page, and the
    // writers see every page size through the small ones.
    if (page.width * page.height <= kMaxPicturePixels) {
      const auto format = page.height % 2 == 0 ? kt50::ImageFormat::Png : kt50::ImageFormat::Pbm;
      FUZZ_CHECK(kt50::WritePageImage(page, format, "/dev/null", imageError));
    }
    return true;
  };
  kt50::DecodeError renderError{};
  const bool renderedAll = kt50::DecodeStream(bytes, render, renderError);
  FUZZ_CHECK(renderedAll == valid);
  if (!valid) FUZZ_CHECK(renderError.offset == checkError.offset && checked == rendered);
  FUZZ_CHECK(checked == rendered);

  if (heldBytes <= kMaxHeldBytes) {
    kt50::Stream stream;
    kt50::DecodeError streamError{};
    FUZZ_CHECK(kt50::DecodeStream(bytes, stream, streamError) == valid);
    if (valid) {
      FUZZ_CHECK(stream.pages.size() == checked.size());
      for (size_t i = 0; i < checked.size(); ++i)
        FUZZ_CHECK(stream.pages[i].width == checked[i].width &&
                   stream.pages[i].height == checked[i].height);
    }
  }
  return 0;
}

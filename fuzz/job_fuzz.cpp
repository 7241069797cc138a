// A whole job through the filter's own job loop: raster bytes read from
// memory, the command stream written to memory. Input: one byte choosing
// the screening method (0-5; anything else keeps the option text's), CUPS
// option text up to a NUL byte, then the raster. Whatever comes in, the
// stream must decode, its pages must be counted once, and a job that ends
// with status 0 reports no error.
#include <sys/types.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_checks.h"
#include "kt50stream.h"
#include "kt50protocol.h"
#include "options.h"
#include "rasterfront.h"

namespace {

struct MemoryInput {
  const uint8_t *data;
  size_t left;
};

ssize_t ReadMemory(void *ctx, unsigned char *buffer, size_t length) {
  auto *input = static_cast<MemoryInput *>(ctx);
  const size_t n = std::min(length, input->left);
  if (n > 0) std::memcpy(buffer, input->data, n);
  input->data += n;
  input->left -= n;
  return static_cast<ssize_t>(n);
}

// A buffer that a FILE* writes into, freed at the end of the run.
struct MemoryFile {
  char *data = nullptr;
  size_t size = 0;
  FILE *file = open_memstream(&data, &size);
  ~MemoryFile() {
    if (file != nullptr) fclose(file);
    free(data);
  }
  std::string_view Close() {
    fclose(file);
    file = nullptr;
    return {data, size};
  }
};

tagJOBSETTINGS Settings(uint8_t method, std::string_view optionText) {
  const std::string text(optionText);
  cups_option_t *options = nullptr;
  const int n = cupsParseOptions(text.c_str(), 0, &options);
  tagJOBSETTINGS settings = GetJobSettings(n, options, nullptr);
  cupsFreeOptions(n, options);
  if (method < kDotScreeningCount) settings.dotScreening = method;
  return settings;
}

// Counts the "PAGE:" lines; every line must carry one of the prefixes the
// scheduler reads.
int CheckMessages(std::string_view messages, bool &hasError) {
  int pages = 0;
  hasError = false;
  while (!messages.empty()) {
    const size_t end = messages.find('\n');
    FUZZ_CHECK(end != std::string_view::npos);  // whole lines only
    const std::string_view line = messages.substr(0, end);
    messages.remove_prefix(end + 1);
    if (line.starts_with("PAGE: ")) ++pages;
    else if (line.starts_with("ERROR: ")) hasError = true;
    else FUZZ_CHECK(line.starts_with("INFO: ") || line.starts_with("DEBUG: "));
  }
  return pages;
}

// What a job may cost the fuzzer: bitmap rows and drawn pixels over all its
// pages. A job's time follows these, and a few compressed bytes can claim a
// whole page of 9920 x 14645 (a second under the sanitizers), so pages up to
// the budget are fuzzed here, and larger ones by the hostile-input tests and
// the benchmark. Pages the filter refuses from their header cost nothing.
constexpr uint64_t kBudgetRows = 1024;
constexpr uint64_t kBudgetPixels = uint64_t{1} << 18;

bool WithinBudget(std::span<const uint8_t> raster) {
  MemoryInput input{raster.data(), raster.size()};
  cups_raster_t *ras = cupsRasterOpenIO(ReadMemory, &input, CUPS_RASTER_READ);
  if (ras == nullptr) return true;
  uint64_t rows = 0, pixels = 0;
  std::vector<uint8_t> line;
  cups_page_header2_t h;
  bool within = true;
  while (within && cupsRasterReadHeader2(ras, &h)) {
    if (h.cupsWidth > kMaxRasterWidth || h.cupsHeight > kMaxRasterHeight ||
        h.cupsBitsPerPixel != 24 || h.cupsBytesPerLine > 3 * kMaxRasterWidth + kMaxLinePadding)
      break;
    const uint64_t pageRows = std::min<uint64_t>(h.cupsHeight, kPageBitmapHeight);
    rows += pageRows;
    pixels += pageRows * std::min<uint64_t>(h.cupsWidth, kPageBitmapWidth);
    within = rows <= kBudgetRows && pixels <= kBudgetPixels;
    line.resize(h.cupsBytesPerLine);
    for (uint32_t y = 0; within && y < h.cupsHeight; ++y)
      if (cupsRasterReadPixels(ras, line.data(), h.cupsBytesPerLine) != h.cupsBytesPerLine) break;
  }
  cupsRasterClose(ras);
  return within;
}

}  // namespace

// libcups sizes a compressed stream's line buffer from a page header before
// the filter sees the header, and a header may claim lines of up to 4 GB.
// That memory is never touched (the filter refuses the page), but under
// AddressSanitizer a calloc of hundreds of megabytes costs a tenth of a
// second and more. As on a machine short of memory, allocations over 64 MB
// (the filter's largest is the 18 MB page bitmap) fail here, so libcups
// refuses such a header and the run goes on at its usual pace.
// The quarantine of freed memory holds 32 MB, more than any one job frees,
// instead of 256 MB: the smaller set of pages is reused, not faulted in anew.
extern "C" const char *__asan_default_options() {
  return "allocator_may_return_null=1:max_allocation_size_mb=64:quarantine_size_mb=32";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  const std::string_view rest(reinterpret_cast<const char *>(data) + 1, size - 1);
  const size_t split = std::min(rest.find('\0'), rest.size());
  const tagJOBSETTINGS settings = Settings(data[0], rest.substr(0, split));
  const size_t rasterStart = std::min(size, 1 + split + 1);
  // Not kept in the corpus either.
  if (!WithinBudget({data + rasterStart, size - rasterStart})) return -1;
  MemoryInput input{data + rasterStart, size - rasterStart};

  MemoryFile out, messages;
  FUZZ_CHECK(out.file != nullptr && messages.file != nullptr);
  const int status = RunFilterJob(ReadMemory, &input, settings, out.file, messages.file);
  FUZZ_CHECK(status == 0 || status == 1);
  const std::string_view stream = out.Close();
  bool hasError = false;
  const int pageLines = CheckMessages(messages.Close(), hasError);
  FUZZ_CHECK(hasError == (status != 0));

  int decodedPages = 0;
  kt50::StreamVisitor count;
  count.placeBitmaps = false;
  count.page = [&decodedPages](kt50::Page &&) { return ++decodedPages > 0; };
  kt50::DecodeError error{};
  const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t *>(stream.data()),
                                       stream.size());
  FUZZ_CHECK(kt50::DecodeStream(bytes, count, error));
  FUZZ_CHECK(decodedPages == pageLines);
  return 0;
}

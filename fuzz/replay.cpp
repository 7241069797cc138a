// Runs a harness's libFuzzer entry without libFuzzer: over every file of the
// given folders (its seed corpus and the crashes kept there), then over a
// fixed number of mutations of each, drawn from a fixed seed, so a run is
// the same every time. A failing input aborts, as under the fuzzer.
//   vantrex-fuzz-replay-NAME [--mutations N] DIR|FILE...
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> ReadFile(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<fs::path> Inputs(const std::vector<std::string> &args) {
  std::vector<fs::path> files;
  for (const std::string &arg : args) {
    if (fs::is_directory(arg)) {
      for (const auto &entry : fs::directory_iterator(arg))
        if (entry.is_regular_file()) files.push_back(entry.path());
    } else {
      files.emplace_back(arg);
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

// One of libFuzzer's simpler moves: flip a bit, set a byte, cut the tail,
// repeat a slice, or drop a slice.
std::vector<uint8_t> Mutate(std::vector<uint8_t> bytes, std::mt19937 &random) {
  const auto pick = [&random](size_t n) { return n == 0 ? 0 : random() % n; };
  switch (random() % 5) {
    case 0:
      if (!bytes.empty()) bytes[pick(bytes.size())] ^= static_cast<uint8_t>(1u << pick(8));
      break;
    case 1:
      if (!bytes.empty()) bytes[pick(bytes.size())] = static_cast<uint8_t>(random());
      break;
    case 2:
      bytes.resize(pick(bytes.size() + 1));
      break;
    case 3: {
      const size_t from = pick(bytes.size()), length = std::min<size_t>(pick(64) + 1, bytes.size() - from);
      const std::vector<uint8_t> slice(bytes.begin() + from, bytes.begin() + from + length);
      bytes.insert(bytes.begin() + pick(bytes.size() + 1), slice.begin(), slice.end());
      break;
    }
    default: {
      const size_t from = pick(bytes.size()), length = std::min<size_t>(pick(64) + 1, bytes.size() - from);
      bytes.erase(bytes.begin() + from, bytes.begin() + from + length);
      break;
    }
  }
  return bytes;
}

}  // namespace

int main(int argc, char **argv) {
  int mutations = 0;
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--mutations" && i + 1 < argc) mutations = std::atoi(argv[++i]);
    else args.push_back(arg);
  }
  const std::vector<fs::path> files = Inputs(args);
  if (files.empty()) {
    std::fprintf(stderr, "usage: %s [--mutations N] DIR|FILE...: no input found\n", argv[0]);
    return 2;
  }
  std::mt19937 random(20261208);
  long runs = 0;
  for (const fs::path &file : files) {
    const std::vector<uint8_t> bytes = ReadFile(file);
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    ++runs;
    std::vector<uint8_t> mutated = bytes;
    for (int m = 0; m < mutations; ++m, ++runs) {
      // Mutations build on each other for a while, then start again from the seed.
      mutated = Mutate(m % 8 == 0 ? bytes : mutated, random);
      LLVMFuzzerTestOneInput(mutated.data(), mutated.size());
    }
  }
  std::printf("%zu inputs, %ld runs\n", files.size(), runs);
  return 0;
}

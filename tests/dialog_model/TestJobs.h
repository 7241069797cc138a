// SPDX-License-Identifier: Apache-2.0
// Stored test jobs written by the tests, and a TMPDIR pointed at a scratch
// directory so that no temporary file can hide elsewhere.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <string>

#include "TestPpd.h"
#include "cmnFilter.h"

namespace dialog_model_test {

// A job header record whose value fields hold 0x55, followed by `payload`
// bytes of a pattern; cut to `size` bytes when it is shorter.
inline std::string storedJobBytes(std::size_t size) {
  std::string bytes(g_JobHeader.begin(), g_JobHeader.end());
  for (int offset : {3, 7, 11, 15, 19, 23, 24}) bytes[offset] = 0x55;
  for (std::size_t i = bytes.size(); i < size; ++i) bytes.push_back(static_cast<char>(i * 7 + 1));
  bytes.resize(size);
  return bytes;
}

class TmpDirScope {
public:
  explicit TmpDirScope(const std::filesystem::path &dir) {
    if (const char *old = getenv("TMPDIR")) old_ = old;
    setenv("TMPDIR", dir.c_str(), 1);
  }
  ~TmpDirScope() {
    if (old_) {
      setenv("TMPDIR", old_->c_str(), 1);
    } else {
      unsetenv("TMPDIR");
    }
  }
  TmpDirScope(const TmpDirScope &) = delete;
  TmpDirScope &operator=(const TmpDirScope &) = delete;

private:
  std::optional<std::string> old_;
};

inline bool isEmptyDir(const std::filesystem::path &dir) {
  return std::filesystem::is_empty(dir);
}

}  // namespace dialog_model_test

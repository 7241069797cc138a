// SPDX-License-Identifier: Apache-2.0
// Owned, zero-filled buffers of the image road. Every block the pipeline
// allocates goes through Tavik_AllocZero so that running out of memory is a
// plain failure result, never an exception or a crash.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

struct TavikFree {
  void operator()(void *p) const { std::free(p); }
};

// calloc. Defined alone in TAVIK_Alloc.cpp so that a test program can link
// its own, failing one in its place.
void *Tavik_AllocZero(size_t count, size_t size);

template <class T>
class TavikBuffer {
 public:
  // Replaces the contents by count zero-filled elements; false when the
  // memory cannot be had (the buffer is then empty).
  bool Allocate(size_t count) {
    Release();
    if (count == 0) return false;
    data_.reset(static_cast<T *>(Tavik_AllocZero(count, sizeof(T))));
    if (!data_) return false;
    size_ = count;
    return true;
  }
  void Release() {
    data_.reset();
    size_ = 0;
  }
  T *get() const { return data_.get(); }
  size_t size() const { return size_; }
  explicit operator bool() const { return data_ != nullptr; }

 private:
  std::unique_ptr<T[], TavikFree> data_;
  size_t size_ = 0;
};

// SPDX-License-Identifier: Apache-2.0
// Reading CUPS raster page headers safely, for the filter and for the tools
// that read what the filter reads: a header that claims more than the
// printer can take is refused as it arrives, before libcups sizes its
// buffers from it, and a failed read is told apart from the clean end.
#pragma once

#include <sys/types.h>

#include <cups/raster.h>

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

// The input as libcups reads it (through ReadInput), with what the reads
// delivered: an end of input can then be told from a page header cut short
// or refused.
struct tagINPUT {
  cups_raster_iocb_t read = nullptr;
  void *ctx = nullptr;
  // Set when the job is cancelled: the failures that follow are not faults.
  const std::atomic<int> *cancelled = nullptr;
  uint64_t bytesIn = 0;
  std::array<char, 4> sync{};  // the stream's first bytes tell its header size
  int readErrno = 0;
  std::string refused;  // why a page header was refused as it arrived
  // While a page header is being read: the calls made and what the first
  // asked for and got.
  bool watching = false;
  int calls = 0;
  size_t firstAsked = 0;
  ssize_t firstGot = 0;
};

// The raster stream over an input; closes the stream when it goes.
struct tagRASTERIN {
  tagINPUT in;
  cups_raster_t *ras = nullptr;
  tagRASTERIN() = default;
  tagRASTERIN(const tagRASTERIN &) = delete;
  tagRASTERIN &operator=(const tagRASTERIN &) = delete;
  ~tagRASTERIN() {
    if (ras) cupsRasterClose(ras);
  }
};

// Opens the raster stream on `read` (as cupsRasterOpenIO takes it). False
// with no error for an input without a byte (an empty job), false with the
// reason for an input that cannot be read or is no CUPS raster.
bool OpenRasterInput(tagRASTERIN &raster, cups_raster_iocb_t read, void *ctx,
                     const std::atomic<int> *cancelled, std::string &error);

// Reads the next page header: true with a header; false at the clean end of
// the input (error stays empty) or with the reason the input failed.
bool NextHeader(tagRASTERIN &raster, cups_page_header2_t &header, int pageNumber,
                std::string &error);

// A page header's size and line length: at most kMaxRasterWidth x
// kMaxRasterHeight pixels, and lines long enough for their pixels and at
// most kMaxLinePadding bytes longer. Empty when the header passes.
std::string PageSizeFault(const cups_page_header2_t &h);

// The page header as the filter accepts it: 24-bit chunky RGB, and a size
// and lines as PageSizeFault takes them.
std::string HeaderFault(const cups_page_header2_t &h);

// SPDX-License-Identifier: Apache-2.0
// Helpers for the print-system tests: temporary folders, running programs,
// making PDFs from PostScript, running the system's filter chain with our
// PPD and filter, and looking at the decoded pages.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "kt50stream.h"
#include "private_cups.h"

namespace vantrex::test {

// A fresh folder under /tmp, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;
  const std::string &path() const { return path_; }
  std::string file(const std::string &name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::vector<uint8_t> ReadBytes(const std::string &path);
bool WriteBytes(const std::string &path, const std::vector<uint8_t> &bytes);

// Turns PostScript text into a PDF with Ghostscript's ps2pdf.
bool MakePdf(const std::string &postscript, const std::string &pdfPath, std::string &error);

// cupsfilter with our PPD and a private ServerBin that offers our filter, so
// the document takes the real road (the system's PDF and raster filters,
// then vantrex-filter) without installing anything.
class FilterChain {
 public:
  FilterChain(const std::string &filterPath, const std::string &ppdPath);
  bool ok() const { return ok_; }
  const std::string &error() const { return error_; }
  // Prints a document into a KT50 stream at outPath; the result carries the
  // chain's messages.
  CommandResult print(const std::string &document, const std::vector<std::string> &options,
                      const std::string &outPath) const;

 private:
  TempDir dir_;
  std::string ppd_;
  bool ok_ = false;
  std::string error_;
};

// Share of inked pixels in the rectangle [x0, x1) x [y0, y1) of a page.
double InkShare(const kt50::Page &page, int x0, int y0, int x1, int y1);

// x0, x1 of a column range after the filter's left-right mirroring of a
// page drawn width pixels wide.
std::pair<int, int> Mirrored(int x0, int x1, int width);

}  // namespace vantrex::test

// SPDX-License-Identifier: Apache-2.0
// Runs the real filter on a picture of ours and reads back what it printed.
#pragma once

#include <optional>
#include <string>

#include "image.h"

namespace vres {

// One page of 24-bit RGB CUPS raster (compressed, as real RIPs write it).
bool WriteRasterPage(const std::string &path, const RgbImage &image);

// Runs `filter` as CUPS would, with the raster file as its input and the job
// options as its fifth argument, standard output into `outPath`. Succeeds
// only when the filter ran and exited with status 0.
bool RunFilter(const std::string &filter, const std::string &options, const std::string &rasterPath,
               const std::string &outPath, std::string &error);

// Checks a command stream and gives the top-left width x height pixels of its
// only page as black (ink) and white.
std::optional<RgbImage> ReadPrintedPage(const Bytes &stream, int width, int height, std::string &error);

}  // namespace vres

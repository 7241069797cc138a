// SPDX-License-Identifier: Apache-2.0
#include "render.h"

#include <cups/raster.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "kt50stream.h"

extern char **environ;

namespace vres {

bool WriteRasterPage(const std::string &path, const RgbImage &image) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return false;
  cups_raster_t *raster = cupsRasterOpen(fd, CUPS_RASTER_WRITE_COMPRESSED);
  bool ok = raster != nullptr;
  if (ok) {
    cups_page_header2_t header;
    std::memset(&header, 0, sizeof header);
    header.cupsWidth = unsigned(image.width);
    header.cupsHeight = unsigned(image.height);
    header.cupsBitsPerColor = 8;
    header.cupsBitsPerPixel = 24;
    header.cupsBytesPerLine = unsigned(image.width) * 3;
    header.cupsColorOrder = CUPS_ORDER_CHUNKED;
    header.cupsColorSpace = CUPS_CSPACE_RGB;
    header.cupsNumColors = 3;
    header.HWResolution[0] = header.HWResolution[1] = 600;
    header.PageSize[0] = unsigned(image.width) * 72 / 600;
    header.PageSize[1] = unsigned(image.height) * 72 / 600;
    ok = cupsRasterWriteHeader2(raster, &header) != 0;
    std::vector<unsigned char> line(header.cupsBytesPerLine);
    for (int y = 0; ok && y < image.height; ++y) {
      for (int x = 0; x < image.width; ++x) {
        const Rgb &c = image.at(x, y);
        line[3 * size_t(x)] = c.r;
        line[3 * size_t(x) + 1] = c.g;
        line[3 * size_t(x) + 2] = c.b;
      }
      ok = cupsRasterWritePixels(raster, line.data(), unsigned(line.size())) == line.size();
    }
    cupsRasterClose(raster);
  }
  return (::close(fd) == 0) && ok;
}

bool RunFilter(const std::string &filter, const std::string &options, const std::string &rasterPath,
               const std::string &outPath, std::string &error) {
  const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (out < 0) {
    error = outPath + ": " + std::strerror(errno);
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out);
  std::vector<std::string> args = {filter, "1", "vantrex", "resources", "1", options, rasterPath};
  std::vector<char *> argv;
  for (std::string &a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, filter.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out);
  if (spawned != 0) {
    error = filter + ": " + std::strerror(spawned);
    return false;
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) {
      error = std::string("waitpid: ") + std::strerror(errno);
      return false;
    }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    error = filter + " failed with status " + std::to_string(status);
    return false;
  }
  return true;
}

std::optional<RgbImage> ReadPrintedPage(const Bytes &stream, int width, int height, std::string &error) {
  kt50::Stream decoded;
  kt50::DecodeError fault{};
  if (!kt50::DecodeStream(stream, decoded, fault)) {
    error = "offset " + std::to_string(fault.offset) + ": " + fault.message;
    return std::nullopt;
  }
  if (decoded.pages.size() != 1) {
    error = "expected one page, found " + std::to_string(decoded.pages.size());
    return std::nullopt;
  }
  const kt50::Page &page = decoded.pages.front();
  RgbImage image(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if (page.inked(x, y)) image.at(x, y) = kBlack;
  return image;
}

}  // namespace vres

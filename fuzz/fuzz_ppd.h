// A PPD parsed from text in memory. libcups reads PPDs through a file
// descriptor, so the text goes into an anonymous memory file first.
#pragma once

#include <cups/file.h>
#include <cups/ppd.h>
#include <sys/mman.h>
#include <unistd.h>

#include <string_view>

// The parsed PPD (free it with ppdClose), or null.
inline ppd_file_t *ParsePpdText(std::string_view text) {
  if (text.empty()) return nullptr;
  const int fd = memfd_create("fuzz-ppd", 0);
  if (fd < 0) return nullptr;
  if (write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size()) ||
      lseek(fd, 0, SEEK_SET) != 0) {
    close(fd);
    return nullptr;
  }
  cups_file_t *file = cupsFileOpenFd(fd, "r");  // closes fd when closed
  if (file == nullptr) {
    close(fd);
    return nullptr;
  }
  ppd_file_t *ppd = ppdOpen2(file);
  cupsFileClose(file);
  return ppd;
}

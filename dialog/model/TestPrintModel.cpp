// SPDX-License-Identifier: Apache-2.0
#include "TestPrintModel.h"

#include <cups/cups.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <memory>

#include "ValueText.h"
#include "cmnFilter.h"

#ifndef VANTREX_TEST_JOB_DIR
#define VANTREX_TEST_JOB_DIR "/usr/local/share/vantrex/"
#endif

namespace OptionPanel {

const char *defaultTestJobFolder() { return VANTREX_TEST_JOB_DIR; }

std::string formatWithIdentifier(std::string_view format, std::string_view identifier) {
  std::string out;
  bool replaced = false;
  for (std::size_t i = 0; i < format.size(); ++i) {
    const char next = i + 1 < format.size() ? format[i + 1] : '\0';
    if (format[i] == '%' && next == '%') {
      out += '%';
      ++i;
    } else if (format[i] == '%' && next == 's' && !replaced) {
      out += identifier;
      replaced = true;
      ++i;
    } else {
      out += format[i];
    }
  }
  return out;
}

std::string storedTestJobPath(int index, std::string_view folder) {
  if (index < 0 || index >= kTestPrintCount) return {};
  std::string path(folder.empty() ? std::string_view(defaultTestJobFolder()) : folder);
  if (!path.empty() && path.back() != '/') path += '/';
  path += formatWithIdentifier(kStoredTestJobNameFormat, s_TestPrintIdentifierList[index]);
  return path;
}

const char *testPrintMessageKey(bool success) { return success ? kMessageOkKey : kMessageNgKey; }

namespace {

struct FileCloser {
  void operator()(FILE *file) const { std::fclose(file); }
};
using File = std::unique_ptr<FILE, FileCloser>;

// Writes the settings into the header fields of the first chunk: speed,
// repeat and line enhancement as positions, the lane overlap as its position
// minus 3 (the PPD lists -3 to 3 in ascending order).
void patchHeader(uint8_t *header, const PanelSettings &s) {
  SetPrintJobHeader(header, s.nWriteDensityChoice, s.nAdjustLengthChoice, s.nWriteSpeedChoice,
                    s.nWriteRepeatChoice, s.nLineEnhanceChoice, s.nLaneOverlapChoice - 3);
}

bool copyPatched(FILE *in, FILE *out, const PanelSettings &s) {
  std::array<uint8_t, kCopyChunkSize> chunk;
  bool first = true;
  for (;;) {
    const std::size_t n = std::fread(chunk.data(), 1, chunk.size(), in);
    if (n == 0) break;
    if (first && n >= static_cast<std::size_t>(kJobHeaderSize)) patchHeader(chunk.data(), s);
    first = false;
    if (std::fwrite(chunk.data(), 1, n, out) != n) return false;
  }
  return !std::ferror(in);
}

}  // namespace

bool createTestPrintFileData(const PanelSettings &settings, char *tempName,
                             std::size_t tempNameSize, int index, std::string_view folder) {
  if (tempName == nullptr || tempNameSize == 0) return false;
  tempName[0] = '\0';
  const std::string jobPath = storedTestJobPath(index, folder);
  if (jobPath.empty()) return false;

  const int fd = cupsTempFd(tempName, static_cast<int>(tempNameSize));
  if (fd < 0) {
    tempName[0] = '\0';
    return false;
  }
  // The descriptor from cupsTempFd is used directly, so the file written is
  // the one created, whatever happens to the name meanwhile.
  File out(fdopen(fd, "wb"));
  if (!out) close(fd);
  File in(out ? std::fopen(jobPath.c_str(), "rb") : nullptr);
  bool ok = in && copyPatched(in.get(), out.get(), settings);
  if (out) ok = (std::fclose(out.release()) == 0) && ok;
  if (!ok) {
    unlink(tempName);
    tempName[0] = '\0';
  }
  return ok;
}

int sendPrinterFileData(const char *fileName, const char *queue, const char *jobTitle) {
  if (fileName == nullptr || queue == nullptr || queue[0] == '\0') return 0;
  cups_option_t *options = nullptr;
  const int numOptions = cupsAddOption("raw", "true", 0, &options);
  int jobId = 0;
  if (numOptions == 1) jobId = cupsPrintFile(queue, fileName, jobTitle, numOptions, options);
  cupsFreeOptions(numOptions, options);
  return jobId;
}

TestPrintResult runTestPrint(PanelSettings &settings, const PrintSettingsStore *printSettings,
                             int index, const TestPrintTarget &target) {
  TestPrintResult result;
  if (index < 0 || index >= kTestPrintCount) return result;
  result.identifier = s_TestPrintIdentifierList[index];

  restorePanelSettings(settings, printSettings);
  std::array<char, kTempNameSize> tempName{};
  if (createTestPrintFileData(settings, tempName.data(), tempName.size(), index, target.folder)) {
    const std::string title = formatWithIdentifier(target.jobTitleFormat, result.identifier);
    const bool queueUsable = !target.queue.empty() && isAsciiText(target.queue);
    result.jobId = sendPrinterFileData(tempName.data(), queueUsable ? target.queue.c_str() : nullptr,
                                       isAsciiText(title) ? title.c_str() : nullptr);
    unlink(tempName.data());
  }
  result.success = result.jobId != 0;
  result.messageKey = testPrintMessageKey(result.success);
  return result;
}

}  // namespace OptionPanel

// SPDX-License-Identifier: Apache-2.0
// The test print panel's logic: a stored test job (a finished command stream
// installed with the driver) is copied to a temporary file with its 25-byte
// job header rewritten from the current settings, submitted as a raw job to
// the dialog's printer, and the temporary file is deleted again.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "PanelSettings.h"
#include "PrintSettingsStore.h"

namespace OptionPanel {

// Identifiers of the three test jobs, for the indexes 0, 1 and 2.
inline constexpr std::array<const char *, 3> s_TestPrintIdentifierList{"A", "B", "C"};
inline constexpr int kTestPrintCount = 3;

// File name of a stored test job inside the test job folder; "%s" is the
// identifier.
inline constexpr char kStoredTestJobNameFormat[] = "VANTREX_KT50Test_%s.prn";

// Size of the temporary file name buffer and of the copy chunks.
inline constexpr std::size_t kTempNameSize = 256;
inline constexpr std::size_t kCopyChunkSize = 1024;

// Localisation keys of the panel's texts.
inline constexpr char kTestBoxTitleKey[] = "TKTestBoxTitle";
inline constexpr char kTestBoxGuideKey[] = "TKTestBoxGuide";
inline constexpr std::array<const char *, 3> kTestButtonTitleKeys{
    "TKTestATitle", "TKTestBTitle", "TKTestCTitle"};
inline constexpr char kJobTitleKey[] = "TKTestPrintJobTitle";
inline constexpr char kMessageTitleKey[] = "TKTestPrintMsgTitle";
inline constexpr char kMessageOkKey[] = "TKTestPrintMsgOk";
inline constexpr char kMessageNgKey[] = "TKTestPrintMsgNg";

// The folder the stored test jobs are installed in (a build setting, ending
// in "/").
const char *defaultTestJobFolder();

// Full name of stored test job `index` in `folder` (the default folder when
// empty); "" for an index outside 0..2.
std::string storedTestJobPath(int index, std::string_view folder = {});

// Fills a localised format that takes the identifier: the first "%s" becomes
// the identifier and "%%" becomes "%"; every other character, other "%"
// sequences included, stays as it is. Never goes through printf.
std::string formatWithIdentifier(std::string_view format, std::string_view identifier);

// The result message key: kMessageOkKey or kMessageNgKey.
const char *testPrintMessageKey(bool success);

// Makes the patched copy of stored job `index` from `folder` in a fresh
// temporary file (cupsTempFd, so $TMPDIR decides where) and writes its name
// into tempName. The first 25 bytes, when the job has that many, get the
// settings' density, length, speed, repeat, line enhancement and lane
// overlap (position minus 3); every other byte is copied unchanged, a job
// shorter than 25 bytes entirely unchanged. On any failure (no temporary
// file, stored job missing or unreadable, a write error) the temporary file
// is deleted, tempName is emptied and the answer is false.
bool createTestPrintFileData(const PanelSettings &settings, char *tempName,
                             std::size_t tempNameSize, int index,
                             std::string_view folder = {});

// Submits a file as a raw job ("raw"="true") to a queue of the current CUPS
// server with cupsPrintFile; jobTitle may be null. Gives the job id, 0 when
// the print system returned none or the queue is null or empty.
int sendPrinterFileData(const char *fileName, const char *queue, const char *jobTitle);

// What the panel needs from its host for one test print.
struct TestPrintTarget {
  std::string queue;           // the dialog printer's queue; empty: none
  std::string jobTitleFormat;  // localised "TKTestPrintJobTitle"
  std::string folder;          // stored test jobs; empty: the default folder
};

struct TestPrintResult {
  bool success = false;
  int jobId = 0;
  const char *messageKey = kMessageNgKey;  // localise, then formatWithIdentifier
  std::string identifier;                  // "A", "B" or "C" ("" for a bad index)
};

// One button action: setDefaults and read the print settings (the settings
// as stored at this moment), make the patched copy, submit it, delete it
// whatever happened, and give the result. A job title that is not ASCII is
// left out; a queue that is empty or not ASCII is a failure.
TestPrintResult runTestPrint(PanelSettings &settings, const PrintSettingsStore *printSettings,
                             int index, const TestPrintTarget &target);

}  // namespace OptionPanel

namespace VersionPanel {

// The version panel exists for any PPD at all; it reads no option.
inline bool mayCreate(const ppd_file_t *ppd) { return ppd != nullptr; }

}  // namespace VersionPanel

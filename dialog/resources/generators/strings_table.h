// SPDX-License-Identifier: Apache-2.0
// The localisation tables ("Localizable.strings"): reading them in the forms
// the platform accepts and writing them as UTF-16 with a byte order mark,
// which both Cocoa and GNUstep read without guessing the encoding.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "image.h"

namespace vres {

struct StringsEntry {
  std::string key;    // UTF-8
  std::string value;  // UTF-8, escapes resolved
  int line = 0;
};

// Text of a table file: UTF-16 (either order) or UTF-8 after a byte order
// mark, otherwise UTF-8. Nothing when the bytes are not valid in that form.
std::optional<std::string> StringsFileText(std::span<const uint8_t> bytes);

// Parses `"key" = "value";` entries with /* */ and // comments and the
// escapes \" \\ \n \t \r and \UXXXX. False, with the line and reason in
// `error`, on a syntax fault or a key given twice.
bool ParseStrings(std::string_view text, std::vector<StringsEntry> &entries, std::string &error);

// UTF-16 little-endian with a byte order mark; nothing for invalid UTF-8.
std::optional<Bytes> EncodeUtf16Le(std::string_view utf8);

// printf-style conversions in a format text: how many %s and how many of any
// other kind ("%%" is a plain per-cent sign and counts as neither).
struct FormatCount {
  int strings = 0;
  int others = 0;
};
FormatCount CountConversions(std::string_view format);

}  // namespace vres

// SPDX-License-Identifier: Apache-2.0
// Small helpers of the release tests: files, lines and the text of man(7)
// pages with roff's escapes for the minus sign and hyphenation removed.
#pragma once

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace release_test {

inline std::string ReadText(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void WriteBytesTo(const std::string &path, const std::string &bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

inline std::vector<std::string> Split(const std::string &text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part, separator)) parts.push_back(part);
  return parts;
}

// The path of a built program, from the "name=path,..." list of the build.
inline std::string ProgramPath(const std::string &name) {
  for (const std::string &entry : Split(VANTREX_PROGRAMS, ','))
    if (entry.rfind(name + "=", 0) == 0) return entry.substr(name.size() + 1);
  return {};
}

// "\-" becomes "-"; "\%" and "\&" disappear.
inline std::string Unescape(const std::string &roff) {
  std::string plain;
  for (size_t i = 0; i < roff.size(); ++i) {
    if (roff[i] == '\\' && i + 1 < roff.size()) {
      const char next = roff[i + 1];
      if (next == '-') { plain += '-'; ++i; continue; }
      if (next == '%' || next == '&') { ++i; continue; }
    }
    plain += roff[i];
  }
  return plain;
}

// The arguments of a roff request line: words, or "quoted text" in which ""
// stands for one quote.
inline std::vector<std::string> RoffArguments(const std::string &line) {
  std::vector<std::string> args;
  size_t i = line.find(' ');
  while (i != std::string::npos && i < line.size()) {
    while (i < line.size() && line[i] == ' ') ++i;
    if (i >= line.size()) break;
    std::string arg;
    if (line[i] == '"') {
      for (++i; i < line.size(); ++i) {
        if (line[i] == '"' && i + 1 < line.size() && line[i + 1] == '"') { arg += '"'; ++i; }
        else if (line[i] == '"') { ++i; break; }
        else arg += line[i];
      }
    } else {
      while (i < line.size() && line[i] != ' ') arg += line[i++];
    }
    args.push_back(arg);
  }
  return args;
}

inline std::vector<std::string> ManLines(const std::string &page) {
  return Split(Unescape(ReadText(std::string(VANTREX_MAN_DIR) + "/" + page)), '\n');
}

}  // namespace release_test

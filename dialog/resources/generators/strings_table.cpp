// SPDX-License-Identifier: Apache-2.0
#include "strings_table.h"

#include <cstring>
#include <set>

namespace vres {
namespace {

void AppendUtf8(std::string &out, uint32_t cp) {
  if (cp < 0x80) {
    out += char(cp);
  } else if (cp < 0x800) {
    out += char(0xC0 | (cp >> 6));
    out += char(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += char(0xE0 | (cp >> 12));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  } else {
    out += char(0xF0 | (cp >> 18));
    out += char(0x80 | ((cp >> 12) & 0x3F));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  }
}

// Decodes one UTF-8 sequence at `at`; nothing for a malformed, overlong or
// surrogate sequence.
std::optional<uint32_t> NextUtf8(std::string_view s, size_t &at) {
  const auto b0 = uint8_t(s[at]);
  int extra = b0 < 0x80 ? 0 : (b0 & 0xE0) == 0xC0 ? 1 : (b0 & 0xF0) == 0xE0 ? 2 : (b0 & 0xF8) == 0xF0 ? 3 : -1;
  if (extra < 0 || s.size() - at <= size_t(extra)) return std::nullopt;
  uint32_t cp = extra == 0 ? b0 : b0 & (0x3F >> extra);
  for (int i = 1; i <= extra; ++i) {
    const auto b = uint8_t(s[at + i]);
    if ((b & 0xC0) != 0x80) return std::nullopt;
    cp = (cp << 6) | (b & 0x3F);
  }
  static constexpr uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
  if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
  at += size_t(extra) + 1;
  return cp;
}

bool ValidUtf8(std::string_view s) {
  for (size_t at = 0; at < s.size();)
    if (!NextUtf8(s, at)) return false;
  return true;
}

std::optional<std::string> Utf16ToUtf8(std::span<const uint8_t> b, bool littleEndian) {
  if (b.size() % 2) return std::nullopt;
  auto unit = [&](size_t i) -> uint32_t {
    return littleEndian ? b[2 * i] | (b[2 * i + 1] << 8) : (b[2 * i] << 8) | b[2 * i + 1];
  };
  std::string out;
  const size_t n = b.size() / 2;
  for (size_t i = 0; i < n; ++i) {
    uint32_t cp = unit(i);
    if (cp >= 0xD800 && cp <= 0xDBFF) {
      if (i + 1 >= n || unit(i + 1) < 0xDC00 || unit(i + 1) > 0xDFFF) return std::nullopt;
      cp = 0x10000 + ((cp - 0xD800) << 10) + (unit(++i) - 0xDC00);
    } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
      return std::nullopt;
    }
    AppendUtf8(out, cp);
  }
  return out;
}

class Parser {
 public:
  explicit Parser(std::string_view text) : s_(text) {}

  bool Run(std::vector<StringsEntry> &entries, std::string &error) {
    std::set<std::string> seen;
    while (SkipBlanks(), at_ < s_.size()) {
      StringsEntry entry;
      entry.line = line_;
      if (!Quoted(entry.key) || !Expect('=') || !Quoted(entry.value) || !Expect(';')) break;
      if (!seen.insert(entry.key).second) {
        fault_ = "key \"" + entry.key + "\" given twice";
        break;
      }
      entries.push_back(std::move(entry));
    }
    if (fault_.empty()) return true;
    error = "line " + std::to_string(line_) + ": " + fault_;
    return false;
  }

 private:
  void SkipBlanks() {
    while (at_ < s_.size()) {
      if (s_.substr(at_, 2) == "/*") {
        const size_t end = s_.find("*/", at_ + 2);
        if (end == std::string_view::npos) {
          fault_ = "comment not closed";
          at_ = s_.size();
          return;
        }
        Advance(end + 2);
      } else if (s_.substr(at_, 2) == "//") {
        const size_t end = s_.find('\n', at_);
        Advance(end == std::string_view::npos ? s_.size() : end);
      } else if (std::strchr(" \t\r\n", s_[at_]) && s_[at_]) {
        Advance(at_ + 1);
      } else {
        return;
      }
    }
  }

  void Advance(size_t to) {
    for (; at_ < to; ++at_)
      if (s_[at_] == '\n') ++line_;
  }

  bool Expect(char c) {
    SkipBlanks();
    if (at_ < s_.size() && s_[at_] == c) {
      ++at_;
      return true;
    }
    if (fault_.empty()) fault_ = std::string("expected '") + c + "'";
    return false;
  }

  bool Quoted(std::string &out) {
    if (!Expect('"')) return false;
    while (at_ < s_.size() && s_[at_] != '"') {
      if (s_[at_] == '\n') return Fail("line break inside a quoted text");
      if (s_[at_] != '\\') {
        out += s_[at_++];
        continue;
      }
      if (++at_ >= s_.size()) break;
      const char e = s_[at_++];
      switch (e) {
        case '"': case '\\': case '\'': out += e; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case 'U': case 'u': {
          if (s_.size() - at_ < 4) return Fail("short \\U escape");
          uint32_t cp = 0;
          for (int i = 0; i < 4; ++i) {
            const char h = s_[at_++];
            const int d = (h >= '0' && h <= '9') ? h - '0' : (h | 0x20) >= 'a' && (h | 0x20) <= 'f' ? (h | 0x20) - 'a' + 10 : -1;
            if (d < 0) return Fail("bad \\U escape");
            cp = cp * 16 + uint32_t(d);
          }
          if (cp >= 0xD800 && cp <= 0xDFFF) return Fail("surrogate in \\U escape");
          AppendUtf8(out, cp);
          break;
        }
        default: return Fail(std::string("unknown escape \\") + e);
      }
    }
    if (at_ >= s_.size()) return Fail("quoted text not closed");
    ++at_;
    return true;
  }

  bool Fail(std::string why) {
    fault_ = std::move(why);
    return false;
  }

  std::string_view s_;
  size_t at_ = 0;
  int line_ = 1;
  std::string fault_;
};

}  // namespace

std::optional<std::string> StringsFileText(std::span<const uint8_t> b) {
  if (b.size() >= 2 && b[0] == 0xFF && b[1] == 0xFE) return Utf16ToUtf8(b.subspan(2), true);
  if (b.size() >= 2 && b[0] == 0xFE && b[1] == 0xFF) return Utf16ToUtf8(b.subspan(2), false);
  if (b.size() >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) b = b.subspan(3);
  std::string text(b.begin(), b.end());
  if (!ValidUtf8(text)) return std::nullopt;
  return text;
}

bool ParseStrings(std::string_view text, std::vector<StringsEntry> &entries, std::string &error) {
  return Parser(text).Run(entries, error);
}

std::optional<Bytes> EncodeUtf16Le(std::string_view utf8) {
  Bytes out = {0xFF, 0xFE};
  for (size_t at = 0; at < utf8.size();) {
    const auto cp = NextUtf8(utf8, at);
    if (!cp) return std::nullopt;
    auto put = [&out](uint32_t u) {
      out.push_back(uint8_t(u));
      out.push_back(uint8_t(u >> 8));
    };
    if (*cp < 0x10000) {
      put(*cp);
    } else {
      put(0xD800 + ((*cp - 0x10000) >> 10));
      put(0xDC00 + ((*cp - 0x10000) & 0x3FF));
    }
  }
  return out;
}

FormatCount CountConversions(std::string_view f) {
  FormatCount count;
  for (size_t at = 0; at < f.size(); ++at) {
    if (f[at] != '%') continue;
    // Flags, width, precision and length modifiers, then the conversion.
    size_t end = at + 1;
    while (end < f.size() && std::strchr("-+ #0123456789.*$hlqLjzt", f[end]) && f[end]) ++end;
    if (end >= f.size()) {
      ++count.others;  // a lone '%' at the end
      break;
    }
    if (f[end] == '%' && end == at + 1) {
      at = end;
      continue;
    }
    if (f[end] == 's' && end == at + 1)
      ++count.strings;
    else
      ++count.others;
    at = end;
  }
  return count;
}

}  // namespace vres

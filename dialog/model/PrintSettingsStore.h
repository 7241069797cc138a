// SPDX-License-Identifier: Apache-2.0
// The job's print settings as the panels see them: a store of string values
// under string keys. The print dialog owns the real store; the adapters wrap
// it (PMPrintSettingsGetValue / PMPrintSettingsSetValue), and tests and the
// Linux host use MemoryPrintSettings.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class PrintSettingsStore {
public:
  virtual ~PrintSettingsStore() = default;
  // The value under the key, or nothing when the key holds no value.
  virtual std::optional<std::string> getValue(std::string_view key) const = 0;
  // Stores a string under the key (the panels always write unlocked).
  virtual void setValue(std::string_view key, std::string_view value) = 0;
};

class MemoryPrintSettings final : public PrintSettingsStore {
public:
  std::optional<std::string> getValue(std::string_view key) const override;
  void setValue(std::string_view key, std::string_view value) override;

  void erase(std::string_view key);
  const std::map<std::string, std::string, std::less<>> &values() const { return values_; }
  // Every key passed to setValue, in call order, repeats included.
  const std::vector<std::string> &writeLog() const { return writeLog_; }

private:
  std::map<std::string, std::string, std::less<>> values_;
  std::vector<std::string> writeLog_;
};

// "com.tavik.printsettings.VANTREX_KT50.<keyword>", the key a setting is
// stored under in the print settings.
std::string fullSettingsKey(std::string_view keyword);

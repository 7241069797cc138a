// SPDX-License-Identifier: Apache-2.0
#include "PrintSettingsStore.h"

#include "cmnFilter.h"

std::optional<std::string> MemoryPrintSettings::getValue(std::string_view key) const {
  auto it = values_.find(key);
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

void MemoryPrintSettings::setValue(std::string_view key, std::string_view value) {
  values_.insert_or_assign(std::string(key), std::string(value));
  writeLog_.emplace_back(key);
}

void MemoryPrintSettings::erase(std::string_view key) {
  auto it = values_.find(key);
  if (it != values_.end()) values_.erase(it);
}

std::string fullSettingsKey(std::string_view keyword) {
  std::string key(g_KeyPrefix);
  key += '.';
  key += keyword;
  return key;
}

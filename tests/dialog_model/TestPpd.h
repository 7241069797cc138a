// SPDX-License-Identifier: Apache-2.0
// PPDs written by the tests themselves: the KT50's eight options in their
// usual order, which a test then changes (drops an option, shortens a choice
// list, moves a default) before the text is parsed by libcups.
#pragma once

#include <cups/ppd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace dialog_model_test {

struct TestChoice {
  std::string keyword;
  std::string text;
};

struct TestOption {
  std::string keyword;
  std::string defaultChoice;  // empty: no default line
  std::vector<TestChoice> choices;
};

// The eight options as the printer's PPD declares them.
std::vector<TestOption> kt50Options();
// The option with this keyword (the test fails when it is missing).
TestOption &optionNamed(std::vector<TestOption> &options, const std::string &keyword);
// Removes the option with this keyword.
void dropOption(std::vector<TestOption> &options, const std::string &keyword);

std::string ppdText(const std::vector<TestOption> &options);

struct PpdCloser {
  void operator()(ppd_file_t *ppd) const { ppdClose(ppd); }
};
using PpdPtr = std::unique_ptr<ppd_file_t, PpdCloser>;

// A fresh directory under the test temp dir, removed with the object.
class ScratchDir {
public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir &) = delete;
  ScratchDir &operator=(const ScratchDir &) = delete;
  const std::filesystem::path &path() const { return path_; }

private:
  std::filesystem::path path_;
};

// Writes the options as a PPD file in its own directory and parses it.
class TestPpd {
public:
  explicit TestPpd(const std::vector<TestOption> &options = kt50Options());
  ppd_file_t *get() const { return ppd_.get(); }
  const std::filesystem::path &file() const { return file_; }

private:
  ScratchDir dir_;
  std::filesystem::path file_;
  PpdPtr ppd_;
};

// The project's own PPD, parsed; null when it cannot be opened.
PpdPtr openProjectPpd();

void writeFile(const std::filesystem::path &path, const std::string &bytes);
std::string readFile(const std::filesystem::path &path);

}  // namespace dialog_model_test

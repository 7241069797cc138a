// SPDX-License-Identifier: Apache-2.0
// Runs vantrex-pde-host (the print dialog stand-in) on a virtual X server
// and reads back what it printed: "label = value" lines.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace pde_test {

struct HostRun {
  int status = -1;
  std::vector<std::string> lines;          // every output line, in order
  std::map<std::string, std::string> values;  // "label = value", last one wins
  std::string errors;                      // the host's standard error

  bool has(const std::string &label) const { return values.count(label) != 0; }
  // The value of a label, or "<missing label>" so that a comparison fails
  // with a readable message.
  std::string operator[](const std::string &label) const;
  // Every value printed under this label, in order.
  std::vector<std::string> all(const std::string &label) const;
  std::string dump() const;
};

// Runs the host with the printer's PPD (unless args hold --ppd) and the
// script (empty: no --script, the plain dialog sequence). env entries are
// "NAME=value" for the host's environment.
HostRun runHost(const std::vector<std::string> &args, const std::string &script,
                const std::vector<std::string> &env = {});

// A fresh temporary directory, removed at the end of the test process.
std::string makeTempDir();
std::string readFile(const std::string &path);
void writeFile(const std::string &path, const std::string &data);

// The printer's PPD text, and a copy with one option's OpenUI..CloseUI block
// removed.
std::string kt50PpdText();
std::string ppdWithoutOption(const std::string &keyword);

}  // namespace pde_test

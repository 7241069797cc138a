// SPDX-License-Identifier: Apache-2.0
#include "TestPpd.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace dialog_model_test {

std::vector<TestOption> kt50Options() {
  auto numbered = [](int from, int to, const char *label) {
    std::vector<TestChoice> choices;
    for (int v = from; v <= to; ++v) {
      choices.push_back({std::to_string(v), std::string(label) + " " + std::to_string(v)});
    }
    return choices;
  };
  return {
      {"TKWriteSpeed", "0", numbered(0, 3, "Speed")},
      {"TKWriteRepeat", "0", numbered(0, 3, "Repeat")},
      {"TKLineEnhance", "TKEnhanceNone",
       {{"TKEnhanceNone", "None"}, {"TKEnhanceBold1", "Bold 1"}, {"TKEnhanceBold2", "Bold 2"}}},
      {"TKLaneOverlap", "0", numbered(-3, 3, "Overlap")},
      {"TKMirror", "TKMirrorON", {{"TKMirrorOFF", "Off"}, {"TKMirrorON", "On"}}},
      {"TKDotScreening",
       "TKScreeningNone",
       {{"TKScreeningNone", "None"},
        {"TKScreeningRough", "Rough"},
        {"TKScreeningFine", "Fine"},
        {"TKScreeningFrequencyAngle", "Frequency and Angle"},
        {"TKScreeningErrorDiffusion", "Error Diffusion"},
        {"TKScreeningSolid", "Solid"}}},
      {"TKDotScreeningFrequency", "38", {{"38", "38 lpi"}, {"120", "120 lpi"}, {"200", "200 lpi"}}},
      {"TKDotScreeningAngle", "37", {{"0", "0 deg"}, {"37", "37 deg"}, {"90", "90 deg"}}},
  };
}

TestOption &optionNamed(std::vector<TestOption> &options, const std::string &keyword) {
  auto it = std::find_if(options.begin(), options.end(),
                         [&](const TestOption &o) { return o.keyword == keyword; });
  if (it == options.end()) {
    ADD_FAILURE() << "no option " << keyword;
    static TestOption none;
    return none;
  }
  return *it;
}

void dropOption(std::vector<TestOption> &options, const std::string &keyword) {
  std::erase_if(options, [&](const TestOption &o) { return o.keyword == keyword; });
}

std::string ppdText(const std::vector<TestOption> &options) {
  std::ostringstream out;
  out << "*PPD-Adobe: \"4.3\"\n"
         "*FormatVersion: \"4.3\"\n"
         "*FileVersion: \"1.0\"\n"
         "*LanguageVersion: English\n"
         "*LanguageEncoding: ISOLatin1\n"
         "*PCFileName: \"TEST.PPD\"\n"
         "*Manufacturer: \"VANTREX\"\n"
         "*Product: \"(KT50)\"\n"
         "*ModelName: \"VANTREX KT50 test\"\n"
         "*ShortNickName: \"VANTREX KT50 test\"\n"
         "*NickName: \"VANTREX KT50 test\"\n"
         "*PSVersion: \"(3010.000) 0\"\n"
         "*LanguageLevel: \"3\"\n"
         "*ColorDevice: False\n"
         "*DefaultColorSpace: Gray\n"
         "*FileSystem: False\n"
         "*Throughput: \"1\"\n"
         "*LandscapeOrientation: Plus90\n"
         "*TTRasterizer: Type42\n";
  for (const TestOption &o : options) {
    out << "*OpenUI *" << o.keyword << "/" << o.keyword << ": PickOne\n"
        << "*OrderDependency: 20 AnySetup *" << o.keyword << "\n";
    if (!o.defaultChoice.empty()) out << "*Default" << o.keyword << ": " << o.defaultChoice << "\n";
    for (const TestChoice &c : o.choices) {
      out << "*" << o.keyword << " " << c.keyword << "/" << c.text << ": \"\"\n";
    }
    out << "*CloseUI: *" << o.keyword << "\n";
  }
  return out.str();
}

ScratchDir::ScratchDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vantrex-model-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    ADD_FAILURE() << "mkdtemp failed";
  }
  path_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

void writeFile(const std::filesystem::path &path, const std::string &bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) ADD_FAILURE() << "cannot write " << path;
}

std::string readFile(const std::filesystem::path &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

TestPpd::TestPpd(const std::vector<TestOption> &options) : file_(dir_.path() / "test.ppd") {
  writeFile(file_, ppdText(options));
  ppd_.reset(ppdOpenFile(file_.c_str()));
  if (!ppd_) {
    int line = 0;
    ppd_status_t status = ppdLastError(&line);
    ADD_FAILURE() << "ppdOpenFile: " << ppdErrorString(status) << " at line " << line;
  }
}

PpdPtr openProjectPpd() {
  return PpdPtr(ppdOpenFile(VANTREX_PPD_PATH));
}

}  // namespace dialog_model_test

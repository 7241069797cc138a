// SPDX-License-Identifier: Apache-2.0
// vantrex-resgen: makes the dialog plug-in's resources at build time.
//
//   vantrex-resgen strings IN OUT            check a strings table, write it as UTF-16
//   vantrex-resgen guide FILTER TEXT.ppm DIR WORK
//                                           the eight guide pictures into DIR,
//                                           scratch files in WORK
//   vantrex-resgen arrow OUT.ico             the arrow icon
//   vantrex-resgen testjob FILTER A|B|C OUT  a stored test job
//
// Screened pictures and test jobs are printed by the real filter, so they
// show exactly what it does.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "image.h"
#include "kt50stream.h"
#include "render.h"
#include "samples.h"
#include "strings_table.h"

namespace {

using namespace vres;
namespace fs = std::filesystem;

int Fail(const std::string &what) {
  std::fprintf(stderr, "vantrex-resgen: %s\n", what.c_str());
  return 1;
}

int MakeStrings(const std::string &in, const std::string &out) {
  const auto bytes = ReadFile(in);
  if (!bytes) return Fail(in + ": cannot read");
  const auto text = StringsFileText(*bytes);
  if (!text) return Fail(in + ": not valid UTF-8 or UTF-16");
  std::vector<StringsEntry> entries;
  std::string error;
  if (!ParseStrings(*text, entries, error)) return Fail(in + ": " + error);
  const auto utf16 = EncodeUtf16Le(*text);
  if (!utf16 || !WriteFile(out, *utf16)) return Fail(out + ": cannot write");
  return 0;
}

// Prints `image` with the filter under `options`; the black-and-white result.
std::optional<RgbImage> Screen(const std::string &filter, const RgbImage &image, const std::string &options,
                               const fs::path &work, std::string &error) {
  const std::string raster = (work / "page.ras").string(), printed = (work / "page.prn").string();
  if (!WriteRasterPage(raster, image)) {
    error = raster + ": cannot write raster";
    return std::nullopt;
  }
  if (!RunFilter(filter, options, raster, printed, error)) return std::nullopt;
  const auto stream = ReadFile(printed);
  if (!stream) {
    error = printed + ": cannot read";
    return std::nullopt;
  }
  return ReadPrintedPage(*stream, image.width, image.height, error);
}

int MakeGuide(const std::string &filter, const std::string &textPpm, const fs::path &dir, const fs::path &work) {
  const auto textBytes = ReadFile(textPpm);
  const auto text = textBytes ? DecodePpm(*textBytes) : std::nullopt;
  if (!text || text->width != kGuideWidth || text->height != kGuideHeight)
    return Fail(textPpm + ": not a " + std::to_string(kGuideWidth) + " x " + std::to_string(kGuideHeight) +
                " PPM picture");
  const RgbImage photo = DrawPhotoSample(kGuideWidth, kGuideHeight);
  std::error_code ec;
  fs::create_directories(work, ec);
  for (const tagGUIDEPICTURE &picture : g_GuidePictures) {
    const RgbImage &sample = picture.sample == GuideSample::Text ? *text : photo;
    const std::string out = (dir / (std::string(picture.name) + ".bmp")).string();
    Bytes bmp;
    if (picture.screening) {
      std::string error;
      const auto screened = Screen(filter, sample, GuideOptions(picture), work, error);
      if (!screened) return Fail(std::string(picture.name) + ": " + error);
      bmp = EncodeBmp1(*screened);
    } else {
      bmp = EncodeBmp24(sample);
    }
    if (!WriteFile(out, bmp)) return Fail(out + ": cannot write");
  }
  fs::remove_all(work, ec);
  return 0;
}

int MakeArrow(const std::string &out) {
  if (!WriteFile(out, EncodeIco(DrawArrow(kArrowSize)))) return Fail(out + ": cannot write");
  return 0;
}

int MakeTestJob(const std::string &filter, const std::string &id, const std::string &out) {
  const tagTESTCHART *chart = id.size() == 1 ? FindTestChart(id[0]) : nullptr;
  if (!chart) return Fail("no test chart \"" + id + "\"");
  const std::string raster = out + ".ras", printed = out + ".tmp";
  std::string error;
  if (!WriteRasterPage(raster, DrawTestChart(*chart))) return Fail(raster + ": cannot write raster");
  const bool ran = RunFilter(filter, chart->options, raster, printed, error);
  std::error_code ec;
  fs::remove(raster, ec);
  if (!ran) return Fail(error);
  // Only a stream the printer would take becomes a stored job.
  const auto stream = ReadFile(printed);
  kt50::Stream decoded;
  kt50::DecodeError fault{};
  std::string faultText;
  if (!stream)
    faultText = "cannot read " + printed;
  else if (!kt50::DecodeStream(*stream, decoded, fault))
    faultText = "offset " + std::to_string(fault.offset) + ": " + fault.message;
  else if (decoded.pages.size() != 1)
    faultText = std::to_string(decoded.pages.size()) + " pages instead of one";
  if (!faultText.empty()) {
    fs::remove(printed, ec);
    return Fail(out + ": the filter's job is not usable: " + faultText);
  }
  fs::rename(printed, out, ec);
  if (ec) return Fail(out + ": " + ec.message());
  return 0;
}

int Usage() {
  std::fprintf(stderr,
               "usage: vantrex-resgen strings IN OUT | guide FILTER TEXT.ppm DIR WORK | arrow OUT.ico |"
               " testjob FILTER A|B|C OUT\n");
  return 2;
}

}  // namespace

int main(int argc, char **argv) {
  const std::vector<std::string> a(argv + 1, argv + argc);
  if (a.size() == 3 && a[0] == "strings") return MakeStrings(a[1], a[2]);
  if (a.size() == 5 && a[0] == "guide") return MakeGuide(a[1], a[2], a[3], a[4]);
  if (a.size() == 2 && a[0] == "arrow") return MakeArrow(a[1]);
  if (a.size() == 4 && a[0] == "testjob") return MakeTestJob(a[1], a[2], a[3]);
  return Usage();
}

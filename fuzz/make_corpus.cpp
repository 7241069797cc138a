// Writes the seed corpora that are easier made than typed:
//   vantrex-fuzz-corpus PPD OUTDIR
// OUTDIR/job: small raster jobs (each behind a screening byte and option
// text), OUTDIR/decode: small command streams, OUTDIR/options and
// OUTDIR/panel_ppd: option or settings text with the printer's PPD.
#include <cups/raster.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cmnFilter.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

void Write(const fs::path &path, const Bytes &bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char *>(bytes.data()),
                                             static_cast<std::streamsize>(bytes.size()));
}

Bytes Text(const std::string &text) { return {text.begin(), text.end()}; }

ssize_t Append(void *ctx, unsigned char *buffer, size_t length) {
  static_cast<Bytes *>(ctx)->insert(static_cast<Bytes *>(ctx)->end(), buffer, buffer + length);
  return static_cast<ssize_t>(length);
}

struct RasterPage {
  unsigned width, height;
  cups_cspace_t space = CUPS_CSPACE_RGB;
  unsigned bitsPerColor = 8;
  unsigned linesWritten = ~0u;  // fewer: the page is cut short
};

// A raster of small pages with a diagonal, a dark band and a gray ramp.
Bytes Raster(cups_mode_t mode, const std::vector<RasterPage> &pages) {
  Bytes out;
  cups_raster_t *raster = cupsRasterOpenIO(Append, &out, mode);
  if (raster == nullptr) return {};
  for (const RasterPage &p : pages) {
    cups_page_header2_t h{};
    const unsigned colors = p.space == CUPS_CSPACE_RGB || p.space == CUPS_CSPACE_SRGB ? 3 : 1;
    h.HWResolution[0] = h.HWResolution[1] = 600;
    h.cupsWidth = p.width;
    h.cupsHeight = p.height;
    h.cupsBitsPerColor = p.bitsPerColor;
    h.cupsBitsPerPixel = p.bitsPerColor * colors;
    h.cupsBytesPerLine = (p.width * h.cupsBitsPerPixel + 7) / 8;
    h.cupsColorSpace = p.space;
    h.cupsColorOrder = CUPS_ORDER_CHUNKED;
    h.cupsNumColors = colors;
    h.PageSize[0] = p.width * 72 / 600 + 1;
    h.PageSize[1] = p.height * 72 / 600 + 1;
    h.NumCopies = 1;
    if (!cupsRasterWriteHeader2(raster, &h)) break;
    std::vector<unsigned char> line(h.cupsBytesPerLine);
    for (unsigned y = 0; y < p.height && y < p.linesWritten; ++y) {
      for (unsigned i = 0; i < line.size(); ++i)
        line[i] = static_cast<unsigned char>(i / colors == y ? 0 : (y % 8 < 2 ? 30 : i * 255 / line.size()));
      cupsRasterWritePixels(raster, line.data(), h.cupsBytesPerLine);
    }
  }
  cupsRasterClose(raster);
  return out;
}

Bytes JobInput(uint8_t method, const std::string &options, const Bytes &raster) {
  Bytes input(1 + options.size(), method);
  std::copy(options.begin(), options.end(), input.begin() + 1);
  input.push_back(0);
  input.insert(input.end(), raster.begin(), raster.end());
  return input;
}

void Le16(Bytes &b, int v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}

// A stream page: init, size, the given lane blocks of `rows` rows each with
// a few inked bytes, page end.
void StreamPage(Bytes &b, int width, int height, std::initializer_list<int> lanes, int rows) {
  b.insert(b.end(), {0x1B, 0x7C, 0x40, 0x1B, 0x7C, 0x45});
  Le16(b, width);
  Le16(b, height);
  for (const int lane : lanes) {
    b.insert(b.end(), {0x1B, 0x7C, 0x4C, static_cast<uint8_t>(lane), 0x1B, 0x7C, 0x59});
    Le16(b, 3 * lane);
    b.insert(b.end(), {0x1B, 0x7C, 0x30, 0x36, 0x01});
    Le16(b, rows);
    for (int r = 0; r < rows; ++r)
      for (int i = 0; i < 310; ++i) b.push_back(i == r || i == 309 - r ? 0xF0 : 0);
  }
  b.insert(b.end(), {0x1B, 0x7C, 0x0C});
}

Bytes StreamHeader(int density, int adjust) {
  Bytes b(g_JobHeader.begin(), g_JobHeader.end());
  SetPrintJobHeader(b.data(), density, adjust, 1, 2, 1, -1);
  return b;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: vantrex-fuzz-corpus PPD OUTDIR\n");
    return 2;
  }
  std::ifstream ppdFile(argv[1], std::ios::binary);
  const std::string ppd{std::istreambuf_iterator<char>(ppdFile), std::istreambuf_iterator<char>()};
  const fs::path out = argv[2];
  for (const char *dir : {"job", "decode", "options", "panel_ppd"}) fs::create_directories(out / dir);

  const std::vector<RasterPage> one{{40, 24}}, two{{40, 24}, {17, 9}};
  const std::string mirrorOff = "TKMirror=TKMirrorOFF";
  Write(out / "job/rgb-uncompressed", JobInput(0, "", Raster(CUPS_RASTER_WRITE, one)));
  Write(out / "job/rgb-compressed-2pages", JobInput(2, mirrorOff, Raster(CUPS_RASTER_WRITE_COMPRESSED, two)));
  Write(out / "job/rgb-pwg", JobInput(1, "", Raster(CUPS_RASTER_WRITE_PWG, one)));
  Write(out / "job/rgb-apple", JobInput(5, "", Raster(CUPS_RASTER_WRITE_APPLE, {{40, 24, CUPS_CSPACE_SRGB}})));
  Write(out / "job/am-screen", JobInput(3, "TKDotScreeningFrequency=+100 TKDotScreeningAngle=+45",
                                        Raster(CUPS_RASTER_WRITE_COMPRESSED, one)));
  Write(out / "job/error-diffusion", JobInput(4, mirrorOff, Raster(CUPS_RASTER_WRITE, two)));
  Write(out / "job/options-text", JobInput(6, "TKDotScreening=TKScreeningErrorDiffusion TKWriteDensity=-05 "
                                           "com.tavik.printsettings.VANTREX_KT50.TKAdjustLength=+025",
                                           Raster(CUPS_RASTER_WRITE_COMPRESSED, one)));
  Write(out / "job/gray-8bit", JobInput(0, "", Raster(CUPS_RASTER_WRITE, {{40, 24, CUPS_CSPACE_W}})));
  Write(out / "job/gray-1bit", JobInput(3, "", Raster(CUPS_RASTER_WRITE, {{40, 24, CUPS_CSPACE_K, 1}})));
  Write(out / "job/cut-page", JobInput(0, "", Raster(CUPS_RASTER_WRITE, {{40, 24}, {40, 24, CUPS_CSPACE_RGB, 8, 5}})));
  Write(out / "job/empty", JobInput(0, "", {}));

  Bytes stream = StreamHeader(-5, 25);
  StreamPage(stream, 2480, 2364, {1}, 4);
  Write(out / "decode/one-page", stream);
  StreamPage(stream, 9920, 40, {1, 2, 4}, 2);
  Write(out / "decode/two-pages", stream);
  Bytes blank = StreamHeader(0, 0);
  StreamPage(blank, 2364, 2364, {}, 0);
  Write(out / "decode/blank-page", blank);
  Bytes cut = StreamHeader(16, -500);
  StreamPage(cut, 100, 10, {3}, 3);
  cut.resize(cut.size() - 400);
  Write(out / "decode/cut-raster", cut);

  Write(out / "options/ppd-and-options", Text(mirrorOff + " TKWriteDensity=-05" + '\0' + ppd));
  Write(out / "options/full-keys", Text("com.tavik.printsettings.VANTREX_KT50.TKWriteSpeed=2 "
                                        "TKWriteSpeed=3 TKDotScreeningAngle=+00 TKLaneOverlap=-3"));
  Write(out / "options/quoted", Text("TKLineEnhance='TKEnhanceBold2' TKDotScreening=\"TKScreeningSolid\" "
                                     "TKAdjustLength={+500} TKDotScreeningFrequency=M200"));
  std::string ppdOff = ppd;
  if (const size_t at = ppdOff.find("*DefaultTKMirror: TKMirrorON"); at != std::string::npos)
    ppdOff.replace(at, 28, "*DefaultTKMirror: TKMirrorOFF");
  Write(out / "options/queue-default", Text(std::string("TKMirror=tkmirroron") + '\0' + ppdOff));

  Write(out / "panel_ppd/ppd-only", Text(ppd + '\0'));
  Write(out / "panel_ppd/stored-settings",
        Text(ppd + '\0' + "TKWriteDensity=-16\nTKAdjustLength=+125\nTKWriteSpeed=2\nTKMirror=TKMirrorOFF\n"
             "TKLaneOverlap=-3\nTKDotScreening=TKScreeningFrequencyAngle\nTKDotScreeningFrequency=+200\n"
             "TKDotScreeningAngle=+00\n!mirror=true\ntyped.density=7\ntyped.length=1.25\n"
             "typed.frequency=150\ntyped.angle=45"));
  Write(out / "panel_ppd/bad-values",
        Text(ppdOff + '\0' + "TKWriteDensity=+17\nTKLineEnhance=tkenhancebold1\nTKDotScreeningAngle=abc\n"
             "typed.length=5.01\ntyped.density=-0x10\ntyped.angle=1e309"));
  return 0;
}

// Whole jobs through the real vantrex-filter binary: arguments, options,
// page geometry, the simple screens, several pages, and every way a job can
// end early. Expected streams come from the plain model in reference.h.
#include <gtest/gtest.h>

#include <cups/raster.h>

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "filter_support.h"
#include "reference.h"

namespace {

using vtest::Input;
using vtest::RGB;

// A test page: raster size and pixels, usable by the raster writer and the
// reference model alike.
struct TestPage {
  uint32_t width, height;
  ref::Pixel pixel;
};

vtest::tagRASTERPAGE ToRaster(const TestPage &p) {
  return vtest::RgbPage(p.width, p.height, [pixel = p.pixel](uint32_t x, uint32_t y) {
    const ref::Rgb c = pixel(x, y);
    return RGB{c.r, c.g, c.b};
  });
}

std::vector<uint8_t> RasterOf(const std::vector<TestPage> &pages,
                              vtest::Compression c = vtest::Compression::None) {
  std::vector<vtest::tagRASTERPAGE> raster;
  for (const TestPage &p : pages) raster.push_back(ToRaster(p));
  return vtest::MakeRaster(raster, c);
}

std::vector<uint8_t> Expected(const std::vector<TestPage> &pages, int code, bool mirror,
                              const ref::Settings &settings = {}) {
  std::vector<ref::Page> rendered;
  for (const TestPage &p : pages) rendered.push_back(ref::Render(p.width, p.height, p.pixel, code, mirror));
  return ref::Job(settings, rendered);
}

// A busy picture: gray ramps in both directions, a few colours, a grid.
ref::Rgb Busy(uint32_t x, uint32_t y) {
  if (x % 37 == 0 || y % 29 == 0) return {0, 0, 0};
  const auto v = static_cast<uint8_t>((x * 7 + y * 3) % 256);
  switch ((x / 50 + y / 40) % 4) {
    case 0: return {v, v, v};
    case 1: return {v, 255, static_cast<uint8_t>(255 - v)};
    case 2: return {255, 255, 255};
    default: return {static_cast<uint8_t>(v / 2), v, 200};
  }
}

ref::Rgb White(uint32_t, uint32_t) { return {255, 255, 255}; }

std::string ScreeningOption(int code) {
  static const char *const names[] = {"TKScreeningNone", "TKScreeningRough",
                                      "TKScreeningFine", "TKScreeningFrequencyAngle",
                                      "TKScreeningErrorDiffusion", "TKScreeningSolid"};
  return std::string("TKDotScreening=") + names[code];
}

std::string MirrorOption(bool mirror) {
  return mirror ? "TKMirror=TKMirrorON" : "TKMirror=TKMirrorOFF";
}

// The lines of the filter's error output that are not progress ("INFO:"),
// page accounting ("PAGE:") or debugging ("DEBUG:").
std::vector<std::string> OtherMessages(const std::string &err) {
  std::vector<std::string> other;
  size_t at = 0;
  while (at < err.size()) {
    const size_t end = err.find('\n', at);
    const std::string line = err.substr(at, end == std::string::npos ? end : end - at);
    if (line.rfind("INFO: ", 0) != 0 && line.rfind("PAGE: ", 0) != 0 && line.rfind("DEBUG: ", 0) != 0)
      other.push_back(line);
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return other;
}

// Error output of a failed job: exactly one "ERROR: " line besides progress.
void ExpectOneErrorLine(const vtest::RunResult &r) {
  EXPECT_EQ(r.exitStatus, 1);
  const std::vector<std::string> other = OtherMessages(r.err);
  ASSERT_EQ(other.size(), 1u) << r.err;
  EXPECT_EQ(other[0].rfind("ERROR: ", 0), 0u) << r.err;
  EXPECT_EQ(r.err.back(), '\n');
}

// One "PAGE: n 1" line for every page the stream holds, n counting from 1.
void ExpectPagesCounted(const vtest::RunResult &r, int pages) {
  std::string expected;
  for (int n = 1; n <= pages; ++n) expected += "PAGE: " + std::to_string(n) + " 1\n";
  std::string counted;
  for (size_t at = r.err.find("PAGE: "); at != std::string::npos; at = r.err.find("PAGE: ", at + 1))
    counted += r.err.substr(at, r.err.find('\n', at) + 1 - at);
  EXPECT_EQ(counted, expected) << r.err;
}

void ExpectSuccess(const vtest::RunResult &r) {
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_TRUE(OtherMessages(r.err).empty()) << r.err;
}

// ------------------------------------------------------------ arguments --

TEST(Arguments, WrongCountEndsSilentlyWithStatusOne) {
  const auto raster = RasterOf({{100, 10, Busy}});
  const std::string f = vtest::FilterPath();
  for (const std::vector<std::string> &argv :
       {std::vector<std::string>{f, "1", "u", "t"}, {f, "1", "u", "t", "1", "", "x", "y"}, {f}}) {
    const vtest::RunResult r = vtest::RunProgram(argv, raster);
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_TRUE(r.out.empty());
    EXPECT_EQ(r.err, "");
  }
}

TEST(Arguments, RasterFromPipeRedirectedStdinOrNamedFile) {
  const std::vector<TestPage> pages{{300, 40, Busy}};
  const auto raster = RasterOf(pages);
  const auto expected = Expected(pages, 0, true);
  for (Input input : {Input::Pipe, Input::Stdin, Input::NamedFile}) {
    const vtest::RunResult r = vtest::RunFilter("", raster, input);
    ExpectSuccess(r);
    EXPECT_EQ(r.out, expected);
  }
}

// --------------------------------------------------------------- options --

TEST(Options, DefaultsGiveTemplateHeaderMirrorAndPlainThreshold) {
  const std::vector<TestPage> pages{{200, 16, Busy}};
  const vtest::RunResult r = vtest::RunFilter("", RasterOf(pages));
  ExpectSuccess(r);
  EXPECT_EQ(r.out, Expected(pages, 0, true));
  const std::vector<uint8_t> header(r.out.begin(), r.out.begin() + 25);
  EXPECT_EQ(header, ref::JobHeader({}));
}

TEST(Options, HeaderCarriesEveryJobSetting) {
  const std::vector<TestPage> pages{{64, 8, Busy}};
  const auto raster = RasterOf(pages);
  struct Case {
    std::string options;
    ref::Settings settings;
  };
  const std::string p = "com.tavik.printsettings.VANTREX_KT50.";
  const Case cases[] = {
      {p + "TKWriteDensity=-16 " + p + "TKAdjustLength=-500 " + p + "TKWriteSpeed=3 " + p +
           "TKWriteRepeat=2 " + p + "TKLineEnhance=TKEnhanceBold1 " + p + "TKLaneOverlap=-3",
       {-16, -500, 3, 2, 1, -3}},
      {"TKWriteDensity=+16 TKAdjustLength=+500 TKWriteSpeed=Speed1 TKWriteRepeat=R3 "
       "TKLineEnhance=TKEnhanceBold2 TKLaneOverlap=Overlap+3",
       {16, 500, 1, 3, 2, 3}},
      {"TKWriteDensity=+17 TKAdjustLength=+007 TKWriteSpeed=4 TKLineEnhance=tkenhancebold1 "
       "TKLaneOverlap=-4",
       {0, 7, 0, 0, 0, 0}},
      {p + "TKWriteDensity=-05 TKWriteDensity=+09 TKAdjustLength=12abc TKWriteRepeat=' 1'",
       {-5, 12, 0, 1, 0, 0}},
  };
  for (const Case &c : cases) {
    const vtest::RunResult r = vtest::RunFilter(c.options, raster);
    ExpectSuccess(r);
    EXPECT_EQ(r.out, Expected(pages, 0, true, c.settings)) << c.options;
  }
}

TEST(Options, MirrorAndScreeningChoices) {
  const std::vector<TestPage> pages{{150, 24, Busy}};
  const auto raster = RasterOf(pages);
  const std::string p = "com.tavik.printsettings.VANTREX_KT50.";
  EXPECT_EQ(vtest::RunFilter("TKMirror=TKMirrorOFF", raster).out, Expected(pages, 0, false));
  EXPECT_EQ(vtest::RunFilter("TKMirror=TKMirrorOff", raster).out, Expected(pages, 0, true));
  EXPECT_EQ(vtest::RunFilter(p + "TKMirror=TKMirrorON TKMirror=TKMirrorOFF", raster).out,
            Expected(pages, 0, true));
  EXPECT_EQ(vtest::RunFilter("TKDotScreening=TKScreeningCoarse", raster).out,
            Expected(pages, 0, true));
  EXPECT_EQ(vtest::RunFilter(p + "TKDotScreening=TKScreeningFine", raster).out,
            Expected(pages, 2, true));
}

// ----------------------------------------------------- screens and pages --

class SimpleScreens : public ::testing::TestWithParam<std::tuple<int, bool>> {};

TEST_P(SimpleScreens, PageMatchesTheModelByteForByte) {
  const auto [code, mirror] = GetParam();
  const std::vector<TestPage> pages{{613, 77, Busy}};
  const vtest::RunResult r =
      vtest::RunFilter(ScreeningOption(code) + " " + MirrorOption(mirror), RasterOf(pages));
  ExpectSuccess(r);
  EXPECT_EQ(r.out, Expected(pages, code, mirror));
}

INSTANTIATE_TEST_SUITE_P(Codes, SimpleScreens,
                         ::testing::Combine(::testing::Values(0, 1, 2, 5), ::testing::Bool()));

TEST(Pages, ThePrintedExamplePage) {
  // Filled line by line: a full page through a per-pixel callback is slow.
  vtest::tagRASTERPAGE page;
  page.width = 9920;
  page.height = 14645;
  page.fill = [](uint32_t row, std::span<uint8_t> line) {
    std::fill(line.begin(), line.end(), 255);
    if (row == 100) std::fill_n(line.begin(), 3, 0);
  };
  const auto raster = vtest::MakeRaster(std::vector<vtest::tagRASTERPAGE>{page},
                                        vtest::Compression::Compressed);
  const vtest::RunResult r = vtest::RunFilter("TKMirror=TKMirrorOFF", raster);
  ExpectSuccess(r);
  std::vector<uint8_t> expected = ref::JobHeader({});
  const std::vector<uint8_t> commands{0x1B, 0x7C, 0x40, 0x1B, 0x7C, 0x45, 0xC0, 0x26, 0x35, 0x39,
                                      0x1B, 0x7C, 0x4C, 0x01, 0x1B, 0x7C, 0x59, 0x64, 0x00,
                                      0x1B, 0x7C, 0x30, 0x36, 0x01, 0x01, 0x00, 0x80};
  expected.insert(expected.end(), commands.begin(), commands.end());
  expected.insert(expected.end(), 309, 0x00);
  expected.insert(expected.end(), {0x1B, 0x7C, 0x0C});
  EXPECT_EQ(r.out, expected);
}

TEST(Pages, BlankPageIsInitSizeAndPageEndOnly) {
  const vtest::RunResult r = vtest::RunFilter("", RasterOf({{500, 300, White}}));
  ExpectSuccess(r);
  const std::vector<uint8_t> page{0x1B, 0x7C, 0x40, 0x1B, 0x7C, 0x45, 0x3C, 0x09,
                                  0x3C, 0x09, 0x1B, 0x7C, 0x0C};
  ASSERT_EQ(r.out.size(), 25u + 13);
  EXPECT_EQ(std::vector<uint8_t>(r.out.begin() + 25, r.out.end()), page);
}

TEST(Pages, SmallPageIsAnnouncedAs2364Square) {
  const std::vector<TestPage> pages{{1000, 1000, [](uint32_t x, uint32_t y) {
                                       return (x + y) % 3 ? ref::Rgb{0, 0, 0} : ref::Rgb{255, 255, 255};
                                     }}};
  const vtest::RunResult r = vtest::RunFilter("TKMirror=TKMirrorOFF", RasterOf(pages));
  ExpectSuccess(r);
  EXPECT_EQ(r.out, Expected(pages, 0, false));
  ASSERT_GT(r.out.size(), 35u);
  EXPECT_EQ(r.out[31] | r.out[32] << 8, 2364);
  EXPECT_EQ(r.out[33] | r.out[34] << 8, 2364);
}

// Around the lane edges and beyond the bitmap's width, mirrored or not.
TEST(Pages, WidthsFromBelowOneLaneToBeyondTheBitmap) {
  for (uint32_t width : {1u, 7u, 2363u, 2364u, 2479u, 2480u, 2481u, 4960u, 7441u, 9919u, 9920u,
                         9921u, 12007u}) {
    for (bool mirror : {false, true}) {
      const std::vector<TestPage> pages{{width, 9, [](uint32_t x, uint32_t y) {
                                           // Dark at both ends of every line.
                                           const bool edge = x % 2480 < 3 || x % 2480 > 2476 ||
                                                             x > 9915;
                                           return edge || (x + y) % 5 == 0 ? ref::Rgb{0, 0, 0}
                                                                           : ref::Rgb{250, 250, 250};
                                         }}};
      const vtest::RunResult r = vtest::RunFilter(MirrorOption(mirror), RasterOf(pages));
      ExpectSuccess(r);
      EXPECT_EQ(r.out, Expected(pages, 0, mirror)) << "width " << width << " mirror " << mirror;
    }
  }
}

TEST(Pages, WiderThanBitmapMirroredPutsPixel9919InColumnZero) {
  const std::vector<TestPage> pages{{10500, 2, [](uint32_t x, uint32_t) {
                                       return x == 9919 ? ref::Rgb{0, 0, 0} : ref::Rgb{255, 255, 255};
                                     }}};
  const vtest::RunResult r = vtest::RunFilter("", RasterOf(pages));
  ExpectSuccess(r);
  // One lane block: lane 1, rows 0 and 1, first byte 0x80.
  ASSERT_EQ(r.out.size(), 25u + 10 + 16 + 2 * 310 + 3);
  EXPECT_EQ(r.out[25 + 6] | r.out[25 + 7] << 8, 9920);
  EXPECT_EQ(r.out[25 + 10 + 3], 1);
  EXPECT_EQ(r.out[25 + 10 + 16], 0x80);
  EXPECT_EQ(r.out[25 + 10 + 16 + 310], 0x80);
}

TEST(Pages, TallerThanBitmapIsReadWholeAndCutAt14645) {
  // A narrow, tall first page with ink on its last drawn row and beyond;
  // the second page proves the first one was read to its end.
  const std::vector<TestPage> pages{
      {16, 14700, [](uint32_t x, uint32_t y) {
         return y >= 14644 || (y == 0 && x == 0) ? ref::Rgb{0, 0, 0} : ref::Rgb{255, 255, 255};
       }},
      {40, 3, Busy}};
  const vtest::RunResult r = vtest::RunFilter("TKMirror=TKMirrorOFF", RasterOf(pages, vtest::Compression::Compressed));
  ExpectSuccess(r);
  EXPECT_EQ(r.out, Expected(pages, 0, false));
  ASSERT_GT(r.out.size(), 35u);
  EXPECT_EQ(r.out[33] | r.out[34] << 8, 14645);
  EXPECT_EQ(r.out[25 + 10 + 14], 14645 & 0xFF);  // rows 0 to 14644 in one block
  EXPECT_EQ(r.out[25 + 10 + 15], 14645 >> 8);
}

TEST(Pages, LinesThatGrowAndShrinkFromPageToPage) {
  const std::vector<TestPage> pages{{100, 20, Busy},  {5000, 12, Busy}, {300, 30, Busy},
                                    {9920, 5, Busy},  {1, 1, Busy},     {2481, 17, Busy}};
  for (auto compression : {vtest::Compression::None, vtest::Compression::Compressed}) {
    const vtest::RunResult r =
        vtest::RunFilter(ScreeningOption(1) + " TKWriteDensity=-3", RasterOf(pages, compression));
    ExpectSuccess(r);
    ref::Settings s;
    s.density = -3;
    EXPECT_EQ(r.out, Expected(pages, 1, true, s));
  }
}

TEST(Pages, EveryPageOfALongerJobIsWrittenOnceWithOneHeader) {
  std::vector<TestPage> pages;
  for (uint32_t n = 0; n < 7; ++n) {
    pages.push_back({64 + 8 * n, 3 + n, [n](uint32_t x, uint32_t y) {
                       return x == n || y == n ? ref::Rgb{0, 0, 0} : ref::Rgb{255, 255, 255};
                     }});
  }
  const vtest::RunResult r = vtest::RunFilter(ScreeningOption(5), RasterOf(pages));
  ExpectSuccess(r);
  ExpectPagesCounted(r, 7);
  EXPECT_EQ(r.out, Expected(pages, 5, true));
}

// -------------------------------------------------- empty and truncated --

TEST(EndOfJob, RasterWithoutPagesWritesNothingAndSucceeds) {
  // A raster stream with no page, and an input with no byte at all.
  for (const auto &raster : {vtest::MakeRaster({}), std::vector<uint8_t>{}}) {
    for (Input input : {Input::Pipe, Input::Stdin, Input::NamedFile}) {
      const vtest::RunResult r = vtest::RunFilter("", raster, input);
      ExpectSuccess(r);
      EXPECT_TRUE(r.out.empty());
    }
  }
}

TEST(EndOfJob, CancelledJobEndsAfterItsLastCompletePage) {
  // The scheduler cancels while the second page is still arriving: the
  // stream ends with the first page whole, and nothing is reported.
  const std::vector<TestPage> pages{{300, 40, Busy}, {300, 40, Busy}};
  const auto raster = RasterOf(pages);
  const std::vector<uint8_t> pending(raster.begin(), raster.end() - 100);
  for (int code : {0, 3, 4}) {
    const std::string options = ScreeningOption(code);
    const vtest::RunResult whole = vtest::RunFilter(options, RasterOf({pages[0]}));
    ExpectSuccess(whole);
    vtest::RunOptions cancel;
    cancel.terminateAfterOutput = static_cast<long>(whole.out.size());
    const vtest::RunResult r = vtest::RunFilter(options, pending, Input::Pipe, cancel);
    ExpectSuccess(r);
    EXPECT_EQ(r.out, whole.out) << options;
  }
}

TEST(EndOfJob, ShortReadKeepsTheCompletePagesAndFails) {
  const std::vector<TestPage> pages{{120, 30, Busy}, {120, 30, Busy}};
  for (auto compression : {vtest::Compression::None, vtest::Compression::Compressed}) {
    const auto raster = RasterOf(pages, compression);
    const std::vector<uint8_t> firstPage = Expected({pages[0]}, 0, true);
    const std::vector<uint8_t> onePage = RasterOf({pages[0]}, compression);
    // Cut inside the second page's lines, and inside the first page's.
    const size_t cuts[] = {raster.size() - 5, onePage.size() + 1796 + 5,
                           1800 + (onePage.size() - 1800) / 2};
    for (size_t cut : cuts) {
      const std::vector<uint8_t> truncated(raster.begin(), raster.begin() + cut);
      const vtest::RunResult r = vtest::RunFilter("", truncated);
      ExpectOneErrorLine(r);
      EXPECT_EQ(r.out, cut > onePage.size() ? firstPage : std::vector<uint8_t>{}) << "cut " << cut;
    }
  }
}

TEST(EndOfJob, InputThatCannotBeReadFails) {
  // Not a raster, and a file that does not exist.
  const std::vector<uint8_t> garbage{'n', 'o', 't', ' ', 'r', 'a', 's', 't', 'e', 'r'};
  ExpectOneErrorLine(vtest::RunFilter("", garbage));
  const vtest::RunResult missing = vtest::RunProgram(
      {vtest::FilterPath(), "1", "u", "t", "1", "", "/nonexistent/job.ras"}, {});
  ExpectOneErrorLine(missing);
  EXPECT_TRUE(missing.out.empty());
  EXPECT_NE(missing.err.find("/nonexistent/job.ras"), std::string::npos);
}

TEST(EndOfJob, ClosedOutputIsAWriteError) {
  // Each page's stream (about 190 kB) is larger than a pipe holds, so the
  // filter is still writing when the reader goes away.
  const auto black = vtest::SolidPage(2480, 600, {0, 0, 0});
  const auto raster = vtest::MakeRaster(std::vector<vtest::tagRASTERPAGE>{black, black},
                                        vtest::Compression::Compressed);
  vtest::RunOptions options;
  options.closeOutputAfter = 100;
  const vtest::RunResult r = vtest::RunFilter("", raster, Input::Pipe, options);
  ExpectOneErrorLine(r);
}

// ------------------------------------------------------ other rasters --

// A page that is not 24-bit chunky RGB is a queue set up wrongly: the job
// ends with the pages before it and a message naming what arrived.
TEST(OtherFormats, PagesThatAreNotRgbEndTheJobNamingWhatArrived) {
  const TestPage first{120, 6, Busy};
  vtest::tagRASTERPAGE gray;
  gray.width = 300;
  gray.height = 4;
  gray.colorSpace = CUPS_CSPACE_K;
  vtest::tagRASTERPAGE bits = gray;
  bits.bitsPerColor = 1;
  vtest::tagRASTERPAGE deep = ToRaster(first);
  deep.bitsPerColor = 16;
  const struct {
    vtest::tagRASTERPAGE page;
    const char *named;
  } cases[] = {{gray, "black (K), 8 bits per colour, 8 bits per pixel, chunky"},
               {bits, "black (K), 1 bits per colour, 1 bits per pixel, chunky"},
               {deep, "RGB, 16 bits per colour, 48 bits per pixel, chunky"}};
  for (const auto &c : cases) {
    for (int code : {0, 4}) {
      const auto raster = vtest::MakeRaster(std::vector<vtest::tagRASTERPAGE>{ToRaster(first), c.page});
      const vtest::RunResult r = vtest::RunFilter(ScreeningOption(code), raster);
      ExpectOneErrorLine(r);
      EXPECT_NE(r.err.find(c.named), std::string::npos) << r.err;
      EXPECT_NE(r.err.find("must send RGB, 8 bits per colour"), std::string::npos) << r.err;
      EXPECT_EQ(r.out, vtest::RunFilter(ScreeningOption(code), RasterOf({first})).out);
    }
  }
}

// ------------------------------------------------------------ image road --

TEST(ImageRoad, AShortReadOnTheImageRoadIsNotSuccess) {
  const std::vector<TestPage> pages{{120, 30, Busy}, {120, 30, Busy}};
  const auto raster = RasterOf(pages);
  const std::vector<uint8_t> truncated(raster.begin(), raster.end() - 5);
  for (int code : {3, 4}) {
    const vtest::RunResult whole = vtest::RunFilter(ScreeningOption(code), raster);
    ExpectSuccess(whole);
    const vtest::RunResult cut = vtest::RunFilter(ScreeningOption(code), truncated);
    ExpectOneErrorLine(cut);
    // The first page is kept whole.
    EXPECT_GE(cut.out.size(), 25u + 13);
    EXPECT_EQ(std::vector<uint8_t>(cut.out.begin(), cut.out.begin() + 25), ref::JobHeader({}));
  }
}

// ---------------------------------------------------------------- memory --

// Headers that claim more than the printer could ever draw are refused before
// a line is read or a byte allocated for them.
TEST(Memory, ClaimedGeometryIsRefusedFromTheHeaderAlone) {
  const TestPage first{50, 5, Busy};
  const auto patched = [&](uint32_t width, uint32_t height, vtest::Compression c) {
    const size_t secondHeader = RasterOf({first}, c).size();
    std::vector<uint8_t> raster = RasterOf({first, {8, 1, Busy}}, c);
    const auto put32 = [&](size_t at, uint32_t v) {
      for (int i = 0; i < 4; ++i) raster.at(secondHeader + at + i) = static_cast<uint8_t>(v >> (8 * i));
    };
    put32(offsetof(cups_page_header2_t, cupsWidth), width);
    put32(offsetof(cups_page_header2_t, cupsHeight), height);
    put32(offsetof(cups_page_header2_t, cupsBytesPerLine), 3 * width);
    return raster;
  };
  for (auto c : {vtest::Compression::None, vtest::Compression::Compressed}) {
    for (auto [w, h] : {std::pair{19841u, 10u}, {100u, 29291u}, {170000000u, 4000000000u}}) {
      for (int code : {0, 3}) {
        const vtest::RunResult r = vtest::RunFilter(ScreeningOption(code), patched(w, h, c));
        ExpectOneErrorLine(r);
        EXPECT_NE(r.err.find("larger than the printer can take"), std::string::npos) << r.err;
        EXPECT_EQ(r.out, vtest::RunFilter(ScreeningOption(code), RasterOf({first})).out);
      }
    }
  }
}

}  // namespace

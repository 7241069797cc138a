// SPDX-License-Identifier: Apache-2.0
// Real PDFs through the system's filter chain and our filter (cupsfilter with
// our PPD): every screening method yields a stream that decodes and puts ink
// where the document has it, and nowhere else.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "cmnFilter.h"
#include "cups_support.h"

namespace {

using namespace vantrex::test;

// A6 test page, 2475 x 3500 pixels at 600 dpi; printed with media=A6, as the
// queue's default size is A4. Points from the top-left corner (pixels =
// points * 600 / 72):
//   black box    72..144 x 72..144    -> pixels 600..1200 x 600..1200
//   light patch  36..126 x 240..300   -> 30 % ink, pixels 300..1050 x 2000..2500
//   dark patch  160..250 x 240..300   -> 70 % ink, pixels 1333..2083 x 2000..2500
constexpr const char kTestPage[] = R"(%!PS
<< /PageSize [297 420] >> setpagedevice
0 setgray 72 276 72 72 rectfill
0.7 setgray 36 120 90 60 rectfill
0.3 setgray 160 120 90 60 rectfill
showpage
)";
constexpr int kA6Width = 2475;
constexpr int kA6Height = 3500;

struct Region {
  int x0, y0, x1, y1;
};
// Insets keep the checks off the edges, where rounding may move a pixel.
constexpr Region kBox{620, 620, 1180, 1180};
constexpr Region kLight{330, 2030, 1020, 2470};
constexpr Region kDark{1370, 2030, 2050, 2470};
constexpr Region kBlank{1400, 100, 2400, 1800};

double Share(const kt50::Page &page, Region r, bool mirrored) {
  if (!mirrored) return InkShare(page, r.x0, r.y0, r.x1, r.y1);
  auto [x0, x1] = Mirrored(r.x0, r.x1, kA6Width);
  return InkShare(page, x0, r.y0, x1, r.y1);
}

class FilterChainTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = std::make_unique<TempDir>();
    made_ = MakePdf(kTestPage, dir_->file("page.pdf"), makeError_);
  }
  static void TearDownTestSuite() { dir_.reset(); }

  // Prints a document and decodes the stream; fails the test on any fault.
  void PrintAndDecode(const std::string &document, const std::vector<std::string> &options,
                      kt50::Stream &stream, std::vector<uint8_t> *raw = nullptr) {
    FilterChain chain(VANTREX_FILTER_PATH, VANTREX_PPD_PATH);
    ASSERT_TRUE(chain.ok()) << chain.error();
    const std::string out = dir_->file("out.kt50");
    CommandResult run = chain.print(document, options, out);
    ASSERT_EQ(run.status, 0) << run.output;
    std::vector<uint8_t> bytes = ReadBytes(out);
    kt50::DecodeError error{};
    ASSERT_TRUE(kt50::DecodeStream(bytes, stream, error))
        << "offset " << error.offset << ": " << error.message;
    if (raw) *raw = std::move(bytes);
  }

  static inline std::unique_ptr<TempDir> dir_;
  static inline bool made_ = false;
  static inline std::string makeError_;
};

struct Method {
  const char *name;
  double lightMin, lightMax;  // share of ink in the 30 % patch
  double darkMin, darkMax;    // and in the 70 % patch
};

// The plain threshold prints 30 % ink as white and 70 % as black; the solid
// fill inks everything not white; the screens land near the tone, the image
// pipeline's tone curves pull it lighter.
constexpr Method kMethods[] = {
    {"TKScreeningNone", 0.0, 0.0, 1.0, 1.0},
    {"TKScreeningRough", 0.2, 0.4, 0.6, 0.8},
    {"TKScreeningFine", 0.2, 0.4, 0.6, 0.8},
    {"TKScreeningFrequencyAngle", 0.02, 0.45, 0.25, 0.9},
    {"TKScreeningErrorDiffusion", 0.02, 0.45, 0.2, 0.9},
    {"TKScreeningSolid", 1.0, 1.0, 1.0, 1.0},
};

class ScreeningMethodTest : public FilterChainTest,
                            public ::testing::WithParamInterface<Method> {};

TEST_P(ScreeningMethodTest, TestPageHasInkWhereTheDocumentHasIt) {
  ASSERT_TRUE(made_) << makeError_;
  const Method m = GetParam();
  kt50::Stream stream;
  ASSERT_NO_FATAL_FAILURE(PrintAndDecode(
      dir_->file("page.pdf"), {"media=A6", std::string("TKDotScreening=") + m.name}, stream));
  ASSERT_EQ(stream.pages.size(), 1u);
  const kt50::Page &page = stream.pages[0];
  EXPECT_EQ(page.width, kA6Width);
  EXPECT_EQ(page.height, kA6Height);
  // Mirroring is on unless the job turns it off.
  EXPECT_EQ(Share(page, kBox, true), 1.0);
  EXPECT_EQ(Share(page, kBlank, true), 0.0);
  EXPECT_EQ(Share(page, kBox, false), 0.0) << "box not mirrored";
  const double light = Share(page, kLight, true);
  const double dark = Share(page, kDark, true);
  EXPECT_GE(light, m.lightMin);
  EXPECT_LE(light, m.lightMax);
  EXPECT_GE(dark, m.darkMin);
  EXPECT_LE(dark, m.darkMax);
  EXPECT_LE(light, dark);
}

TEST_P(ScreeningMethodTest, BundledSampleDecodesWithItsLandmarks) {
  const Method m = GetParam();
  kt50::Stream stream;
  ASSERT_NO_FATAL_FAILURE(
      PrintAndDecode(VANTREX_SAMPLE_PDF, {std::string("TKDotScreening=") + m.name}, stream));
  ASSERT_EQ(stream.pages.size(), 1u);
  const kt50::Page &page = stream.pages[0];
  ASSERT_EQ(page.width, 4958);  // A4 at 600 dpi
  ASSERT_EQ(page.height, 7017);
  // Black square at 300..900 x 300..900, white corner at 4500.. x 6583..,
  // both seen mirrored.
  auto [bx0, bx1] = Mirrored(330, 870, page.width);
  EXPECT_EQ(InkShare(page, bx0, 330, bx1, 870), 1.0);
  auto [wx0, wx1] = Mirrored(4520, 4958, page.width);
  EXPECT_EQ(InkShare(page, wx0, 6600, wx1, 7017), 0.0);
  // The picture and the wedge put ink on a good part of the page.
  EXPECT_GT(InkShare(page, 0, 0, page.width, page.height), 0.05);
}

INSTANTIATE_TEST_SUITE_P(AllMethods, ScreeningMethodTest, ::testing::ValuesIn(kMethods),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(FilterChainTest, MirrorOffKeepsTheDocumentTheRightWayRound) {
  ASSERT_TRUE(made_) << makeError_;
  kt50::Stream stream;
  ASSERT_NO_FATAL_FAILURE(
      PrintAndDecode(dir_->file("page.pdf"), {"media=A6", "TKMirror=TKMirrorOFF"}, stream));
  ASSERT_EQ(stream.pages.size(), 1u);
  EXPECT_EQ(Share(stream.pages[0], kBox, false), 1.0);
  EXPECT_EQ(Share(stream.pages[0], kBox, true), 0.0);
}

TEST_F(FilterChainTest, DefaultJobCarriesTheTemplateHeader) {
  ASSERT_TRUE(made_) << makeError_;
  kt50::Stream stream;
  std::vector<uint8_t> bytes;
  ASSERT_NO_FATAL_FAILURE(PrintAndDecode(dir_->file("page.pdf"), {"media=A6"}, stream, &bytes));
  ASSERT_GE(bytes.size(), g_JobHeader.size());
  EXPECT_TRUE(std::equal(g_JobHeader.begin(), g_JobHeader.end(), bytes.begin()));
}

TEST_F(FilterChainTest, CopiesAreMadeBeforeTheFilter) {
  // The filter sends each page once, so the PPD leaves copies to the chain.
  ASSERT_TRUE(made_) << makeError_;
  kt50::Stream stream;
  ASSERT_NO_FATAL_FAILURE(
      PrintAndDecode(dir_->file("page.pdf"), {"media=A6", "copies=2"}, stream));
  EXPECT_EQ(stream.pages.size(), 2u);
}

TEST_F(FilterChainTest, LargestPageSizeFitsThePrintArea) {
  ASSERT_TRUE(made_) << makeError_;
  kt50::Stream stream;
  ASSERT_NO_FATAL_FAILURE(
      PrintAndDecode(dir_->file("page.pdf"), {"PageSize=419.81x619.83mm.Fullbleed"}, stream));
  ASSERT_EQ(stream.pages.size(), 1u);
  EXPECT_LE(stream.pages[0].width, kPageBitmapWidth);
  EXPECT_LE(stream.pages[0].height, kPageBitmapHeight);
  EXPECT_GE(stream.pages[0].width, 9900);
  EXPECT_GE(stream.pages[0].height, 14600);
}

}  // namespace

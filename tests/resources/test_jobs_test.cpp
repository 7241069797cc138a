// SPDX-License-Identifier: Apache-2.0
// The stored test jobs A, B and C: valid KT50 streams with the default job
// header, whose pages carry their charts, and that the test print panel can
// patch.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "TestPrintModel.h"
#include "cmnFilter.h"
#include "image.h"
#include "kt50stream.h"
#include "samples.h"

namespace {

using namespace vres;

const std::string kJobDir = std::string(VANTREX_TEST_JOBS_DIR) + "/";

constexpr size_t kMaxJobBytes = 4 * 1024 * 1024;

Bytes LoadJob(int index) {
  const std::string path = OptionPanel::storedTestJobPath(index, kJobDir);
  const auto bytes = ReadFile(path);
  if (!bytes) ADD_FAILURE() << path << ": missing";
  return bytes.value_or(Bytes{});
}

kt50::Stream Decode(const Bytes &bytes) {
  kt50::Stream stream;
  kt50::DecodeError error{};
  EXPECT_TRUE(kt50::DecodeStream(bytes, stream, error)) << "offset " << error.offset << ": " << error.message;
  return stream;
}

class StoredTestJob : public testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    bytes_ = LoadJob(GetParam());
    ASSERT_FALSE(bytes_.empty());
    stream_ = Decode(bytes_);
    ASSERT_EQ(stream_.pages.size(), 1u);
    chart_ = FindTestChart(OptionPanel::s_TestPrintIdentifierList[GetParam()][0]);
    ASSERT_NE(chart_, nullptr);
  }
  const kt50::Page &page() const { return stream_.pages.front(); }

  Bytes bytes_;
  kt50::Stream stream_;
  const tagTESTCHART *chart_ = nullptr;
};

TEST_P(StoredTestJob, IsSmallAndStartsWithTheDefaultJobHeader) {
  EXPECT_LE(bytes_.size(), kMaxJobBytes);
  ASSERT_TRUE(stream_.hasHeader);
  ASSERT_GE(bytes_.size(), size_t(kJobHeaderSize));
  EXPECT_TRUE(std::equal(g_JobHeader.begin(), g_JobHeader.end(), bytes_.begin()));
}

TEST_P(StoredTestJob, PageHasTheChartSizeRaisedToThePrinterMinimum) {
  EXPECT_EQ(page().width, std::max(chart_->width, 2364));
  EXPECT_EQ(page().height, std::max(chart_->height, 2364));
}

TEST_P(StoredTestJob, InkLiesOnlyWithinTheChart) {
  for (int y = 0; y < page().height; y += 7)
    for (int x = chart_->width; x < page().width; ++x) ASSERT_FALSE(page().inked(x, y)) << x << "," << y;
  for (int y = chart_->height; y < page().height; ++y)
    for (int x = 0; x < page().width; x += 5) ASSERT_FALSE(page().inked(x, y)) << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(AB_C, StoredTestJob, testing::Values(0, 1, 2));

// B and C are printed with the plain threshold and the default mirror, so the
// page must be the chart, mirrored, pixel for pixel.
TEST(StoredTestJobs, LinesAndLaneChartsArePrintedPixelForPixel) {
  for (int index : {1, 2}) {
    const kt50::Stream stream = Decode(LoadJob(index));
    ASSERT_EQ(stream.pages.size(), 1u);
    const tagTESTCHART &chart = *FindTestChart(OptionPanel::s_TestPrintIdentifierList[index][0]);
    ASSERT_STREQ(chart.options, "");
    const RgbImage drawn = DrawTestChart(chart);
    size_t wrong = 0;
    for (int y = 0; y < chart.height; ++y)
      for (int x = 0; x < chart.width; ++x)
        wrong += stream.pages[0].inked(x, y) != (FilterGray(drawn.at(chart.width - 1 - x, y)) < 128);
    EXPECT_EQ(wrong, 0u) << chart.id;
  }
}

TEST(StoredTestJobs, LaneChartInksAllFourLanes) {
  const kt50::Stream stream = Decode(LoadJob(2));
  ASSERT_EQ(stream.pages.size(), 1u);
  std::vector<int> lanes;
  for (const kt50::LaneBlock &block : stream.pages[0].lanes) lanes.push_back(block.lane);
  EXPECT_EQ(lanes, (std::vector<int>{1, 2, 3, 4}));
}

TEST(StoredTestJobs, DensityPatchesDarkenStepByStep) {
  const kt50::Stream stream = Decode(LoadJob(0));
  ASSERT_EQ(stream.pages.size(), 1u);
  const tagTESTCHART &chart = *FindTestChart('A');
  const kt50::Page &page = stream.pages[0];
  double previous = -1;
  for (int i = 0; i < kRampSteps; ++i) {
    const Rect r = RampPatchRect(i);
    int ink = 0;
    for (int y = r.y; y < r.y + r.h; ++y)
      for (int x = r.x; x < r.x + r.w; ++x) ink += page.inked(chart.width - 1 - x, y);  // mirrored
    const double coverage = double(ink) / (r.w * r.h);
    if (i == 0) {
      EXPECT_EQ(coverage, 0.0);
    }
    if (i == kRampSteps - 1) {
      EXPECT_EQ(coverage, 1.0);
    }
    EXPECT_GT(coverage, previous) << "patch " << RampPatchPercent(i) << "%";
    EXPECT_NEAR(coverage, RampPatchPercent(i) / 100.0, 0.08) << "patch " << RampPatchPercent(i) << "%";
    previous = coverage;
  }
}

TEST(StoredTestJobs, PanelPatchesTheHeaderAndKeepsThePages) {
  PanelSettings settings;
  settings.nWriteDensityChoice = -16;
  settings.nAdjustLengthChoice = -500;
  settings.nWriteSpeedChoice = 3;
  settings.nWriteRepeatChoice = 2;
  settings.nLineEnhanceChoice = 1;
  settings.nLaneOverlapChoice = 0;  // first choice: -3
  for (int index = 0; index < OptionPanel::kTestPrintCount; ++index) {
    char name[OptionPanel::kTempNameSize] = {};
    ASSERT_TRUE(OptionPanel::createTestPrintFileData(settings, name, sizeof name, index, kJobDir));
    const auto copy = ReadFile(name);
    ::unlink(name);
    ASSERT_TRUE(copy);
    const Bytes original = LoadJob(index);
    ASSERT_EQ(copy->size(), original.size());
    EXPECT_TRUE(std::equal(copy->begin() + kJobHeaderSize, copy->end(), original.begin() + kJobHeaderSize));
    const kt50::Stream patched = Decode(*copy);
    ASSERT_TRUE(patched.hasHeader);
    EXPECT_EQ(patched.header.writeDensity, -16);
    EXPECT_EQ(patched.header.adjustLength, -500);
    EXPECT_EQ(patched.header.writeSpeed, 3);
    EXPECT_EQ(patched.header.writeRepeat, 2);
    EXPECT_EQ(patched.header.lineEnhance, 1);
    EXPECT_EQ(patched.header.laneOverlap, -3);
    EXPECT_EQ(patched.pages.size(), 1u);
  }
}

}  // namespace

// SPDX-License-Identifier: Apache-2.0
// The driver behind a real queue of a private scheduler: lpadmin makes the
// queue from our PPD, lp submits jobs, and the stream that reaches the
// printer's device carries the job's options.
#include <cups/raster.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "cmnFilter.h"
#include "cups_support.h"

namespace {

using namespace vantrex::test;

const std::string kFull = std::string(g_KeyPrefix) + ".";

// A6 page with a black box at 72..144 pt from the top-left corner, i.e.
// pixels 600..1200 at 600 dpi.
constexpr const char kBoxPage[] = R"(%!PS
<< /PageSize [297 420] >> setpagedevice
0 setgray 72 276 72 72 rectfill
showpage
)";

class SchedulerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(cups_.ok()) << cups_.error();
    out_ = cups_.captureDir() + "/kt50.out";
    ASSERT_TRUE(cups_.addQueue("KT50", VANTREX_PPD_PATH, out_)) << cups_.error();
    std::string error;
    pdf_ = cups_.root() + "/box.pdf";
    ASSERT_TRUE(MakePdf(kBoxPage, pdf_, error)) << error;
  }

  // Submits with lp, waits for the end, and returns the job's final state.
  ipp_jstate_t Print(const std::string &file, const std::vector<std::string> &options,
                     const std::string &queue = "KT50") {
    const int job = cups_.submit(queue, file, options);
    EXPECT_GT(job, 0) << cups_.error();
    if (job <= 0) return static_cast<ipp_jstate_t>(0);
    const ipp_jstate_t state = cups_.waitForJob(job, 180);
    message_ = cups_.jobMessage(job);
    return state;
  }

  // Completed jobs only: decodes what reached the device.
  void ExpectCompletedAndDecode(ipp_jstate_t state, kt50::Stream &stream,
                                std::vector<uint8_t> &bytes) {
    ASSERT_EQ(state, IPP_JSTATE_COMPLETED)
        << JobStateName(state) << ": " << message_ << "\n" << cups_.errorLog();
    bytes = ReadBytes(out_);
    kt50::DecodeError error{};
    ASSERT_TRUE(kt50::DecodeStream(bytes, stream, error))
        << "offset " << error.offset << ": " << error.message;
    ASSERT_EQ(stream.pages.size(), 1u);
  }

  PrivateCups cups_{VANTREX_FILTER_PATH};
  std::string out_, pdf_, message_;
};

TEST_F(SchedulerTest, OptionsUnderBareAndFullKeysReachTheStream) {
  const ipp_jstate_t state =
      Print(pdf_, {"media=A6", "TKWriteSpeed=2", "TKWriteRepeat=3", "TKLineEnhance=TKEnhanceBold2",
                   "TKLaneOverlap=-3", "TKMirror=TKMirrorOFF", kFull + "TKWriteDensity=-05",
                   kFull + "TKAdjustLength=+025", kFull + "TKDotScreening=TKScreeningFine"});
  kt50::Stream stream;
  std::vector<uint8_t> bytes;
  ASSERT_NO_FATAL_FAILURE(ExpectCompletedAndDecode(state, stream, bytes));
  ASSERT_GE(bytes.size(), 25u);
  EXPECT_EQ(bytes[3], 0xFB);   // density -5
  EXPECT_EQ(bytes[7], 2);      // speed
  EXPECT_EQ(bytes[11], 3);     // repeat
  EXPECT_EQ(bytes[15], 2);     // line enhancement Bold2
  EXPECT_EQ(bytes[19], 0xFD);  // lane overlap -3
  EXPECT_EQ(bytes[23], 25);    // length adjustment +25, little-endian
  EXPECT_EQ(bytes[24], 0);
  EXPECT_EQ(stream.header.writeDensity, -5);
  EXPECT_EQ(stream.header.adjustLength, 25);
  // Mirror off: the box is where the document has it.
  const kt50::Page &page = stream.pages[0];
  EXPECT_EQ(page.width, 2475);
  EXPECT_EQ(InkShare(page, 620, 620, 1180, 1180), 1.0);
  auto [mx0, mx1] = Mirrored(620, 1180, page.width);
  EXPECT_EQ(InkShare(page, mx0, 620, mx1, 1180), 0.0);
}

TEST_F(SchedulerTest, FullKeyWinsOverBareKeyword) {
  const ipp_jstate_t state =
      Print(pdf_, {"media=A6", "TKWriteDensity=+03", kFull + "TKWriteDensity=-07",
                   "TKMirror=TKMirrorOFF", kFull + "TKMirror=TKMirrorON"});
  kt50::Stream stream;
  std::vector<uint8_t> bytes;
  ASSERT_NO_FATAL_FAILURE(ExpectCompletedAndDecode(state, stream, bytes));
  EXPECT_EQ(bytes[3], 0xF9);  // -7
  auto [mx0, mx1] = Mirrored(620, 1180, stream.pages[0].width);
  EXPECT_EQ(InkShare(stream.pages[0], mx0, 620, mx1, 1180), 1.0) << "mirrored";
}

TEST_F(SchedulerTest, JobWithoutOptionsIsMirroredWithTheTemplateHeader) {
  const ipp_jstate_t state = Print(pdf_, {"media=A6"});
  kt50::Stream stream;
  std::vector<uint8_t> bytes;
  ASSERT_NO_FATAL_FAILURE(ExpectCompletedAndDecode(state, stream, bytes));
  EXPECT_TRUE(std::equal(g_JobHeader.begin(), g_JobHeader.end(), bytes.begin()));
  auto [mx0, mx1] = Mirrored(620, 1180, stream.pages[0].width);
  EXPECT_EQ(InkShare(stream.pages[0], mx0, 620, mx1, 1180), 1.0);
}

TEST_F(SchedulerTest, RawJobReachesTheDeviceUnchanged) {
  // A stored job as the test print sends it: a header with settings, a blank
  // page, and bytes after it that no filter may touch.
  std::vector<uint8_t> job(g_JobHeader.begin(), g_JobHeader.end());
  SetPrintJobHeader(job.data(), -16, -500, 3, 3, 2, -3);
  const uint8_t page[] = {0x1B, 0x7C, 0x40, 0x1B, 0x7C, 0x45, 0x3C, 0x09,
                          0x3C, 0x09, 0x1B, 0x7C, 0x0C};
  job.insert(job.end(), std::begin(page), std::end(page));
  for (int i = 0; i < 3000; ++i) job.push_back(static_cast<uint8_t>(i * 7));
  const std::string file = cups_.root() + "/stored.prn";
  ASSERT_TRUE(WriteBytes(file, job));

  const ipp_jstate_t state = Print(file, {"raw"});
  ASSERT_EQ(state, IPP_JSTATE_COMPLETED) << JobStateName(state) << ": " << message_;
  EXPECT_EQ(ReadBytes(out_), job);
}

TEST_F(SchedulerTest, JobWhoseFilterFailsIsNotReportedCompleted) {
  // A raster page that ends after 100 of its 1000 lines.
  const std::string file = cups_.root() + "/truncated.ras";
  {
    int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    cups_raster_t *raster = cupsRasterOpen(fd, CUPS_RASTER_WRITE);
    ASSERT_NE(raster, nullptr);
    cups_page_header2_t header{};
    header.HWResolution[0] = header.HWResolution[1] = 600;
    header.cupsWidth = 1000;
    header.cupsHeight = 1000;
    header.cupsBitsPerColor = 8;
    header.cupsBitsPerPixel = 24;
    header.cupsBytesPerLine = 3000;
    header.cupsColorSpace = CUPS_CSPACE_RGB;
    header.cupsColorOrder = CUPS_ORDER_CHUNKED;
    header.PageSize[0] = header.PageSize[1] = 120;
    ASSERT_TRUE(cupsRasterWriteHeader2(raster, &header));
    std::vector<unsigned char> line(3000, 0);
    for (int y = 0; y < 100; ++y) ASSERT_EQ(cupsRasterWritePixels(raster, line.data(), 3000), 3000u);
    cupsRasterClose(raster);
    close(fd);
  }
  const ipp_jstate_t state = Print(file, {"document-format=application/vnd.cups-raster"});
  // CUPS stops a job whose filter failed; it must not count as printed.
  EXPECT_EQ(state, IPP_JSTATE_STOPPED) << JobStateName(state) << ": " << message_;
  // The filter said why, and the scheduler shows it with the job.
  EXPECT_FALSE(message_.empty());
}

// The ten settings as one queue's defaults: lpadmin -o rewrites the
// defaults of the eight PPD options in the queue's PPD; density and length
// are no PPD options, and lpadmin keeps them only in their "-default" form,
// which the scheduler then adds to every job's options.
TEST_F(SchedulerTest, QueueDefaultsReachTheStreamAsJobOptionsWould) {
  const std::vector<std::string> settings{
      "TKWriteSpeed=2",          "TKWriteRepeat=3",
      "TKLineEnhance=TKEnhanceBold1", "TKLaneOverlap=-2",
      "TKMirror=TKMirrorOFF",    "TKDotScreening=TKScreeningFrequencyAngle",
      "TKDotScreeningFrequency=100", "TKDotScreeningAngle=45"};
  const std::string queueOut = cups_.captureDir() + "/kt50-defaults.out";
  ASSERT_TRUE(cups_.addQueue("KT50D", VANTREX_PPD_PATH, queueOut)) << cups_.error();
  std::vector<std::string> lpadmin{"lpadmin", "-h", cups_.server(), "-p", "KT50D",
                                   "-o", "PageSize=A6.Fullbleed",
                                   "-o", "TKWriteDensity-default=-05",
                                   "-o", "TKAdjustLength-default=+025"};
  for (const std::string &setting : settings) {
    lpadmin.push_back("-o");
    lpadmin.push_back(setting);
  }
  const CommandResult made = cups_.run(lpadmin);
  ASSERT_EQ(made.status, 0) << made.output;

  // The same settings as job options on a queue left at the PPD's defaults.
  std::vector<std::string> asJob = settings;
  asJob.insert(asJob.end(), {"media=A6", "TKWriteDensity=-05", "TKAdjustLength=+025"});
  kt50::Stream expected;
  std::vector<uint8_t> expectedBytes;
  ExpectCompletedAndDecode(Print(pdf_, asJob), expected, expectedBytes);

  const ipp_jstate_t state = Print(pdf_, {}, "KT50D");
  ASSERT_EQ(state, IPP_JSTATE_COMPLETED) << JobStateName(state) << ": " << message_;
  const std::vector<uint8_t> bytes = ReadBytes(queueOut);
  ASSERT_GE(bytes.size(), 25u);
  EXPECT_EQ(bytes[3], 0xFB);   // density -5
  EXPECT_EQ(bytes[7], 2);      // speed
  EXPECT_EQ(bytes[11], 3);     // repeat
  EXPECT_EQ(bytes[15], 1);     // line enhancement Bold1
  EXPECT_EQ(bytes[19], 0xFE);  // lane overlap -2
  EXPECT_EQ(bytes[23], 25);    // length +25
  // Mirror, screening, frequency and angle act on the page: the whole stream
  // equals the one the job options made.
  EXPECT_TRUE(bytes == expectedBytes) << bytes.size() << " bytes, expected " << expectedBytes.size();
  kt50::Stream stream;
  kt50::DecodeError error{};
  ASSERT_TRUE(kt50::DecodeStream(bytes, stream, error)) << error.message;
  ASSERT_EQ(stream.pages.size(), 1u);
  // Not mirrored: the box is where the document has it; AM dots leave gaps.
  const double ink = InkShare(stream.pages[0], 620, 620, 1180, 1180);
  EXPECT_GT(ink, 0.5);
  auto [mx0, mx1] = Mirrored(620, 1180, stream.pages[0].width);
  EXPECT_EQ(InkShare(stream.pages[0], mx0, 620, mx1, 1180), 0.0);
}

// The system's PDF filters leave page accounting to the last filter of the
// chain, ours: each page it writes is one impression, copies made upstream
// included.
TEST_F(SchedulerTest, ImpressionsCompletedEqualThePagesPrinted) {
  const std::string pdf = cups_.root() + "/three.pdf";
  std::string error;
  const std::string onePage(kBoxPage);
  const std::string drawing = onePage.substr(onePage.find("0 setgray"));
  ASSERT_TRUE(MakePdf(onePage + drawing + drawing, pdf, error)) << error;
  for (const int copies : {1, 2}) {
    SCOPED_TRACE("copies=" + std::to_string(copies));
    const int job = cups_.submit("KT50", pdf, {"media=A6", "copies=" + std::to_string(copies)});
    ASSERT_GT(job, 0) << cups_.error();
    const ipp_jstate_t state = cups_.waitForJob(job, 180);
    ASSERT_EQ(state, IPP_JSTATE_COMPLETED) << JobStateName(state) << ": " << cups_.jobMessage(job);
    kt50::Stream stream;
    kt50::DecodeError decodeError{};
    ASSERT_TRUE(kt50::DecodeStream(ReadBytes(out_), stream, decodeError)) << decodeError.message;
    EXPECT_EQ(stream.pages.size(), 3u * copies);
    EXPECT_EQ(cups_.jobImpressions(job), static_cast<int>(stream.pages.size()))
        << cups_.pageLog();
  }
}

}  // namespace

// The printer application behind the system's own scheduler, as a CUPS user
// meets it: a driverless ("everywhere") queue made from what the application
// advertises, and documents printed with lp arrive as the right pages on the
// right paper.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "app_support.h"
#include "kt50stream.h"
#include "private_cups.h"

namespace {

namespace fs = std::filesystem;
using apptest::AppServer;
using vantrex::test::PrivateCups;

std::set<std::string> Outputs(const AppServer &server) {
  std::set<std::string> names;
  for (const auto &entry : fs::directory_iterator(server.dir() + "/spool/out"))
    names.insert(entry.path().string());
  return names;
}

// The stream the application wrote for the next job, once it is whole.
kt50::Stream NextStream(const AppServer &server, const std::set<std::string> &before) {
  kt50::Stream stream;
  for (int i = 0; i < 600; ++i) {
    for (const std::string &path : Outputs(server)) {
      if (before.count(path)) continue;
      kt50::DecodeError error;
      kt50::Stream decoded;
      if (kt50::DecodeStream(apptest::ReadFile(path), decoded, error) && !decoded.pages.empty())
        stream = decoded;
    }
    if (!stream.pages.empty()) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return stream;
}

void ExpectA4(const kt50::Page &page) {
  // A4 at 600 dpi, give or take the renderer's rounding; Letter would be
  // 5100 x 6600.
  EXPECT_NEAR(page.width, 4960, 4);
  EXPECT_NEAR(page.height, 7016, 4);
}

TEST(CupsClientTest, EverywhereQueuePrintsA4PdfAndPngAsA4) {
  AppServer server;
  PrivateCups cups("");
  ASSERT_TRUE(cups.ok()) << cups.error();
  std::error_code ignored;
  fs::create_symlink("/usr/lib/cups/backend/ipp", cups.root() + "/bin/backend/ipp", ignored);
  const vantrex::test::CommandResult added = cups.run(
      {"lpadmin", "-h", cups.server(), "-p", "KT50", "-E", "-v", server.uri(), "-m", "everywhere"});
  ASSERT_EQ(added.status, 0) << added.output;
  // Plain sizes besides the borderless ones, A4 the default (the scheduler
  // may take a moment before it hands out the queue's new PPD).
  std::string sizes;
  for (int i = 0; i < 50 && sizes.find("PageSize") == std::string::npos; ++i) {
    if (i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    sizes = cups.run({"lpoptions", "-h", cups.server(), "-p", "KT50", "-l"}).output;
  }
  EXPECT_NE(sizes.find(" *A4 "), std::string::npos) << sizes;
  EXPECT_NE(sizes.find(" A4.Borderless"), std::string::npos) << sizes;

  apptest::TempDir dir;
  chmod(dir.path().c_str(), 0755);
  const std::string doc =
      "%!PS\n<< /PageSize [595 842] >> setpagedevice\n"
      "0 setgray 72 72 200 300 rectfill showpage 0.5 setgray 300 500 200 200 rectfill showpage\n";
  const std::string pdf = dir.path() + "/doc-a4.pdf", png = dir.path() + "/photo.png";
  ASSERT_TRUE(apptest::RenderPostScript(doc, "pdfwrite", pdf));
  ASSERT_TRUE(apptest::RenderPostScript(doc, "png16m", png, "-r20 -dLastPage=1"));
  for (const auto &[file, pages] : {std::pair{pdf, 2u}, std::pair{png, 1u}}) {
    SCOPED_TRACE(file);
    chmod(file.c_str(), 0644);
    const std::set<std::string> before = Outputs(server);
    const int job = cups.submit("KT50", file);
    ASSERT_GT(job, 0) << cups.error();
    EXPECT_EQ(cups.waitForJob(job, 120), IPP_JSTATE_COMPLETED) << cups.errorLog();
    const kt50::Stream stream = NextStream(server, before);
    ASSERT_EQ(stream.pages.size(), pages);
    for (const kt50::Page &page : stream.pages) ExpectA4(page);
  }
}

}  // namespace

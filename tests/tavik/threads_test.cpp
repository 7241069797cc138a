// SPDX-License-Identifier: Apache-2.0
// Several jobs on the image road at once, as the printer application runs
// its printers' jobs in threads: each job's stream equals the same job
// rendered alone, whatever the others build and screen meanwhile.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "pageengine.h"
#include "tavik_reference.h"

namespace {

struct Job {
  DotScreening method;
  int32_t frequency, angle;
};

// Two small pages of the test pattern through the page engine.
std::string Render(const Job &job) {
  char *text = nullptr;
  size_t size = 0;
  FILE *out = open_memstream(&text, &size);
  tagJOBSETTINGS settings;
  settings.dotScreening = Code(job.method);
  settings.frequency = job.frequency;
  settings.angle = job.angle;
  tagPRINTJOB *engine = NewPrintJob();
  bool ok = StartPrintJob(engine, settings, out);
  for (uint32_t page = 0; page < 2 && ok; ++page) {
    const uint32_t width = 61 + page, height = 37;
    ok = StartPrintPage(engine, width, height);
    std::vector<uint8_t> line(3 * width);
    for (uint32_t y = 0; y < height && ok; ++y) {
      for (uint32_t x = 0; x < width; ++x) {
        const vtest::RGB c = tavik_test::Pattern(x + page, y);
        line[3 * x] = c.r;
        line[3 * x + 1] = c.g;
        line[3 * x + 2] = c.b;
      }
      PutPrintLine(engine, line.data(), line.size());
    }
    ok = ok && EndPrintPage(engine);
  }
  const std::string error = PrintJobError(engine);
  DeletePrintJob(engine);
  fclose(out);
  std::string stream(text, size);
  free(text);
  return ok ? stream : "failed: " + error;
}

TEST(ImageRoadThreads, JobsAtOnceWriteWhatEachWritesAlone) {
  constexpr DotScreening kAm = DotScreening::FrequencyAngle;
  const std::vector<Job> jobs{{kAm, 38, 37},  {kAm, 133, 75}, {kAm, 150, 30},
                              {kAm, 60, 45},  {kAm, 200, 0},  {kAm, 47, 62},
                              {kAm, 100, 15}, {DotScreening::ErrorDiffusion, 38, 37}};
  std::vector<std::string> alone;
  for (const Job &job : jobs) {
    alone.push_back(Render(job));
    ASSERT_EQ(alone.back().rfind("failed", 0), std::string::npos) << alone.back();
  }
  for (size_t i = 1; i < alone.size(); ++i) ASSERT_NE(alone[i], alone[i - 1]);

  constexpr size_t kThreads = 8, kRounds = 64;
  std::atomic<int> differing{0};
  std::vector<std::thread> threads;
  for (size_t t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (size_t round = 0; round < kRounds; ++round) {
        const size_t j = (t * 3 + round) % jobs.size();
        if (Render(jobs[j]) != alone[j]) ++differing;
      }
    });
  }
  for (std::thread &thread : threads) thread.join();
  EXPECT_EQ(differing.load(), 0) << "of " << kThreads * kRounds << " jobs";
}

}  // namespace

// SPDX-License-Identifier: Apache-2.0
// A private CUPS scheduler for tests.
//
// PrivateCups starts `cupsd -f` as a child process with its own
// configuration, spool, cache, state and logs under a fresh temporary
// directory, listening on a free loopback port only (never the system's
// daemon or its socket). Its ServerBin links to the system's programs and
// adds our filter and a tiny "capture" backend that copies each job to the
// file named in its device URI ("capture:/path/to/file").
//
// Every job reaches an end state that waitForJob() sees: completed, aborted
// (a failing backend aborts the job, ErrorPolicy abort-job, rather than
// stopping the queue), canceled, or stopped (CUPS stops a job whose filter
// failed; it stays so until someone restarts it).
//
// The destructor stops the daemon by its process id (SIGTERM, then SIGKILL
// if it lingers) and removes the directory, also when a test fails early.
// If the test process itself dies, the daemon is sent SIGTERM as well.
//
// Filters and backends run as user "lp": the filter program and the PPD must
// be readable by "lp", and capture files must be in a directory that "lp" can
// write; captureDir() is one.
//
// Typical use:
//   vantrex::test::PrivateCups cups(VANTREX_FILTER_PATH);
//   ASSERT_TRUE(cups.ok()) << cups.error();
//   std::string out = cups.captureDir() + "/kt50.out";
//   ASSERT_TRUE(cups.addQueue("KT50", "ppd/vantrex-kt50.ppd", out)) << cups.error();
//   int job = cups.submit("KT50", "doc.pdf", {"TKMirror=TKMirrorOFF"});
//   EXPECT_EQ(cups.waitForJob(job, 60), IPP_JSTATE_COMPLETED) << cups.errorLog();
//
// Client programs are run against it with run({"lpstat", "-h", cups.server(),
// "-t"}); run() also sets CUPS_SERVER for them. For libcups calls in the
// test process itself, call useForThisProcess() (cupsSetServer and the
// CUPS_SERVER variable).
#pragma once

#include <cups/ipp.h>
#include <sys/types.h>

#include <string>
#include <vector>

namespace vantrex::test {

// Result of a client command: exit status (-1 when it could not be run or
// ended by a signal) and its standard output and error, interleaved.
struct CommandResult {
  int status = -1;
  std::string output;
};

// Runs argv (looked up in PATH) and waits for it. env entries ("NAME=value")
// are set in its environment, replacing inherited ones of the same name.
// With stdoutPath, standard output goes to that file and only standard error
// is captured; otherwise both are captured.
CommandResult RunCommand(const std::vector<std::string> &argv,
                         const std::vector<std::string> &env = {},
                         const std::string &stdoutPath = {});

class PrivateCups {
 public:
  // Starts the scheduler; filterPath is the vantrex-filter program to offer
  // as "vantrex-filter" (may be empty when no queue needs it).
  explicit PrivateCups(const std::string &filterPath);
  ~PrivateCups();
  PrivateCups(const PrivateCups &) = delete;
  PrivateCups &operator=(const PrivateCups &) = delete;

  // True when the scheduler is running and accepts connections.
  bool ok() const { return running_; }
  // The last problem met, for test messages.
  const std::string &error() const { return error_; }
  // "127.0.0.1:PORT", for `-h` and CUPS_SERVER.
  std::string server() const;
  int port() const { return port_; }
  pid_t pid() const { return pid_; }
  // The private root directory and a directory writable by user "lp".
  const std::string &root() const { return root_; }
  std::string captureDir() const;

  // Creates and enables a queue whose jobs are copied to captureFile. With
  // an empty ppdPath the queue is raw (jobs reach the file unchanged).
  bool addQueue(const std::string &name, const std::string &ppdPath,
                const std::string &captureFile);

  // Submits a file with `lp -d queue -o opt ...`; returns the job id, or 0
  // when lp failed (error() then holds its output).
  int submit(const std::string &queue, const std::string &file,
             const std::vector<std::string> &options = {});

  // Waits until the job is completed, aborted, canceled or stopped, or until
  // the timeout; returns the last state seen (IPP_JSTATE_PENDING and up), or
  // 0 cast to ipp_jstate_t when the job could not be queried at all.
  ipp_jstate_t waitForJob(int jobId, int timeoutSeconds);
  // The job's "job-printer-state-message" (e.g. why it failed).
  std::string jobMessage(int jobId);
  // The job's "job-impressions-completed" (what the filters reported with
  // "PAGE:" lines), or -1 when it cannot be read.
  int jobImpressions(int jobId);

  // Runs a client program (looked up in PATH) with CUPS_SERVER set to this
  // scheduler and waits for it.
  CommandResult run(const std::vector<std::string> &argv) const;

  // Points libcups in this process at the scheduler.
  void useForThisProcess() const;

  // The scheduler's error log, for diagnostics when a test fails.
  std::string errorLog() const;
  // The scheduler's page log (one "total" line per finished job).
  std::string pageLog() const;

 private:
  bool prepareRoot(const std::string &filterPath);
  bool startDaemon();
  bool waitUntilListening();
  void stop();

  std::string root_;
  std::string error_;
  int port_ = 0;
  pid_t pid_ = -1;
  bool running_ = false;
};

// The state name CUPS uses ("completed", "aborted", ...), for messages.
const char *JobStateName(ipp_jstate_t state);

}  // namespace vantrex::test

// The PAPPL 1.3.1 functions the application takes over; see pappl_fixes.h.
// The originals, where still needed, are reached with dlsym(RTLD_NEXT).
#include "pappl_fixes.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "request_checks.h"
#include "state.h"
#include "system.h"

// PAPPL 1.3.1 internals: replaced here, or called.
extern "C" {
void *_papplJobProcess(pappl_job_t *job);
void _papplJobCopyDocumentData(pappl_client_t *client, pappl_job_t *job);
void _papplCopyAttributes(ipp_t *to, ipp_t *from, cups_array_t *ra, ipp_tag_t group_tag,
                          int quickcopy);
void _papplSystemProcessIPP(pappl_client_t *client);
void _papplPrinterProcessIPP(pappl_client_t *client);
void _papplJobProcessIPP(pappl_client_t *client);
void _papplJobSubmitFile(pappl_job_t *job, const char *filename);
void _papplClientFlushDocumentData(pappl_client_t *client);
http_t *_papplMainloopConnect(const char *base_name, bool auto_start);
}

namespace {

template <typename Fn>
Fn Original(const char *name) {
  return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

using ProcessFn = void *(*)(pappl_job_t *);
using ClientFn = void (*)(pappl_client_t *);
using CancelJobFn = void (*)(pappl_job_t *);
using CancelAllFn = void (*)(pappl_printer_t *);

const ProcessFn g_Process = Original<ProcessFn>("_papplJobProcess");
const ClientFn g_SystemIPP = Original<ClientFn>("_papplSystemProcessIPP");
const ClientFn g_PrinterIPP = Original<ClientFn>("_papplPrinterProcessIPP");
const ClientFn g_JobIPP = Original<ClientFn>("_papplJobProcessIPP");
const CancelJobFn g_CancelJob = Original<CancelJobFn>("papplJobCancel");
const CancelAllFn g_CancelAll = Original<CancelAllFn>("papplPrinterCancelAllJobs");

// ---- Job queues ----------------------------------------------------------

// A printer's queue. `run` is held while one of its jobs is processed;
// `pick` while a job is chosen, and by a cancel, which must not act between
// the choice and the moment PAPPL marks the job processing; `finish` from
// the end of our filter until PAPPL has given the job its final state, and
// by a cancel, which PAPPL would otherwise apply to a job just completed.
struct tagQUEUE {
  std::mutex run;
  std::mutex pick;
  std::mutex finish;
  pappl_job_t *starting = nullptr;
};

thread_local tagQUEUE *t_Queue = nullptr;  // the queue this job thread runs
thread_local bool t_Finishing = false;

std::mutex g_QueuesLock;
std::map<pappl_printer_t *, tagQUEUE> g_Queues;  // nodes never move

std::mutex g_RunningLock;
std::condition_variable g_RunningDone;
int g_Running = 0;

tagQUEUE &QueueOf(pappl_printer_t *printer) {
  std::lock_guard lock(g_QueuesLock);
  return g_Queues[printer];
}

bool Runnable(pappl_job_t *job) {
  // A job "processing" while no thread of ours runs it was restored from
  // the state of a server that stopped without finishing it.
  const ipp_jstate_t state = papplJobGetState(job);
  return state == IPP_JSTATE_PENDING || state == IPP_JSTATE_PROCESSING;
}

pappl_job_t *OldestRunnable(pappl_printer_t *printer) {
  struct tagPICK {
    pappl_job_t *job = nullptr;
    int id = INT_MAX;
  } pick;
  papplPrinterIterateActiveJobs(
      printer,
      [](pappl_job_t *job, void *data) {
        auto *best = static_cast<tagPICK *>(data);
        if (Runnable(job) && papplJobGetID(job) < best->id) {
          best->job = job;
          best->id = papplJobGetID(job);
        }
      },
      &pick, 1, 0);
  return pick.job;
}

void ProcessOne(tagQUEUE &queue, pappl_job_t *job) {
  {
    std::lock_guard lock(g_RunningLock);
    ++g_Running;
  }
  t_Queue = &queue;
  g_Process(job);
  if (t_Finishing) queue.finish.unlock();
  t_Finishing = false;
  t_Queue = nullptr;
  std::lock_guard lock(g_RunningLock);
  --g_Running;
  g_RunningDone.notify_all();
}

// Processes the printer's runnable jobs, oldest first, until none is left or
// the server stops (jobs not started stay queued for the next start).
void RunQueue(pappl_printer_t *printer) {
  tagQUEUE &queue = QueueOf(printer);
  std::lock_guard run(queue.run);
  while (!StopRequested()) {
    pappl_job_t *job;
    {
      std::lock_guard pick(queue.pick);
      if (!(job = OldestRunnable(printer))) return;
      queue.starting = job;
    }
    ProcessOne(queue, job);
    {
      std::lock_guard pick(queue.pick);
      queue.starting = nullptr;
    }
    // A job that ended is not printed again after a crash.
    SaveStateNow(papplPrinterGetSystem(printer));
  }
}

// Waits, holding the pick lock, until a job just chosen has been marked
// processing by PAPPL (a cancel then only flags it).
std::unique_lock<std::mutex> CancelGate(pappl_printer_t *printer) {
  tagQUEUE &queue = QueueOf(printer);
  std::unique_lock pick(queue.pick);
  while (queue.starting && papplJobGetState(queue.starting) == IPP_JSTATE_PENDING) {
    pick.unlock();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    pick.lock();
  }
  return pick;
}

// ---- Document data -------------------------------------------------------

const char *ReasonFor(ipp_jstate_t state) {
  switch (state) {
    case IPP_JSTATE_HELD:
      return "job-hold-until-specified";
    case IPP_JSTATE_PROCESSING:
      return "job-printing";
    case IPP_JSTATE_COMPLETED:
      return "job-completed-successfully";
    case IPP_JSTATE_CANCELED:
      return "job-canceled-by-user";
    case IPP_JSTATE_ABORTED:
      return "aborted-by-system";
    default:
      return "none";
  }
}

void RespondWithJob(pappl_client_t *client, pappl_job_t *job) {
  ipp_t *response = papplClientRespondIPP(client, IPP_STATUS_OK, nullptr);
  ipp_t *request = papplClientGetRequest(client);
  const int id = papplJobGetID(job);
  std::string uri;
  if (ipp_attribute_t *attr = ippFindAttribute(request, "job-uri", IPP_TAG_URI))
    uri = ippGetString(attr, 0, nullptr);
  else if (ipp_attribute_t *printer = ippFindAttribute(request, "printer-uri", IPP_TAG_URI))
    uri = std::string(ippGetString(printer, 0, nullptr)) + "/" + std::to_string(id);
  const ipp_jstate_t state = papplJobGetState(job);
  ippAddInteger(response, IPP_TAG_JOB, IPP_TAG_INTEGER, "job-id", id);
  if (!uri.empty())
    ippAddString(response, IPP_TAG_JOB, IPP_TAG_URI, "job-uri", nullptr, uri.c_str());
  ippAddInteger(response, IPP_TAG_JOB, IPP_TAG_ENUM, "job-state", state);
  ippAddString(response, IPP_TAG_JOB, IPP_TAG_KEYWORD, "job-state-reasons", nullptr,
               ReasonFor(state));
}

// Copies the request's document into a spool file; false on a read or
// write error (the file is removed then).
bool SpoolDocument(pappl_client_t *client, pappl_job_t *job, std::array<char, 1024> &filename,
                   std::string &error) {
  const int fd = papplJobOpenFile(job, filename.data(), filename.size(), nullptr, nullptr, "w");
  if (fd < 0) {
    error = "Unable to create the print file.";
    return false;
  }
  http_t *http = papplClientGetHTTP(client);
  std::array<char, 65536> buffer;
  ssize_t bytes;
  long long total = 0;
  bool ok = true;
  while ((bytes = httpRead2(http, buffer.data(), buffer.size())) > 0) {
    if (write(fd, buffer.data(), static_cast<size_t>(bytes)) != bytes) {
      ok = false;
      error = "Unable to write the print file.";
      break;
    }
    total += bytes;
  }
  if (ok && bytes < 0) {
    ok = false;
    error = "The document did not arrive whole.";
  }
  if (close(fd) != 0 && ok) {
    ok = false;
    error = "Unable to write the print file.";
  }
  if (!ok)
    unlink(filename.data());
  else
    papplLogJob(job, PAPPL_LOGLEVEL_INFO, "Received %lld bytes of document data.", total);
  return ok;
}

// ---- IPP requests --------------------------------------------------------

// Checks a request before PAPPL reads it; true when it was answered here.
bool Intercepted(pappl_client_t *client) {
  ipp_t *request = papplClientGetRequest(client);
  tagREFUSAL refusal = CleanRequestStrings(request);
  if (refusal.status == IPP_STATUS_OK) refusal = CheckVendorValues(request);
  if (refusal.status != IPP_STATUS_OK) {
    papplClientRespondIPP(client, refusal.status, "%s", refusal.message.c_str());
    if (refusal.attribute) papplClientRespondIPPUnsupported(client, refusal.attribute);
    return true;
  }
  const ipp_op_t op = ippGetOperation(request);
  if (op == IPP_OP_SHUTDOWN_ALL_PRINTERS) {
    // PAPPL's own shutdown waits up to a minute for queued jobs to finish.
    papplClientRespondIPP(client, IPP_STATUS_OK, nullptr);
    RequestStop();
    return true;
  }
  if (StopRequested() && (op == IPP_OP_PRINT_JOB || op == IPP_OP_CREATE_JOB ||
                          op == IPP_OP_SEND_DOCUMENT)) {
    papplClientRespondIPP(client, IPP_STATUS_ERROR_SERVICE_UNAVAILABLE, "The server is stopping.");
    return true;
  }
  return false;
}

}  // namespace

// ---- The replaced functions ----------------------------------------------

extern "C" void *_papplJobProcess(pappl_job_t *job) {
  RunQueue(papplJobGetPrinter(job));
  return nullptr;
}

extern "C" void papplJobCancel(pappl_job_t *job) {
  if (!job) return;
  pappl_printer_t *printer = papplJobGetPrinter(job);
  auto gate = CancelGate(printer);
  std::lock_guard finish(QueueOf(printer).finish);
  if (papplJobGetState(job) >= IPP_JSTATE_CANCELED) return;
  SetJobMessage(job, "Job cancelled.");
  g_CancelJob(job);
}

extern "C" void papplPrinterCancelAllJobs(pappl_printer_t *printer) {
  if (!printer) return;
  auto gate = CancelGate(printer);
  papplPrinterIterateActiveJobs(
      printer, [](pappl_job_t *job, void *) { SetJobMessage(job, "Job cancelled."); }, nullptr, 1,
      0);
  g_CancelAll(printer);
}

extern "C" void _papplJobCopyDocumentData(pappl_client_t *client, pappl_job_t *job) {
  std::array<char, 1024> filename{};
  std::string error;
  if (!SpoolDocument(client, job, filename, error)) {
    _papplClientFlushDocumentData(client);
    papplClientRespondIPP(client, IPP_STATUS_ERROR_INTERNAL, "%s", error.c_str());
    SetJobMessage(job, error);
    papplJobCancel(job);
    return;
  }
  if (StopRequested()) {
    // The stop saves the state any moment now: a job queued after that would
    // print after the next start although its client never heard of it.
    unlink(filename.data());
    papplClientRespondIPP(client, IPP_STATUS_ERROR_SERVICE_UNAVAILABLE, "The server is stopping.");
    SetJobMessage(job, "The server stopped before the job was queued.");
    papplJobCancel(job);
    return;
  }
  {
    // A cancel that came while the document arrived has ended the job
    // already (PAPPL would queue it all the same).
    auto gate = CancelGate(papplJobGetPrinter(job));
    if (papplJobGetState(job) >= IPP_JSTATE_CANCELED)
      unlink(filename.data());
    else
      _papplJobSubmitFile(job, filename.data());
  }
  // Acknowledged jobs survive a crash: they are in the state file first.
  SaveStateNow(papplClientGetSystem(client));
  RespondWithJob(client, job);
}

extern "C" void _papplCopyAttributes(ipp_t *to, ipp_t *from, cups_array_t *ra, ipp_tag_t group_tag,
                                     int) {
  // Always a deep copy: a quick copy shares collections, whose reference
  // counts are not thread-safe, with the printer's own attributes.
  struct tagFILTER {
    cups_array_t *ra;
    ipp_tag_t group;
  } filter{ra, group_tag};
  ippCopyAttributes(
      to, from, 0,
      [](void *context, ipp_t *, ipp_attribute_t *attr) -> int {
        const auto *f = static_cast<tagFILTER *>(context);
        const ipp_tag_t group = ippGetGroupTag(attr);
        const char *name = ippGetName(attr);
        if (!name || (f->group != IPP_TAG_ZERO && group != f->group && group != IPP_TAG_ZERO))
          return 0;
        const bool requested = f->ra && cupsArrayFind(f->ra, const_cast<char *>(name));
        if (std::string_view(name) == "media-col-database") return requested;
        return !f->ra || requested;
      },
      &filter);
}

extern "C" void _papplSystemProcessIPP(pappl_client_t *client) {
  if (!Intercepted(client)) g_SystemIPP(client);
}

extern "C" void _papplPrinterProcessIPP(pappl_client_t *client) {
  if (!Intercepted(client)) g_PrinterIPP(client);
}

extern "C" void _papplJobProcessIPP(pappl_client_t *client) {
  if (!Intercepted(client)) g_JobIPP(client);
}

// ---- Public helpers --------------------------------------------------------

bool PapplFixesInstalled(std::string &missing) {
  const std::pair<const char *, const void *> originals[] = {
      {"_papplJobProcess", reinterpret_cast<const void *>(g_Process)},
      {"_papplSystemProcessIPP", reinterpret_cast<const void *>(g_SystemIPP)},
      {"_papplPrinterProcessIPP", reinterpret_cast<const void *>(g_PrinterIPP)},
      {"_papplJobProcessIPP", reinterpret_cast<const void *>(g_JobIPP)},
      {"papplJobCancel", reinterpret_cast<const void *>(g_CancelJob)},
      {"papplPrinterCancelAllJobs", reinterpret_cast<const void *>(g_CancelAll)},
      {"_papplJobCopyDocumentData", dlsym(RTLD_NEXT, "_papplJobCopyDocumentData")},
      {"_papplCopyAttributes", dlsym(RTLD_NEXT, "_papplCopyAttributes")},
      {"_papplJobSubmitFile", dlsym(RTLD_NEXT, "_papplJobSubmitFile")},
      {"_papplClientFlushDocumentData", dlsym(RTLD_NEXT, "_papplClientFlushDocumentData")},
  };
  for (const auto &[name, address] : originals) {
    if (!address) {
      missing = name;
      return false;
    }
  }
  return true;
}

void StartRestoredQueues(pappl_system_t *system) {
  papplSystemIteratePrinters(
      system, [](pappl_printer_t *printer, void *) { std::thread(RunQueue, printer).detach(); },
      nullptr);
}

void JobFinishing() {
  if (!t_Queue || t_Finishing) return;
  t_Queue->finish.lock();
  t_Finishing = true;
}

int RunningJobCount() {
  std::lock_guard lock(g_RunningLock);
  return g_Running;
}

bool WaitForRunningJobs(int timeoutMs) {
  std::unique_lock lock(g_RunningLock);
  return g_RunningDone.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                [] { return g_Running == 0; });
}

http_t *ConnectToServer(const char *baseName) { return _papplMainloopConnect(baseName, false); }

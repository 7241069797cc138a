// The state file; see state.h.
#include "state.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <utility>

#include "driver.h"
#include "request_checks.h"

namespace {

std::string g_StatePath;
std::mutex g_SaveLock;

using JobKey = std::pair<int, int>;  // printer id, job id
std::mutex g_MessagesLock;
std::map<JobKey, std::string> g_Messages;

JobKey KeyOf(pappl_job_t *job) {
  return {papplPrinterGetID(papplJobGetPrinter(job)), papplJobGetID(job)};
}

std::string MessagesPath() { return g_StatePath + ".messages"; }

// Every job the system knows, of every printer and in every state.
std::set<JobKey> KnownJobs(pappl_system_t *system) {
  std::set<JobKey> known;
  papplSystemIteratePrinters(
      system,
      [](pappl_printer_t *printer, void *data) {
        papplPrinterIterateAllJobs(
            printer,
            [](pappl_job_t *job, void *data) {
              static_cast<std::set<JobKey> *>(data)->insert(KeyOf(job));
            },
            data, 1, 0);
      },
      &known);
  return known;
}

// The messages of the jobs that still exist, one "printer job text" a line.
void SaveMessages(pappl_system_t *system) {
  const std::set<JobKey> alive = KnownJobs(system);
  std::lock_guard lock(g_MessagesLock);
  std::erase_if(g_Messages, [&](const auto &entry) { return !alive.count(entry.first); });
  const std::string next = MessagesPath() + ".new";
  FILE *out = std::fopen(next.c_str(), "we");
  if (!out) return;
  fchmod(fileno(out), 0600);
  for (const auto &[key, text] : g_Messages)
    std::fprintf(out, "%d %d %s\n", key.first, key.second, text.c_str());
  if (std::fclose(out) == 0) rename(next.c_str(), MessagesPath().c_str());
}

using SystemGetter = char *(*)(pappl_system_t *, char *, size_t);
using SystemSetter = void (*)(pappl_system_t *, const char *);
using PrinterGetter = char *(*)(pappl_printer_t *, char *, size_t);
using PrinterSetter = void (*)(pappl_printer_t *, const char *);

constexpr std::pair<SystemGetter, SystemSetter> kSystemTexts[] = {
    {papplSystemGetLocation, papplSystemSetLocation},
    {papplSystemGetGeoLocation, papplSystemSetGeoLocation},
    {papplSystemGetOrganization, papplSystemSetOrganization},
    {papplSystemGetOrganizationalUnit, papplSystemSetOrganizationalUnit},
    {papplSystemGetDNSSDName, papplSystemSetDNSSDName},
    {papplSystemGetAdminGroup, papplSystemSetAdminGroup},
    {papplSystemGetDefaultPrintGroup, papplSystemSetDefaultPrintGroup},
};

constexpr std::pair<PrinterGetter, PrinterSetter> kPrinterTexts[] = {
    {papplPrinterGetLocation, papplPrinterSetLocation},
    {papplPrinterGetGeoLocation, papplPrinterSetGeoLocation},
    {papplPrinterGetOrganization, papplPrinterSetOrganization},
    {papplPrinterGetOrganizationalUnit, papplPrinterSetOrganizationalUnit},
    {papplPrinterGetDNSSDName, papplPrinterSetDNSSDName},
    {papplPrinterGetPrintGroup, papplPrinterSetPrintGroup},
};

template <typename Object, typename Getter, typename Setter>
void CleanText(Object *object, Getter get, Setter set) {
  std::array<char, 1024> text{};
  if (get(object, text.data(), text.size()) && HasControls(text.data()))
    set(object, WithoutControls(text.data()).c_str());
}

// A contact's fields, cleaned in place; true when one changed.
bool CleanContact(pappl_contact_t &contact) {
  bool changed = false;
  for (char *field : {contact.name, contact.email, contact.telephone}) {
    const std::string clean = WithoutControls(field);
    changed |= clean != field;
    std::memcpy(field, clean.data(), clean.size());
  }
  return changed;
}

bool CleanMedia(pappl_media_col_t &media) {
  if (!HasControls(media.size_name) && !HasControls(media.source) && !HasControls(media.type))
    return false;
  FillMedia(media, kDefaultMedia);
  return true;
}

void CleanPrinter(pappl_printer_t *printer, void *) {
  for (const auto &[get, set] : kPrinterTexts) CleanText(printer, get, set);
  pappl_contact_t contact{};
  if (papplPrinterGetContact(printer, &contact) && CleanContact(contact))
    papplPrinterSetContact(printer, &contact);
  pappl_pr_driver_data_t data;
  papplPrinterGetDriverData(printer, &data);
  bool ready = false;
  for (pappl_media_col_t &media : data.media_ready) ready |= CleanMedia(media);
  if (ready) papplPrinterSetReadyMedia(printer, data.num_source, data.media_ready);
  if (CleanMedia(data.media_default)) papplPrinterSetDriverDefaults(printer, &data, 0, nullptr);
  SanitizePrinterDefaults(printer);
}

void CleanSystem(pappl_system_t *system) {
  for (const auto &[get, set] : kSystemTexts) CleanText(system, get, set);
  pappl_contact_t contact{};
  if (papplSystemGetContact(system, &contact) && CleanContact(contact))
    papplSystemSetContact(system, &contact);
  papplSystemIteratePrinters(system, CleanPrinter, nullptr);
}

// Printer and job ids of a spool file's name, "pNNNNNjNNNNNNNNN-...".
bool SpoolFileIds(const char *name, JobKey &ids) {
  int consumed = 0;
  return std::sscanf(name, "p%5dj%9d-%n", &ids.first, &ids.second, &consumed) == 2 &&
         consumed == 17;
}

bool SaveLocked(pappl_system_t *system) {
  CleanSystem(system);
  const std::string next = g_StatePath + ".new";
  const int fd = open(next.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  fchmod(fd, 0600);
  close(fd);
  if (!papplSystemSaveState(system, next.c_str()) ||
      rename(next.c_str(), g_StatePath.c_str()) != 0) {
    papplLog(system, PAPPL_LOGLEVEL_ERROR, "Cannot save the state to '%s'.", g_StatePath.c_str());
    unlink(next.c_str());
    return false;
  }
  SaveMessages(system);
  return true;
}

}  // namespace

void SetStatePath(const std::string &path) { g_StatePath = path; }
const std::string &StatePath() { return g_StatePath; }

bool SaveStateNow(pappl_system_t *system) {
  std::lock_guard lock(g_SaveLock);
  return SaveLocked(system);
}

bool SaveFinalState(pappl_system_t *system) {
  g_SaveLock.lock();  // for good: what the state says now stays so
  return SaveLocked(system);
}

void SetJobMessage(pappl_job_t *job, const std::string &message) {
  const std::string clean = WithoutControls(message);
  papplJobSetMessage(job, "%s", clean.c_str());
  std::lock_guard lock(g_MessagesLock);
  g_Messages[KeyOf(job)] = clean;
}

void RestoreJobMessages(pappl_system_t *system) {
  FILE *in = std::fopen(MessagesPath().c_str(), "re");
  if (!in) return;
  std::array<char, 1024> line{};
  while (std::fgets(line.data(), line.size(), in)) {
    int printerId = 0, jobId = 0, consumed = 0;
    if (std::sscanf(line.data(), "%d %d %n", &printerId, &jobId, &consumed) != 2) continue;
    std::string text = line.data() + consumed;
    if (!text.empty() && text.back() == '\n') text.pop_back();
    pappl_printer_t *printer = papplSystemFindPrinter(system, nullptr, printerId, nullptr);
    if (pappl_job_t *job = printer ? papplPrinterFindJob(printer, jobId) : nullptr)
      SetJobMessage(job, text);
  }
  std::fclose(in);
}

bool SaveStateCallback(pappl_system_t *system, void *) { return SaveStateNow(system); }

int RemoveOrphanSpoolFiles(pappl_system_t *system, const std::string &spoolDir) {
  const std::set<JobKey> known = KnownJobs(system);
  DIR *dir = opendir(spoolDir.c_str());
  if (!dir) return 0;
  int removed = 0;
  while (const dirent *entry = readdir(dir)) {
    JobKey ids;
    if (entry->d_type != DT_REG || !SpoolFileIds(entry->d_name, ids) || known.count(ids)) continue;
    if (unlinkat(dirfd(dir), entry->d_name, 0) == 0) {
      papplLog(system, PAPPL_LOGLEVEL_INFO, "Removed '%s': no job refers to it.", entry->d_name);
      ++removed;
    }
  }
  closedir(dir);
  return removed;
}

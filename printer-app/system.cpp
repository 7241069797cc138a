// The application's system callback and what it guards; see system.h.
#include "system.h"

#include <netinet/in.h>
#include <semaphore.h>
#include <sys/socket.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>

#include "documents.h"
#include "driver.h"
#include "pappl_fixes.h"
#include "request_checks.h"
#include "state.h"
#include "web.h"

namespace {

struct tagAPPCONFIG {
  std::string spoolDir;  // resolved
};

tagAPPCONFIG g_Config;  // one system per process

const char *Option(const char *name, int num_options, cups_option_t *options) {
  return cupsGetOption(name, num_options, options);
}

std::string HomeConfigDir() {
  const char *home = std::getenv("HOME");
  std::string dir = std::string(home && *home ? home : "/tmp") + "/.config";
  mkdir(dir.c_str(), 0700);
  return dir;
}

std::string DefaultSpoolDir() {
  if (getuid() == 0) return std::string("/var/spool/") + kAppName;
  return HomeConfigDir() + "/" + kAppName + ".d";
}

std::string DefaultStatePath() {
  if (getuid() == 0) return std::string("/var/lib/") + kAppName + ".state";
  return HomeConfigDir() + "/" + kAppName + ".state";
}

pappl_loglevel_t LogLevel(const char *value) {
  constexpr std::pair<const char *, pappl_loglevel_t> levels[] = {
      {"fatal", PAPPL_LOGLEVEL_FATAL}, {"error", PAPPL_LOGLEVEL_ERROR},
      {"warn", PAPPL_LOGLEVEL_WARN},   {"info", PAPPL_LOGLEVEL_INFO},
      {"debug", PAPPL_LOGLEVEL_DEBUG},
  };
  for (const auto &[name, level] : levels)
    if (value && std::strcmp(value, name) == 0) return level;
  return PAPPL_LOGLEVEL_WARN;
}

pappl_soptions_t ServerOptions(const char *value) {
  // No "web-log": the log page would show the server's private log to any
  // local user.
  pappl_soptions_t soptions = PAPPL_SOPTIONS_MULTI_QUEUE | PAPPL_SOPTIONS_WEB_INTERFACE;
  constexpr std::pair<std::string_view, pappl_soptions_t> names[] = {
      {"dnssd-host", PAPPL_SOPTIONS_DNSSD_HOST},
      {"raw-socket", PAPPL_SOPTIONS_RAW_SOCKET},
      {"usb-printer", PAPPL_SOPTIONS_USB_PRINTER},
      {"web-network", PAPPL_SOPTIONS_WEB_NETWORK},
      {"web-security", PAPPL_SOPTIONS_WEB_SECURITY},
      {"web-tls", PAPPL_SOPTIONS_WEB_TLS},
      {"no-tls", PAPPL_SOPTIONS_NO_TLS},
  };
  std::string_view list = value ? value : "";
  while (!list.empty()) {
    const size_t comma = list.find(',');
    const std::string_view word = list.substr(0, comma);
    for (const auto &[name, option] : names)
      if (word == name) soptions |= option;
    if (word == "no-multi-queue") soptions &= ~PAPPL_SOPTIONS_MULTI_QUEUE;
    list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
  }
  return soptions;
}

std::string Resolved(const std::string &path) {
  char buffer[PATH_MAX];
  return realpath(path.c_str(), buffer) ? std::string(buffer) : std::string();
}

// The device list of the add-printer page needs the mDNS daemon, and
// PAPPL 1.3.1 aborts without it; printers are added from the command line.
bool AddPrinterPage(pappl_client_t *client, void *) {
  if (!papplClientRespond(client, HTTP_STATUS_OK, nullptr, "text/html", 0, 0)) return false;
  papplClientHTMLHeader(client, "Add Printer", 0);
  papplClientHTMLPuts(client,
                      "<div class=\"content\"><h1 class=\"title\">Add Printer</h1>"
                      "<p>Add a KT50 from the command line, for example:</p>"
                      "<pre>vantrex-printer-app add -d KT50 -m vantrex_kt50 "
                      "-v socket://PRINTER-ADDRESS</pre></div>\n");
  papplClientHTMLFooter(client);
  return true;
}

const char *MimeCallback(const unsigned char *header, size_t size, void *) {
  constexpr unsigned char kJobStart[] = {0x1B, 0x7C, 0x44};
  if (size >= sizeof(kJobStart) && std::memcmp(header, kJobStart, sizeof(kJobStart)) == 0)
    return kRawFormat;
  return nullptr;
}

bool Bindable(http_addrlist_t *list) {
  for (http_addrlist_t *entry = list; entry; entry = entry->next) {
    const int fd = socket(httpAddrFamily(&entry->addr), SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    if (httpAddrFamily(&entry->addr) == AF_INET6)
      setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof(on));
    const bool bound = fd >= 0 && bind(fd, &entry->addr.addr, httpAddrLength(&entry->addr)) == 0;
    if (fd >= 0) close(fd);
    if (!bound && errno == EADDRINUSE) return false;
  }
  return true;
}

// A server started just after another stopped may find the other's sockets
// not yet closed, and PAPPL would then listen on some addresses only (say
// IPv6 loopback without IPv4): wait up to five seconds for them.
void WaitForPort(const char *host, int port) {
  if (port <= 0) return;
  http_addrlist_t *list = httpAddrGetList(host, AF_UNSPEC, std::to_string(port).c_str());
  for (int tries = 0; tries < 50 && !Bindable(list); ++tries) usleep(100000);
  httpAddrFreeList(list);
}

bool AddListeners(pappl_system_t *system, const char *listen) {
  // Loopback only unless told otherwise; "*" means every interface. The
  // main loop adds the local socket that the sub-commands use.
  const char *host = listen ? listen : "localhost";
  const bool all = std::strcmp(host, "*") == 0;
  if (!all) papplSystemSetHostName(system, host);
  WaitForPort(all ? nullptr : host, papplSystemGetHostPort(system));
  return papplSystemAddListeners(system, all ? nullptr : host);
}

// PAPPL's own stop lets the job in progress print to its end and then
// waits up to a minute for the queue to empty. Ours aborts the job in
// progress, keeps the queue, saves the state and ends the process.
volatile sig_atomic_t g_StopRequested = 0;
sem_t g_StopSignal;

void OnTerminate(int) {
  g_StopRequested = 1;
  sem_post(&g_StopSignal);
}

[[noreturn]] void StopWhenAsked(pappl_system_t *system) {
  while (sem_wait(&g_StopSignal) != 0) {
  }
  papplLog(system, PAPPL_LOGLEVEL_INFO, "Stopping: the job in progress ends, queued jobs stay.");
  // The job in progress notices within a line or a page (a tenth of a
  // second, more on a busy machine); one stuck on its device is saved as
  // processing and printed again after the next start.
  if (!WaitForRunningJobs(5000))
    papplLog(system, PAPPL_LOGLEVEL_WARN, "%d job(s) still processing at the stop.",
             RunningJobCount());
  SaveFinalState(system);
  papplLog(system, PAPPL_LOGLEVEL_INFO, "Stopped.");
  _exit(0);
}

// Runs once from the main loop, after PAPPL has set its own handlers.
bool StartServing(pappl_system_t *system, void *) {
  struct sigaction action {};
  action.sa_handler = OnTerminate;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  std::thread(StopWhenAsked, system).detach();
  StartRestoredQueues(system);
  return false;
}

// A sub-command that finds no server starts a private one, which would
// drop the printers on file:// devices and then overwrite the state file.
bool PrivateServer(int num_options, cups_option_t *options) {
  if (!Option("private-server", num_options, options)) return false;
  std::fprintf(stderr,
               "%s: the server is not running; start it first (\"%s server\", or "
               "\"systemctl start %s\").\n",
               kAppName, kAppName, kAppName);
  return true;
}

}  // namespace

const std::string &AppSpoolDir() { return g_Config.spoolDir; }

bool StopRequested() { return g_StopRequested != 0; }

void RequestStop() { OnTerminate(SIGTERM); }

bool IsAllowedDeviceURI(const std::string &uri, const std::string &spoolDir) {
  if (HasControls(uri)) return false;
  if (uri.starts_with("socket://") || uri.starts_with("usb://")) return true;
  if (!uri.starts_with("file://") || spoolDir.empty()) return false;
  std::string path =
      uri.substr(7, uri.find('?') == std::string::npos ? std::string::npos : uri.find('?') - 7);
  if (path.empty() || path.front() != '/' || path.find('%') != std::string::npos) return false;
  // The file itself may not exist yet: resolve the folder that holds it.
  std::string resolved = Resolved(path);
  if (resolved.empty()) {
    const size_t slash = path.find_last_of('/');
    const std::string name = path.substr(slash + 1);
    if (name.empty() || name == "." || name == "..") return false;
    const std::string parent = Resolved(slash == 0 ? "/" : path.substr(0, slash));
    if (parent.empty()) return false;
    resolved = parent + "/" + name;
  }
  return resolved.starts_with(spoolDir + "/");
}

pappl_system_t *SystemCallback(int num_options, cups_option_t *options, void *) {
  if (PrivateServer(num_options, options)) return nullptr;
  std::string missing;
  if (!PapplFixesInstalled(missing)) {
    std::fprintf(stderr, "%s: this PAPPL library lacks %s; it needs PAPPL 1.3.1.\n", kAppName,
                 missing.c_str());
    return nullptr;
  }
  const char *spool = Option("spool-directory", num_options, options);
  const std::string spoolDir = spool ? spool : DefaultSpoolDir();
  mkdir(spoolDir.c_str(), 0700);
  g_Config.spoolDir = Resolved(spoolDir);
  SetStatePath(DefaultStatePath());
  sem_init(&g_StopSignal, 0, 0);
  const char *port = Option("server-port", num_options, options);
  const char *logFile = Option("log-file", num_options, options);
  pappl_system_t *system = papplSystemCreate(
      ServerOptions(Option("server-options", num_options, options)), "KT50 Printer Application",
      port ? std::atoi(port) : 0, "_print,_universal", spoolDir.c_str(), logFile,
      LogLevel(Option("log-level", num_options, options)),
      Option("auth-service", num_options, options), false);
  if (!system) return nullptr;
  if (const char *group = Option("admin-group", num_options, options))
    papplSystemSetAdminGroup(system, group);
  if (!AddListeners(system, Option("listen-hostname", num_options, options))) {
    papplLog(system, PAPPL_LOGLEVEL_FATAL, "Cannot listen for clients.");
    papplSystemDelete(system);
    return nullptr;
  }
  papplSystemSetFooterHTML(system, kFooterHTML);
  papplSystemSetPrinterDrivers(system, AppDriverCount(), AppDrivers(), nullptr, AddPrinterPages,
                               DriverCallback, nullptr);
  AddDocumentFilters(system);
  papplSystemSetMIMECallback(system, MimeCallback, nullptr);
  papplSystemAddResourceCallback(system, "/addprinter", "text/html", AddPrinterPage, nullptr);
  papplSystemLoadState(system, StatePath().c_str());
  RestoreJobMessages(system);
  RemoveOrphanSpoolFiles(system, spoolDir);
  SaveStateNow(system);  // anything a former state file brought in, put right
  papplSystemSetSaveCallback(system, SaveStateCallback, nullptr);
  papplSystemAddTimerCallback(system, 0, 1, StartServing, nullptr);
  return system;
}

// The raster callbacks: PAPPL reads the client's raster (or renders JPEG and
// PNG) and hands it here line by line; the filter's page engine screens each
// page and writes the command stream through the device.
#include "raster.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "kt50protocol.h"
#include "pageengine.h"
#include "system.h"
#include "vendor_options.h"

namespace {

constexpr uint32_t kMaxDrawnPixels = kPageBitmapWidth;  // pixels past this are never drawn

struct EngineDeleter {
  void operator()(tagPRINTJOB *job) const { DeletePrintJob(job); }
};
struct FileCloser {
  void operator()(FILE *file) const { std::fclose(file); }
};

// One job in progress on a printer.
struct tagAPPJOB {
  std::unique_ptr<FILE, FileCloser> out;  // writes through the device
  std::unique_ptr<tagPRINTJOB, EngineDeleter> engine;
  std::vector<uint8_t> rgb;  // one line expanded to RGB
  uint32_t width = 0, height = 0, lines = 0;
  bool invert = false;  // device black: 0 = white
};

tagAPPJOB *AppJobOf(pappl_job_t *job) { return static_cast<tagAPPJOB *>(papplJobGetData(job)); }

ssize_t WriteToDevice(void *cookie, const char *buffer, size_t size) {
  ssize_t written = papplDeviceWrite(static_cast<pappl_device_t *>(cookie), buffer, size);
  return written == static_cast<ssize_t>(size) ? written : -1;
}

FILE *OpenDeviceStream(pappl_device_t *device) {
  cookie_io_functions_t functions{nullptr, WriteToDevice, nullptr, nullptr};
  FILE *file = fopencookie(device, "w", functions);
  if (file) std::setvbuf(file, nullptr, _IOFBF, 1 << 16);
  return file;
}

const char *VendorValue(const pappl_pr_options_t *options, const char *name) {
  return cupsGetOption(name, options->num_vendor, options->vendor);
}

// The job's settings: its own values, else the printer's stored defaults
// (PAPPL does not pass those on when the job names none), else the filter's.
tagJOBSETTINGS JobSettings(pappl_job_t *job, const pappl_pr_options_t *options) {
  ipp_t *attrs = papplPrinterGetDriverAttributes(papplJobGetPrinter(job));
  std::array<char, 256> text{};
  auto printerDefault = [&](const char *name) -> const char * {
    const std::string def = std::string(name) + "-default";
    ipp_attribute_t *attr = attrs ? ippFindAttribute(attrs, def.c_str(), IPP_TAG_ZERO) : nullptr;
    if (!attr || ippGetCount(attr) != 1) return nullptr;
    ippAttributeString(attr, text.data(), text.size());
    return text.data();
  };
  tagJOBSETTINGS settings = ResolveJobSettings(
      [&](const char *name) { return VendorValue(options, name); }, printerDefault,
      [&](const char *name, const char *value) {
        papplLogJob(job, PAPPL_LOGLEVEL_WARN, "Ignoring invalid %s value '%.64s'.", name, value);
      });
  ippDelete(attrs);
  return settings;
}

bool Fail(pappl_job_t *job, const char *what) {
  papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", what);
  papplJobSetMessage(job, "%s", what);
  return false;
}

}  // namespace

bool JobMustStop(pappl_job_t *job) {
  return papplJobIsCanceled(job) || StopRequested() ||
         papplSystemIsShutdown(papplPrinterGetSystem(papplJobGetPrinter(job)));
}

bool KT50StartJob(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *device) {
  // A value the printer cannot take refuses the job rather than print it
  // otherwise than asked (PAPPL accepts any value with the job).
  if (const tagVENDOROPTION *bad = FirstInvalidValue(
          [&](const char *name) { return VendorValue(options, name); })) {
    papplJobSetMessage(job, "Unsupported %s value.", bad->name);
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Unsupported %s value '%.64s'.", bad->name,
                VendorValue(options, bad->name));
    return false;
  }
  const tagJOBSETTINGS settings = JobSettings(job, options);
  auto appJob = std::make_unique<tagAPPJOB>();
  appJob->out.reset(OpenDeviceStream(device));
  appJob->engine.reset(NewPrintJob());
  if (!appJob->out || !appJob->engine) return Fail(job, "Out of memory.");
  if (!StartPrintJob(appJob->engine.get(), settings, appJob->out.get()))
    return Fail(job, PrintJobError(appJob->engine.get()));
  papplLogJob(job, PAPPL_LOGLEVEL_INFO,
              "KT50 settings: density %d, length %d, speed %d, repeat %d, enhance %d, "
              "overlap %d, mirror %d, screening %d, frequency %d, angle %d.",
              settings.writeDensity, settings.adjustLength, settings.writeSpeed,
              settings.writeRepeat, settings.lineEnhance, settings.laneOverlap, settings.mirror,
              settings.dotScreening, settings.frequency, settings.angle);
  // The job owns its state until the end job callback, which PAPPL calls
  // once the start succeeded, however the job ends. Jobs may run at the same
  // time (a streamed raster beside a spooled one), so nothing is per printer.
  papplJobSetData(job, appJob.release());
  return true;
}

bool KT50StartPage(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *,
                   unsigned page) {
  tagAPPJOB *appJob = AppJobOf(job);
  if (!appJob) return false;
  const cups_page_header2_t &header = options->header;
  const bool gray = header.cupsColorSpace == CUPS_CSPACE_SW ||
                    header.cupsColorSpace == CUPS_CSPACE_W || header.cupsColorSpace == CUPS_CSPACE_K;
  if (!gray || header.cupsBitsPerPixel != 8 || header.cupsBitsPerColor != 8)
    return Fail(job, "Unsupported raster: only 8-bit gray pages can be printed.");
  if (header.cupsWidth == 0 || header.cupsHeight == 0 || header.cupsBytesPerLine < header.cupsWidth)
    return Fail(job, "Malformed raster page header.");
  if (!StartPrintPage(appJob->engine.get(), header.cupsWidth, header.cupsHeight))
    return Fail(job, PrintJobError(appJob->engine.get()));
  appJob->width = std::min(header.cupsWidth, kMaxDrawnPixels);
  appJob->height = header.cupsHeight;
  appJob->lines = 0;
  appJob->invert = header.cupsColorSpace == CUPS_CSPACE_K;
  appJob->rgb.resize(3 * static_cast<size_t>(appJob->width));
  papplLogJob(job, PAPPL_LOGLEVEL_DEBUG, "Page %u: %u x %u pixels.", page, header.cupsWidth,
              header.cupsHeight);
  return true;
}

bool KT50WriteLine(pappl_job_t *job, pappl_pr_options_t *, pappl_device_t *, unsigned,
                   const unsigned char *line) {
  tagAPPJOB *appJob = AppJobOf(job);
  if (!appJob || JobMustStop(job)) return false;
  // The filter's gray rule gives g back for the colour (g, g, g).
  const uint8_t flip = appJob->invert ? 0xFF : 0x00;
  uint8_t *rgb = appJob->rgb.data();
  for (uint32_t x = 0; x < appJob->width; ++x) {
    const uint8_t g = line[x] ^ flip;
    rgb[3 * x] = rgb[3 * x + 1] = rgb[3 * x + 2] = g;
  }
  PutPrintLine(appJob->engine.get(), rgb, appJob->rgb.size());
  ++appJob->lines;
  return true;
}

bool KT50EndPage(pappl_job_t *job, pappl_pr_options_t *, pappl_device_t *device, unsigned page) {
  tagAPPJOB *appJob = AppJobOf(job);
  if (!appJob || JobMustStop(job)) return false;
  // A page whose raster ended early is not printed: the job ends aborted.
  if (appJob->lines < appJob->height) return Fail(job, "The page's raster data ended early.");
  if (!EndPrintPage(appJob->engine.get()) || std::fflush(appJob->out.get()) != 0)
    return Fail(job, PrintJobError(appJob->engine.get()));
  papplDeviceFlush(device);
  papplLogJob(job, PAPPL_LOGLEVEL_INFO, "Page %u written.", page);
  return true;
}

bool KT50EndJob(pappl_job_t *job, pappl_pr_options_t *, pappl_device_t *device) {
  std::unique_ptr<tagAPPJOB> appJob(AppJobOf(job));
  papplJobSetData(job, nullptr);
  papplLogJob(job, PAPPL_LOGLEVEL_DEBUG, "KT50 job state released.");
  if (!appJob) return false;
  const bool flushed = std::fflush(appJob->out.get()) == 0;
  papplDeviceFlush(device);
  return flushed;
}

bool KT50PrintRaw(pappl_job_t *job, pappl_pr_options_t *, pappl_device_t *device) {
  const char *filename = papplJobGetFilename(job);
  std::unique_ptr<FILE, FileCloser> in(filename ? std::fopen(filename, "rb") : nullptr);
  if (!in) return Fail(job, "Cannot open the job's document.");
  std::array<char, 65536> buffer;
  size_t bytes;
  while ((bytes = std::fread(buffer.data(), 1, buffer.size(), in.get())) > 0) {
    if (JobMustStop(job)) return false;
    if (papplDeviceWrite(device, buffer.data(), bytes) != static_cast<ssize_t>(bytes))
      return Fail(job, "Cannot write to the printer.");
  }
  papplDeviceFlush(device);
  return !std::ferror(in.get()) || Fail(job, "Cannot read the job's document.");
}

// The raster callbacks: our document filters (or PAPPL's image layout) hand
// each page here line by line; the filter's page engine screens it and
// writes the command stream through the device.
#include "raster.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "kt50protocol.h"
#include "pageengine.h"
#include "pappl_fixes.h"
#include "state.h"
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
  bool isRgb = false;   // lines are RGB already
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

enum class LineKind { Gray, Black, Rgb, Unsupported };

LineKind KindOf(const cups_page_header2_t &header) {
  switch (header.cupsColorSpace) {
    case CUPS_CSPACE_W:
    case CUPS_CSPACE_SW:
      return header.cupsBitsPerPixel == 8 ? LineKind::Gray : LineKind::Unsupported;
    case CUPS_CSPACE_K:
      return header.cupsBitsPerPixel == 8 ? LineKind::Black : LineKind::Unsupported;
    case CUPS_CSPACE_RGB:
    case CUPS_CSPACE_SRGB:
    case CUPS_CSPACE_ADOBERGB:
      return header.cupsBitsPerPixel == 24 && header.cupsColorOrder == CUPS_ORDER_CHUNKED
                 ? LineKind::Rgb
                 : LineKind::Unsupported;
    default:
      return LineKind::Unsupported;
  }
}

}  // namespace

bool KT50Fail(pappl_job_t *job, const char *why) {
  papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", why);
  SetJobMessage(job, why);
  return false;
}

bool JobMustStop(pappl_job_t *job) {
  if (papplJobIsCanceled(job)) return true;  // the cancel gave the reason
  if (!StopRequested() && !papplSystemIsShutdown(papplPrinterGetSystem(papplJobGetPrinter(job))))
    return false;
  SetJobMessage(job, "The server stopped while the job was printing.");
  return true;
}

bool KT50StartJob(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *device) {
  // A value the printer cannot take refuses the job rather than print it
  // otherwise than asked (PAPPL accepts any value with the job).
  if (const tagVENDOROPTION *bad =
          FirstInvalidValue([&](const char *name) { return VendorValue(options, name); })) {
    SetJobMessage(job, std::string("Unsupported ") + bad->name + " value.");
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Unsupported %s value '%.64s'.", bad->name,
                VendorValue(options, bad->name));
    return false;
  }
  const tagJOBSETTINGS settings = JobSettings(job, options);
  auto appJob = std::make_unique<tagAPPJOB>();
  appJob->out.reset(OpenDeviceStream(device));
  appJob->engine.reset(NewPrintJob());
  if (!appJob->out || !appJob->engine) return KT50Fail(job, "Out of memory.");
  if (!StartPrintJob(appJob->engine.get(), settings, appJob->out.get()))
    return KT50Fail(job, PrintJobError(appJob->engine.get()));
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

bool KT50StartPage(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *, unsigned page) {
  tagAPPJOB *appJob = AppJobOf(job);
  if (!appJob) return false;
  const cups_page_header2_t &header = options->header;
  const LineKind kind = KindOf(header);
  if (kind == LineKind::Unsupported || header.cupsBitsPerColor != 8)
    return KT50Fail(job,
                    "Unsupported raster: only 8-bit gray and 24-bit RGB pages can be printed.");
  const uint32_t bytesPerPixel = kind == LineKind::Rgb ? 3 : 1;
  if (header.cupsWidth == 0 || header.cupsHeight == 0 ||
      header.cupsBytesPerLine / bytesPerPixel < header.cupsWidth)
    return KT50Fail(job, "Malformed raster page header.");
  if (!StartPrintPage(appJob->engine.get(), header.cupsWidth, header.cupsHeight))
    return KT50Fail(job, PrintJobError(appJob->engine.get()));
  appJob->width = std::min(header.cupsWidth, kMaxDrawnPixels);
  appJob->height = header.cupsHeight;
  appJob->lines = 0;
  appJob->invert = kind == LineKind::Black;
  appJob->isRgb = kind == LineKind::Rgb;
  appJob->rgb.resize(3 * static_cast<size_t>(appJob->width));
  papplLogJob(job, PAPPL_LOGLEVEL_DEBUG, "Page %u: %u x %u pixels.", page, header.cupsWidth,
              header.cupsHeight);
  return true;
}

bool KT50WriteLine(pappl_job_t *job, pappl_pr_options_t *, pappl_device_t *, unsigned,
                   const unsigned char *line) {
  tagAPPJOB *appJob = AppJobOf(job);
  if (!appJob || JobMustStop(job)) return false;
  if (appJob->isRgb) {
    PutPrintLine(appJob->engine.get(), line, appJob->rgb.size());
    ++appJob->lines;
    return true;
  }
  // The filter's gray rule gives g back for the colour (g, g, g).
  ExpandGrayLine(appJob->rgb.data(), line, static_cast<int32_t>(appJob->width),
                 appJob->invert ? 0xFF : 0x00);
  PutPrintLine(appJob->engine.get(), appJob->rgb.data(), appJob->rgb.size());
  ++appJob->lines;
  return true;
}

bool KT50EndPage(pappl_job_t *job, pappl_pr_options_t *, pappl_device_t *device, unsigned page) {
  tagAPPJOB *appJob = AppJobOf(job);
  if (!appJob || JobMustStop(job)) return false;
  // A page whose raster ended early is not printed: the job ends aborted.
  if (appJob->lines < appJob->height) return KT50Fail(job, "The page's raster data ended early.");
  if (!EndPrintPage(appJob->engine.get()) || std::fflush(appJob->out.get()) != 0)
    return KT50Fail(job, PrintJobError(appJob->engine.get()));
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
  const tagFILTERSCOPE scope;
  const char *filename = papplJobGetFilename(job);
  std::unique_ptr<FILE, FileCloser> in(filename ? std::fopen(filename, "rb") : nullptr);
  if (!in) return KT50Fail(job, "Cannot open the job's document.");
  std::array<char, 65536> buffer;
  size_t bytes;
  while ((bytes = std::fread(buffer.data(), 1, buffer.size(), in.get())) > 0) {
    if (JobMustStop(job)) return false;
    if (papplDeviceWrite(device, buffer.data(), bytes) != static_cast<ssize_t>(bytes))
      return KT50Fail(job, "Cannot write to the printer.");
  }
  papplDeviceFlush(device);
  return !std::ferror(in.get()) || KT50Fail(job, "Cannot read the job's document.");
}

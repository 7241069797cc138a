// The KT50 driver record and its vendor attributes; see driver.h.
#include "driver.h"

#include <array>
#include <cstring>
#include <vector>

#include "raster.h"
#include "request_checks.h"
#include "system.h"
#include "vendor_options.h"

namespace {

pappl_pr_driver_t g_Drivers[] = {
    {kDriverName, "VANTREX KT50", "MFG:VANTREX;MDL:KT50;CMD:KT50;", nullptr},
};

// Full-bleed sizes of the printer's PPD, and the custom size limits of its
// 9920 x 14645 pixel print area.
constexpr std::array<const char *, 11> kMedia{
    "na_letter_8.5x11in", "na_legal_8.5x14in",       "na_ledger_11x17in", "iso_a6_105x148mm",
    "iso_a5_148x210mm",   "iso_a4_210x297mm",        "iso_a3_297x420mm",  "jis_b5_182x257mm",
    "jis_b4_257x364mm",   "custom_max_16.53x24.4in", "custom_min_1x1in",
};

void AddVendorAttribute(ipp_t *attrs, const tagVENDOROPTION &option) {
  const std::string supported = std::string(option.name) + "-supported";
  const std::string def = std::string(option.name) + "-default";
  const int32_t value = VendorDefault(option);
  switch (option.kind) {
    case VendorKind::Range:
      ippAddRange(attrs, IPP_TAG_PRINTER, supported.c_str(), option.range->min, option.range->max);
      ippAddInteger(attrs, IPP_TAG_PRINTER, IPP_TAG_INTEGER, def.c_str(), value);
      break;
    case VendorKind::IntegerSet: {
      std::vector<int> values;
      for (int v = option.range->min; v <= option.range->max; ++v) values.push_back(v);
      ippAddIntegers(attrs, IPP_TAG_PRINTER, IPP_TAG_INTEGER, supported.c_str(),
                     static_cast<int>(values.size()), values.data());
      ippAddInteger(attrs, IPP_TAG_PRINTER, IPP_TAG_INTEGER, def.c_str(), value);
      break;
    }
    case VendorKind::Keyword: {
      std::vector<const char *> names;
      for (const tagVENDORKEYWORD &keyword : option.keywords) names.push_back(keyword.keyword);
      ippAddStrings(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, supported.c_str(),
                    static_cast<int>(names.size()), nullptr, names.data());
      ippAddString(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, def.c_str(), nullptr,
                   FormatVendorValue(option, value).c_str());
      break;
    }
    case VendorKind::Boolean:
      ippAddBoolean(attrs, IPP_TAG_PRINTER, supported.c_str(), 1);
      ippAddBoolean(attrs, IPP_TAG_PRINTER, def.c_str(), value != 0);
      break;
  }
}

ipp_t *DriverAttributes() {
  ipp_t *attrs = ippNew();
  for (const tagVENDOROPTION &option : VendorOptions()) AddVendorAttribute(attrs, option);
  // What IPP Everywhere clients look for and PAPPL does not add itself.
  ippAddBoolean(attrs, IPP_TAG_PRINTER, "preferred-attributes-supported", 0);
  ippAddString(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "print-rendering-intent-default", nullptr,
               "auto");
  ippAddString(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "print-rendering-intent-supported", nullptr,
               "auto");
  ippAddString(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "pwg-raster-document-sheet-back", nullptr,
               "normal");
  return attrs;
}

bool StatusCallback(pappl_printer_t *printer) {
  // The printer reports nothing back; one supply keeps clients that expect
  // supply levels content. Set once: each call rewrites printer attributes.
  pappl_supply_t supply{};
  if (papplPrinterGetSupplies(printer, 1, &supply) > 0) return true;
  supply.color = PAPPL_SUPPLY_COLOR_BLACK;
  std::strncpy(supply.description, "Black ink", sizeof(supply.description) - 1);
  supply.is_consumed = true;
  supply.level = -1;
  supply.type = PAPPL_SUPPLY_TYPE_INK;
  papplPrinterSetSupplies(printer, 1, &supply);
  return true;
}

void IdentifyCallback(pappl_printer_t *printer, pappl_identify_actions_t, const char *message) {
  papplLogPrinter(printer, PAPPL_LOGLEVEL_INFO, "Identify-Printer: %s",
                  message ? message : "(no message)");
}

void FillCallbacks(pappl_pr_driver_data_t *data) {
  data->identify_cb = IdentifyCallback;
  data->printfile_cb = KT50PrintRaw;
  data->rstartjob_cb = KT50StartJob;
  data->rstartpage_cb = KT50StartPage;
  data->rwriteline_cb = KT50WriteLine;
  data->rendpage_cb = KT50EndPage;
  data->rendjob_cb = KT50EndJob;
  data->status_cb = StatusCallback;
}

void FillCapabilities(pappl_pr_driver_data_t *data) {
  std::strncpy(data->make_and_model, "VANTREX KT50", sizeof(data->make_and_model) - 1);
  data->format = kRawFormat;
  data->ppm = 1;
  data->kind = PAPPL_KIND_DOCUMENT;
  data->has_supplies = true;
  data->orient_default = IPP_ORIENT_PORTRAIT;
  // Gray only: 1-bit input would reach the callbacks unscreened.
  data->color_supported =
      PAPPL_COLOR_MODE_AUTO | PAPPL_COLOR_MODE_MONOCHROME | PAPPL_COLOR_MODE_BI_LEVEL;
  data->color_default = PAPPL_COLOR_MODE_MONOCHROME;
  data->raster_types = PAPPL_PWG_RASTER_TYPE_SGRAY_8 | PAPPL_PWG_RASTER_TYPE_BLACK_8;
  data->content_default = PAPPL_CONTENT_AUTO;
  data->quality_default = IPP_QUALITY_NORMAL;
  data->scaling_default = PAPPL_SCALING_AUTO;
  data->duplex = PAPPL_DUPLEX_NONE;
  data->sides_supported = PAPPL_SIDES_ONE_SIDED;
  data->sides_default = PAPPL_SIDES_ONE_SIDED;
  data->num_resolution = 1;
  data->x_resolution[0] = data->y_resolution[0] = 600;
  data->x_default = data->y_default = 600;
  data->borderless = true;
  data->left_right = data->bottom_top = kMargin;
  data->identify_supported = PAPPL_IDENTIFY_ACTIONS_DISPLAY;
  data->identify_default = PAPPL_IDENTIFY_ACTIONS_DISPLAY;
}

void FillMediaList(pappl_pr_driver_data_t *data) {
  data->num_media = static_cast<int>(kMedia.size());
  for (size_t i = 0; i < kMedia.size(); ++i) data->media[i] = kMedia[i];
  data->num_source = 1;
  data->source[0] = "main";
  data->num_type = 1;
  data->type[0] = "stationery";
  FillMedia(data->media_default, kDefaultMedia);
  data->media_ready[0] = data->media_default;
}

}  // namespace

void FillMedia(pappl_media_col_t &col, const char *name) {
  const pwg_media_t *pwg = pwgMediaForPWG(name);
  col = {};
  std::strncpy(col.size_name, name, sizeof(col.size_name) - 1);
  std::strncpy(col.source, "main", sizeof(col.source) - 1);
  std::strncpy(col.type, "stationery", sizeof(col.type) - 1);
  col.bottom_margin = col.top_margin = kMargin;
  col.left_margin = col.right_margin = kMargin;
  if (pwg) {
    col.size_width = pwg->width;
    col.size_length = pwg->length;
  }
}

pappl_pr_driver_t *AppDrivers() { return g_Drivers; }
int AppDriverCount() { return static_cast<int>(std::size(g_Drivers)); }

bool DriverCallback(pappl_system_t *system, const char *driver_name, const char *device_uri,
                    const char *device_id, pappl_pr_driver_data_t *data, ipp_t **driver_attrs,
                    void *) {
  if (!driver_name || std::strcmp(driver_name, kDriverName) != 0) {
    papplLog(system, PAPPL_LOGLEVEL_ERROR, "Unknown driver '%s'.",
             driver_name ? driver_name : "(null)");
    return false;
  }
  // Every way of making a printer (IPP, web, command line, state file) comes
  // here: the local socket lets any user ask, and the server may run as root.
  if (!device_uri || !IsAllowedDeviceURI(device_uri, AppSpoolDir()) ||
      (device_id && HasControls(device_id))) {
    papplLog(system, PAPPL_LOGLEVEL_ERROR,
             "Refusing device '%s': only socket://, usb:// and file:// below the spool "
             "directory.",
             device_uri ? device_uri : "(null)");
    return false;
  }
  FillCallbacks(data);
  FillCapabilities(data);
  FillMediaList(data);
  data->num_vendor = 0;
  for (const tagVENDOROPTION &option : VendorOptions())
    data->vendor[data->num_vendor++] = option.name;
  *driver_attrs = DriverAttributes();
  return true;
}

namespace {

std::string PrinterDefaultText(ipp_t *attrs, const tagVENDOROPTION &option) {
  const std::string name = std::string(option.name) + "-default";
  ipp_attribute_t *attr = ippFindAttribute(attrs, name.c_str(), IPP_TAG_ZERO);
  if (!attr) return {};
  char text[256];
  ippAttributeString(attr, text, sizeof(text));
  return ippGetCount(attr) == 1 ? text : std::string("invalid");
}

}  // namespace

bool SanitizePrinterDefaults(pappl_printer_t *printer) {
  ipp_t *attrs = papplPrinterGetDriverAttributes(printer);
  if (!attrs) return false;
  int num_vendor = 0;
  cups_option_t *vendor = nullptr;
  bool changed = false;
  for (const tagVENDOROPTION &option : VendorOptions()) {
    const std::string text = PrinterDefaultText(attrs, option);
    const int32_t value = ClampVendorValue(option, text);
    changed |= !ParseVendorValue(option, text);
    num_vendor =
        cupsAddOption(option.name, FormatVendorValue(option, value).c_str(), num_vendor, &vendor);
  }
  ippDelete(attrs);
  if (changed) {
    pappl_pr_driver_data_t data;
    papplPrinterGetDriverData(printer, &data);
    papplLogPrinter(printer, PAPPL_LOGLEVEL_WARN, "Invalid KT50 defaults replaced.");
    papplPrinterSetDriverDefaults(printer, &data, num_vendor, vendor);
  }
  cupsFreeOptions(num_vendor, vendor);
  return changed;
}

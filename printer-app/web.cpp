// The "Printing Defaults" page; see web.h.
#include "web.h"

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "request_checks.h"
#include "vendor_options.h"

namespace {

struct tagLABEL {
  const char *key;
  const char *en;
  const char *ja;
};

// Labels of the ten settings and of their keyword values.
constexpr std::array<tagLABEL, 19> kLabels{{
    {"kt50-write-density", "Write density", "書き込み濃度"},
    {"kt50-adjust-length", "Length adjustment (0.01 %)", "長さ補正 (0.01 %)"},
    {"kt50-write-speed", "Write speed", "書き込み速度"},
    {"kt50-write-repeat", "Write repeat", "重ね書き"},
    {"kt50-line-enhance", "Line enhancement", "線の強調"},
    {"kt50-line-enhance.none", "None", "なし"},
    {"kt50-line-enhance.bold-1", "Bold 1", "太字 1"},
    {"kt50-line-enhance.bold-2", "Bold 2", "太字 2"},
    {"kt50-lane-overlap", "Lane overlap", "レーンの重なり"},
    {"kt50-mirror", "Mirror", "ミラー"},
    {"kt50-dot-screening", "Dot screening", "網点"},
    {"kt50-dot-screening.threshold", "None (threshold)", "なし (しきい値)"},
    {"kt50-dot-screening.rough", "Rough", "粗い"},
    {"kt50-dot-screening.fine", "Fine", "細かい"},
    {"kt50-dot-screening.frequency-angle", "Frequency and angle", "線数と角度"},
    {"kt50-dot-screening.error-diffusion", "Error diffusion", "誤差拡散"},
    {"kt50-dot-screening.solid", "Solid", "ベタ"},
    {"kt50-screening-frequency", "Screening frequency (lpi)", "線数 (lpi)"},
    {"kt50-screening-angle", "Screening angle (degrees)", "角度 (度)"},
}};

struct tagKEYWORD {
  const char *keyword;
  int value;
};

// The standard defaults the page offers, each with the values this printer
// takes and the driver data field it sets.
struct tagSTANDARD {
  const char *name;
  std::span<const tagKEYWORD> values;
  int (*get)(const pappl_pr_driver_data_t &);
  void (*set)(pappl_pr_driver_data_t &, int);
};

constexpr tagKEYWORD kOrientations[] = {{"3", IPP_ORIENT_PORTRAIT},
                                        {"4", IPP_ORIENT_LANDSCAPE},
                                        {"5", IPP_ORIENT_REVERSE_LANDSCAPE},
                                        {"6", IPP_ORIENT_REVERSE_PORTRAIT},
                                        {"7", IPP_ORIENT_NONE}};
constexpr tagKEYWORD kColorModes[] = {{"auto", PAPPL_COLOR_MODE_AUTO},
                                      {"monochrome", PAPPL_COLOR_MODE_MONOCHROME},
                                      {"bi-level", PAPPL_COLOR_MODE_BI_LEVEL}};
constexpr tagKEYWORD kQualities[] = {
    {"draft", IPP_QUALITY_DRAFT}, {"normal", IPP_QUALITY_NORMAL}, {"high", IPP_QUALITY_HIGH}};
constexpr tagKEYWORD kContents[] = {{"auto", PAPPL_CONTENT_AUTO},
                                    {"graphic", PAPPL_CONTENT_GRAPHIC},
                                    {"photo", PAPPL_CONTENT_PHOTO},
                                    {"text", PAPPL_CONTENT_TEXT},
                                    {"text-and-graphic", PAPPL_CONTENT_TEXT_AND_GRAPHIC}};
constexpr tagKEYWORD kScalings[] = {{"auto", PAPPL_SCALING_AUTO},
                                    {"auto-fit", PAPPL_SCALING_AUTO_FIT},
                                    {"fill", PAPPL_SCALING_FILL},
                                    {"fit", PAPPL_SCALING_FIT},
                                    {"none", PAPPL_SCALING_NONE}};

const tagSTANDARD kStandards[] = {
    {"orientation-requested", kOrientations,
     [](const pappl_pr_driver_data_t &d) { return static_cast<int>(d.orient_default); },
     [](pappl_pr_driver_data_t &d, int v) { d.orient_default = static_cast<ipp_orient_t>(v); }},
    {"print-color-mode", kColorModes,
     [](const pappl_pr_driver_data_t &d) { return static_cast<int>(d.color_default); },
     [](pappl_pr_driver_data_t &d, int v) {
       d.color_default = static_cast<pappl_color_mode_t>(v);
     }},
    {"print-quality", kQualities,
     [](const pappl_pr_driver_data_t &d) { return static_cast<int>(d.quality_default); },
     [](pappl_pr_driver_data_t &d, int v) { d.quality_default = static_cast<ipp_quality_t>(v); }},
    {"print-content-optimize", kContents,
     [](const pappl_pr_driver_data_t &d) { return static_cast<int>(d.content_default); },
     [](pappl_pr_driver_data_t &d, int v) { d.content_default = static_cast<pappl_content_t>(v); }},
    {"print-scaling", kScalings,
     [](const pappl_pr_driver_data_t &d) { return static_cast<int>(d.scaling_default); },
     [](pappl_pr_driver_data_t &d, int v) { d.scaling_default = static_cast<pappl_scaling_t>(v); }},
};

bool Japanese(pappl_client_t *client) {
  const char *accept = httpGetField(papplClientGetHTTP(client), HTTP_FIELD_ACCEPT_LANGUAGE);
  return accept && std::string_view(accept).starts_with("ja");
}

// A label of ours in the page's language (read from the request before the
// answer starts: answering clears the request's fields).
std::string Label(bool japanese, const std::string &key) {
  for (const tagLABEL &label : kLabels)
    if (key == label.key) return japanese ? label.ja : label.en;
  return key;
}

// What a setting takes, for a refusal: "-16 to 16" or "none, bold-1, bold-2".
std::string Allowed(const tagVENDOROPTION &option) {
  if (option.range)
    return std::to_string(option.range->min) + " to " + std::to_string(option.range->max);
  std::string list;
  for (const tagVENDORKEYWORD &keyword : option.keywords)
    list += (list.empty() ? "" : ", ") + std::string(keyword.keyword);
  return list;
}

std::string Shown(const char *value) { return WithoutControls(std::string(value).substr(0, 64)); }

void ReadStandards(int num_form, cups_option_t *form, pappl_pr_driver_data_t &data,
                   std::vector<std::string> &refused) {
  for (const tagSTANDARD &standard : kStandards) {
    const char *value = cupsGetOption(standard.name, num_form, form);
    if (!value) continue;
    const tagKEYWORD *match = nullptr;
    for (const tagKEYWORD &keyword : standard.values)
      if (std::string_view(value) == keyword.keyword) match = &keyword;
    if (match)
      standard.set(data, match->value);
    else
      refused.push_back(std::string(standard.name) + " '" + Shown(value) + "'");
  }
}

int ReadVendor(int num_form, cups_option_t *form, cups_option_t **vendor,
               std::vector<std::string> &refused) {
  int num_vendor = 0;
  for (const tagVENDOROPTION &option : VendorOptions()) {
    const char *value = cupsGetOption(option.name, num_form, form);
    // An unchecked box is not sent at all; a checked one sends "on".
    if (option.kind == VendorKind::Boolean) value = value ? "true" : "false";
    if (!value) continue;
    if (std::optional<int32_t> parsed = ParseVendorValue(option, value))
      num_vendor = cupsAddOption(option.name, FormatVendorValue(option, *parsed).c_str(),
                                 num_vendor, vendor);
    else
      refused.push_back(std::string(option.name) + " '" + Shown(value) +
                        "' (allowed: " + Allowed(option) + ")");
  }
  return num_vendor;
}

// Applies a posted form; the status line to show.
std::string Apply(pappl_client_t *client, pappl_printer_t *printer) {
  cups_option_t *form = nullptr;
  const int num_form = papplClientGetForm(client, &form);
  std::string status;
  if (num_form == 0) {
    status = "Invalid form data.";
  } else if (!papplClientIsValidForm(client, num_form, form)) {
    status = "Invalid form submission.";
  } else {
    pappl_pr_driver_data_t data;
    papplPrinterGetDriverData(printer, &data);
    std::vector<std::string> refused;
    cups_option_t *vendor = nullptr;
    ReadStandards(num_form, form, data, refused);
    const int num_vendor = ReadVendor(num_form, form, &vendor, refused);
    if (!refused.empty()) {
      status = "Nothing was saved. Refused:";
      for (const std::string &what : refused) status += " " + what + ";";
      status.back() = '.';
    } else {
      status = papplPrinterSetDriverDefaults(printer, &data, num_vendor, vendor)
                   ? "Changes saved."
                   : "Bad printer defaults.";
    }
    cupsFreeOptions(num_vendor, vendor);
  }
  cupsFreeOptions(num_form, form);
  return status;
}

void PutStandard(pappl_client_t *client, const tagSTANDARD &standard,
                 const pappl_pr_driver_data_t &data) {
  papplClientHTMLPrintf(client, "<tr><th>%s:</th><td><select name=\"%s\">",
                        papplClientGetLocString(client, standard.name), standard.name);
  for (const tagKEYWORD &keyword : standard.values) {
    const std::string key = std::string(standard.name) + "." + keyword.keyword;
    std::string label = papplClientGetLocString(client, key.c_str());
    if (label == key) label = keyword.keyword;
    papplClientHTMLPrintf(client, "<option value=\"%s\"%s>", keyword.keyword,
                          standard.get(data) == keyword.value ? " selected" : "");
    papplClientHTMLEscape(client, label.c_str(), 0);
    papplClientHTMLPuts(client, "</option>");
  }
  papplClientHTMLPuts(client, "</select></td></tr>\n");
}

std::string DefaultText(ipp_t *attrs, const tagVENDOROPTION &option) {
  const std::string name = std::string(option.name) + "-default";
  std::array<char, 256> text{};
  if (ipp_attribute_t *attr = ippFindAttribute(attrs, name.c_str(), IPP_TAG_ZERO))
    ippAttributeString(attr, text.data(), text.size());
  return text.data();
}

void PutVendor(pappl_client_t *client, bool japanese, const tagVENDOROPTION &option,
               const std::string &current) {
  papplClientHTMLPrintf(client, "<tr><th>%s:</th><td>", Label(japanese, option.name).c_str());
  switch (option.kind) {
    case VendorKind::Boolean:
      papplClientHTMLPrintf(client, "<input type=\"checkbox\" name=\"%s\"%s>", option.name,
                            current == "true" ? " checked" : "");
      break;
    case VendorKind::Range:
      papplClientHTMLPrintf(client,
                            "<input type=\"number\" name=\"%s\" min=\"%d\" max=\"%d\" value=\"",
                            option.name, option.range->min, option.range->max);
      papplClientHTMLEscape(client, current.c_str(), 0);
      papplClientHTMLPuts(client, "\">");
      break;
    case VendorKind::IntegerSet:
      papplClientHTMLPrintf(client, "<select name=\"%s\">", option.name);
      for (int v = option.range->min; v <= option.range->max; ++v)
        papplClientHTMLPrintf(client, "<option value=\"%d\"%s>%d</option>", v,
                              current == std::to_string(v) ? " selected" : "", v);
      papplClientHTMLPuts(client, "</select>");
      break;
    case VendorKind::Keyword:
      papplClientHTMLPrintf(client, "<select name=\"%s\">", option.name);
      for (const tagVENDORKEYWORD &keyword : option.keywords)
        papplClientHTMLPrintf(
            client, "<option value=\"%s\"%s>%s</option>", keyword.keyword,
            current == keyword.keyword ? " selected" : "",
            Label(japanese, std::string(option.name) + "." + keyword.keyword).c_str());
      papplClientHTMLPuts(client, "</select>");
      break;
  }
  papplClientHTMLPuts(client, "</td></tr>\n");
}

void PutMedia(pappl_client_t *client, pappl_printer_t *printer,
              const pappl_pr_driver_data_t &data) {
  const std::string key = std::string("media.") + data.media_default.size_name;
  std::string name = papplClientGetLocString(client, key.c_str());
  if (name == key) name = data.media_default.size_name;
  std::array<char, 256> path{};
  papplPrinterGetPath(printer, "media", path.data(), path.size());
  papplClientHTMLPrintf(client, "<tr><th>%s:</th><td>", papplClientGetLocString(client, "media"));
  papplClientHTMLEscape(client, name.c_str(), 0);
  papplClientHTMLPrintf(client, " <a class=\"btn\" href=\"%s\">%s</a></td></tr>\n", path.data(),
                        papplClientGetLocString(client, "Configure Media"));
}

void PutForm(pappl_client_t *client, bool japanese, pappl_printer_t *printer) {
  pappl_pr_driver_data_t data;
  papplPrinterGetDriverData(printer, &data);
  papplClientHTMLStartForm(client, papplClientGetURI(client), false);
  papplClientHTMLPuts(client, "<table class=\"form\"><tbody>\n");
  PutMedia(client, printer, data);
  for (const tagSTANDARD &standard : kStandards) PutStandard(client, standard, data);
  papplClientHTMLPrintf(client, "<tr><th>%s:</th><td>%ddpi</td></tr>\n",
                        papplClientGetLocString(client, "printer-resolution"), data.x_default);
  ipp_t *attrs = papplPrinterGetDriverAttributes(printer);
  for (const tagVENDOROPTION &option : VendorOptions())
    PutVendor(client, japanese, option, DefaultText(attrs, option));
  ippDelete(attrs);
  papplClientHTMLPrintf(client,
                        "<tr><th></th><td><input type=\"submit\" value=\"%s\"></td></tr>\n"
                        "</tbody></table></form>\n",
                        papplClientGetLocString(client, "Save Changes"));
}

bool PrintingDefaultsPage(pappl_client_t *client, void *data) {
  auto *printer = static_cast<pappl_printer_t *>(data);
  if (!papplClientHTMLAuthorize(client)) return true;
  const bool japanese = Japanese(client);
  std::string status;
  if (papplClientGetMethod(client) == HTTP_STATE_POST) status = Apply(client, printer);
  papplClientHTMLPrinterHeader(client, printer, "Printing Defaults", 0, nullptr, nullptr);
  if (!status.empty()) {
    papplClientHTMLPuts(client, "<div class=\"banner\">");
    papplClientHTMLEscape(client, papplClientGetLocString(client, status.c_str()), 0);
    papplClientHTMLPuts(client, "</div>\n");
  }
  PutForm(client, japanese, printer);
  papplClientHTMLPrinterFooter(client);
  return true;
}

}  // namespace

void AddPrinterPages(pappl_printer_t *printer, void *) {
  std::array<char, 256> path{};
  papplPrinterGetPath(printer, "printing", path.data(), path.size());
  papplSystemAddResourceCallback(papplPrinterGetSystem(printer), path.data(), "text/html",
                                 PrintingDefaultsPage, printer);
}

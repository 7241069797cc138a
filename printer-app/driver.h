// The one driver of the application, "VANTREX KT50": its record, the
// callback that fills a printer's driver data, the vendor attributes of the
// ten settings and the web page strings that label them.
#pragma once

#include <pappl/pappl.h>

#include <string>

inline constexpr const char kDriverName[] = "vantrex_kt50";
inline constexpr const char kRawFormat[] = "application/vnd.vantrex-kt50";
inline constexpr const char kDefaultMedia[] = "iso_a4_210x297mm";
// Margins offered besides borderless printing, in hundredths of millimetres:
// CUPS makes a queue's plain sizes ("A4") only from sizes with margins.
inline constexpr int kMargin = 100;

// The drivers papplMainloop and the system offer (one).
pappl_pr_driver_t *AppDrivers();
int AppDriverCount();

bool DriverCallback(pappl_system_t *system, const char *driver_name, const char *device_uri,
                    const char *device_id, pappl_pr_driver_data_t *data, ipp_t **driver_attrs,
                    void *cbdata);

// A media collection of a PWG size name, with the margins above.
void FillMedia(pappl_media_col_t &col, const char *name);

// Replaces every invalid stored default of the ten settings by a valid one
// (clamped, or the filter's default); true when something changed.
bool SanitizePrinterDefaults(pappl_printer_t *printer);

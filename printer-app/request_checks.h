// What a client may not send, checked on each IPP request before PAPPL reads
// it: control characters (which PAPPL would write raw into its state file)
// and KT50 setting values the printer cannot take.
#pragma once

#include <cups/cups.h>

#include <string>
#include <string_view>

struct tagREFUSAL {
  ipp_status_t status = IPP_STATUS_OK;  // IPP_STATUS_OK: nothing refused
  std::string message;
  ipp_attribute_t *attribute = nullptr;  // named in the answer's unsupported group
};

// Text with every control character (and DEL) replaced by a space.
std::string WithoutControls(std::string_view text);
bool HasControls(std::string_view text);

// Replaces control characters in the text and name values of the request
// and its collections; refuses a control character in any other string
// value (keyword, URI, MIME type, ...).
tagREFUSAL CleanRequestStrings(ipp_t *request);

// Checks the KT50 settings a request carries: the job's own "kt50-..."
// values (Print-Job, Validate-Job, Create-Job) and the printer's
// "kt50-...-default" values (Set-Printer-Attributes).
tagREFUSAL CheckVendorValues(ipp_t *request);

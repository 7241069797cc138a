// The filter's job options: the ten settings of the option table
// (cmnFilter.h) read from the job's options, falling back to the queue's
// defaults in its PPD, then to the table's defaults.
#pragma once

#include <cups/cups.h>
#include <cups/ppd.h>

#include <memory>
#include <span>

#include "cmnFilter.h"

// The option's text under "<prefix>.<keyword>", else under the bare keyword,
// else (with a PPD) the text of the PPD's marked choice for the keyword, else
// null. The text belongs to the option array or the PPD.
const char *GetOptionStringValue(int numOptions, cups_option_t *options, const char *keyword,
                                 ppd_file_t *ppd = nullptr);

// An integer option: leading ASCII letters are skipped and the rest is read
// as atoi does. A job value outside min..max, or none, gives the queue's
// default (the PPD's marked choice read the same way), else def.
int32_t GetOptionIntValue(int numOptions, cups_option_t *options, const char *keyword,
                          int32_t min, int32_t max, int32_t def, ppd_file_t *ppd = nullptr);
int32_t GetOptionIntValue(int numOptions, cups_option_t *options, const tagINTOPTION &option,
                          ppd_file_t *ppd = nullptr);

// A choice option: the code of the list entry whose name equals the whole
// value, case-sensitively. A job value not in the list, or none, gives the
// queue's default (the PPD's marked choice looked up the same way), else def.
int32_t GetOptionChoiceValue(int numOptions, cups_option_t *options, const char *keyword,
                             std::span<const tagCHOICE> list, int32_t def,
                             ppd_file_t *ppd = nullptr);

// The ten settings of a job, a row of g_JobOptions each. ppd may be null:
// then only the job's options and the table's defaults count.
tagJOBSETTINGS GetJobSettings(int numOptions, cups_option_t *options, ppd_file_t *ppd);

struct PpdCloser {
  void operator()(ppd_file_t *ppd) const;
};
using PpdFile = std::unique_ptr<ppd_file_t, PpdCloser>;

// The queue's PPD at path (the filter's $PPD) with its defaults marked, then
// the job's options marked over them; null when there is no path or the file
// is not a PPD.
PpdFile OpenQueuePpd(const char *path, int numOptions, cups_option_t *options);

// PAPPL's raster callbacks for the KT50: they feed the filter's page engine
// line by line (8-bit gray, or 24-bit RGB from our own document filters) and
// write its command stream through the printer's device; raw KT50 streams
// are copied to the device unchanged.
#pragma once

#include <pappl/pappl.h>

bool KT50StartJob(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *device);
bool KT50StartPage(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *device,
                   unsigned page);
bool KT50WriteLine(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *device,
                   unsigned y, const unsigned char *line);
bool KT50EndPage(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *device,
                 unsigned page);
bool KT50EndJob(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *device);
bool KT50PrintRaw(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *device);

// True when the job must stop now: cancelled, or the server shutting down.
bool JobMustStop(pappl_job_t *job);
// Ends the job with `why` as its state message (and in the log); false.
bool KT50Fail(pappl_job_t *job, const char *why);

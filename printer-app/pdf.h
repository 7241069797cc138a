// PDF documents: Ghostscript renders them to 8-bit gray PWG raster at 600
// dpi, which feeds the same raster callbacks as any client raster.
#pragma once

#include <pappl/pappl.h>

bool PdfFilter(pappl_job_t *job, pappl_device_t *device, void *data);

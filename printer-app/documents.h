// The documents the application prints and how each becomes pages of the
// raster callbacks: PDF rendered by Ghostscript, PWG and Apple raster read
// from the spool file, PNG and JPEG decoded by our own code. Raw KT50
// streams need no filter (the driver's print-file callback).
#pragma once

#include <pappl/pappl.h>

// Registers the filters; PAPPL looks for one to the driver's own format
// first, so its built-in image readers are never reached.
void AddDocumentFilters(pappl_system_t *system);

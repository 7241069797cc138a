// SPDX-License-Identifier: Apache-2.0
// The filter's CUPS raster front end: a reader thread reads and decompresses
// the raster into a ring of slots while this thread feeds the page engine;
// SIGTERM (CancelFilterJob) stops both, the stream ending after its last
// complete page.
#pragma once

#include <cups/raster.h>

#include <cstdio>

#include "cmnFilter.h"

// Reads the raster (argv[6] when argc is 7, else standard input), renders
// every page and writes the command stream to standard output. Returns the
// process exit status: 0 when every page was written, 1 after a failure that
// lost output, reported by one "ERROR:" line on standard error. What was
// written before a failure stays written; a failing page writes nothing,
// except on the image road, where a page whose raster ends early is printed
// with the lines that arrived (and the job still reports the loss).
int SendPrinterCommand(int argc, char *argv[], const tagJOBSETTINGS &settings);

// The same job over any input: raster bytes from `read` (as cupsRasterOpenIO
// takes them), the stream to `out`, "ERROR:", "INFO:" and "PAGE:" lines to
// `messages`. Returns the exit status as SendPrinterCommand.
int RunFilterJob(cups_raster_iocb_t read, void *ctx, const tagJOBSETTINGS &settings, FILE *out,
                 FILE *messages);

// Cancels the job, as the print system does with SIGTERM: the page loop
// stops before writing another page and a read waiting for input wakes up.
// Safe in a signal handler.
void CancelFilterJob();

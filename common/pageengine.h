// SPDX-License-Identifier: Apache-2.0
// The page engine: one job's pages, fed a page at a time and a line at a
// time by a front end (the filter's raster reader, the printer
// application's callbacks), screened into the 1-bit page bitmap and written
// as the KT50 command stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "cmnFilter.h"

// One job: its settings, the stream, the page bitmap and the image road's
// band and screen, kept from page to page.
struct tagPRINTJOB;

// The engine's entry points. Every failure leaves its reason in
// PrintJobError(); the stream keeps every page written before it.
//   StartPrintJob: takes the settings and the stream; the page bitmap and the
//     image band are made as the pages need them.
//   StartPrintPage: a page of width x height pixels as its raster header
//     gives them; false (nothing allocated) when the printer cannot take it.
//   PutPrintLine: the page's next line, 24-bit RGB, `bytes` long; pixels the
//     line does not cover read as white, bytes past the drawn width are never
//     read. Lines past the drawn height are counted and dropped.
//   EndPrintPage: finishes the page (missing lines stay white) and writes it,
//     the job header before the first page; false when the stream cannot be
//     written.
// Raster front ends that deliver gray expand a gray value g to (g, g, g):
// ExpandGrayLine writes 3 x pixels bytes, each gray byte XOR `flip` (0xFF for
// a raster whose 0 is white).
tagPRINTJOB *NewPrintJob();  // paired with DeletePrintJob
void DeletePrintJob(tagPRINTJOB *job);
bool StartPrintJob(tagPRINTJOB *job, const tagJOBSETTINGS &settings, FILE *out);
bool StartPrintPage(tagPRINTJOB *job, uint32_t width, uint32_t height);
void PutPrintLine(tagPRINTJOB *job, const uint8_t *line, size_t bytes);
bool EndPrintPage(tagPRINTJOB *job);
void ExpandGrayLine(uint8_t *rgb, const uint8_t *gray, int32_t pixels, uint8_t flip);
int PrintJobPagesWritten(const tagPRINTJOB *job);
const char *PrintJobError(const tagPRINTJOB *job);

// Whether a page whose raster ends early is still printed with the lines
// that arrived (EndPrintPage), rather than dropped: so on the image road (AM
// screen, error diffusion); the simple road drops it.
bool PrintJobKeepsCutPage(const tagPRINTJOB *job);

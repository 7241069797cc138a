// SPDX-License-Identifier: Apache-2.0
// The KT50 stream writer: the job header record, and each page's commands
// around the lane blocks of its 1-bit page bitmap (kt50protocol.h).
#pragma once

#include <cstdint>
#include <cstdio>

#include "cmnFilter.h"

// The job header record with the job's values; written once, before the
// first page.
void WriteJobHeader(FILE *out, const tagJOBSETTINGS &settings);

// One page: initialisation, size command with sizeWidth x sizeHeight, the
// lane blocks, page end. Only rows 0 .. inkRows - 1 of the bitmap are read
// (the rest of the announced height holds no ink); lanes 0 .. sizeWidth /
// 2480 (at most 3) are candidates, and each carries its rows from the first
// to the last inked one.
void WritePage(FILE *out, const uint8_t *pageBitmap, int32_t sizeWidth, int32_t sizeHeight,
               int32_t inkRows);

// Writes the lane blocks of one whole page bitmap: pageWidth and pageHeight
// are those of the size command. Returns 1.
int SendPrinterCommandForPageBitmap(const uint8_t *pageBitmap, int32_t pageWidth,
                                    int32_t pageHeight, FILE *out = stdout);

// The printer's "Printing Defaults" web page. PAPPL 1.3.1's own page saves
// whatever the form sends (999 for a setting of -16 to 16) and says "Changes
// saved."; this one checks every value first and names what it refused.
#pragma once

#include <pappl/pappl.h>

// papplSystemSetPrinterDrivers' create callback: puts the page in place of
// PAPPL's for each printer as it is created.
void AddPrinterPages(pappl_printer_t *printer, void *data);

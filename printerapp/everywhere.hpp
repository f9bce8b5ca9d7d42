// What IPP Everywhere clients ask of a printer and PAPPL 1.3 leaves to its
// driver: a way to identify the printer, its supplies, and the printer
// attributes PAPPL does not add itself.  Each says only what is true of the
// family.
#pragma once

#include <pappl/pappl.h>

namespace everywhere {

// The driver's share: the identify callback, supplies to
// report, and the extra attributes (added to *attrs, created if null).
void describe(pappl_pr_driver_data_t* d, ipp_t** attrs);

// A new printer, or one loaded from the state file: its paper as its supply.
void printerCreated(pappl_printer_t* printer, bool twoColour);

}  // namespace everywhere

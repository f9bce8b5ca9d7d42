// The printer's test page: a two-colour sample for the web page's button.
#pragma once

#include <pappl/pappl.h>

#include <cstddef>

namespace rastiv::printerapp {

// The driver's test-page callback: writes the sample as a one-page PWG raster
// file in the spool folder (a format PAPPL prints itself; the job removes it
// when done) and returns its name in `buffer`; null when it could not.
const char* writeTestPage(pappl_printer_t* printer, char* buffer, size_t bufsize);

}  // namespace rastiv::printerapp

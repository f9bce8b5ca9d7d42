// The printer's test page: a two-colour sample for the web page's button.
#pragma once

#include <pappl/pappl.h>

#include <cstddef>

namespace rastiv::printerapp {

// The driver's test-page callback: writes the sample as a PNG file in the
// spool folder (the job removes it when done) and returns its name in
// `buffer`; null when it could not.  Not PWG raster: PAPPL 1.3 prints that
// only as it streams in, and its job thread crashes on such a file.
const char* writeTestPage(pappl_printer_t* printer, char* buffer, size_t bufsize);

}  // namespace rastiv::printerapp

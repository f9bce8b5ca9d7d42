// The family's serial printers as a PAPPL device scheme, on the printer
// link's termios port:
//   tintarex:/dev/ttyUSB0?baud=115200&parity=none
// the same URIs as the CUPS backend's, so a queue's device moves over as it
// is.  Only a serial line is opened (link/serialline); a pseudo-terminal only
// when the server was started with TINTAREX_ALLOW_PSEUDO_TERMINAL=1.
#pragma once

#include <pappl/pappl.h>

#include <cstdint>
#include <optional>

namespace rastiv::printerapp {

inline constexpr const char* kSerialScheme = "tintarex";

// Registers the scheme with PAPPL; once, before the main loop.
void registerSerialScheme();

// The job now printing on `device` (from the raster start-job callback):
// what it writes is kept so that it can be sent again whole after the
// printer went away, and its printer shows why it waits.  Nothing for
// devices of other schemes.
void serialJobStarted(pappl_device_t* device, pappl_job_t* job);

// The driver's status callback: asks a printer on the serial scheme for its
// real-time status and shows it as printer-state-reasons.
bool serialPrinterStatus(pappl_printer_t* printer);

// printer-state-reasons from the answers to DLE EOT 1 (printer), 2 (off-line
// cause) and 4 (paper sensor); a missing answer tells nothing, no answer at
// all means the printer is off line.
pappl_preason_t reasonsOfRealTimeStatus(std::optional<uint8_t> printer, std::optional<uint8_t> cause,
                                        std::optional<uint8_t> paper);

}  // namespace rastiv::printerapp

// What a device URI of the serial scheme names, and the check that it is a
// serial line before anything is written to it.  Shared by the CUPS backend
// and the printer application: both run as root and take their device path
// from a URI someone else wrote.
#pragma once

#include <QString>
#include <optional>

#include "link/serialport.hpp"

namespace rastiv {

// SCHEME:/dev/ttyUSB0?baud=115200&parity=none (also SCHEME:///dev/...);
// baud defaults to 115200 and parity to none, as in the program's
// communication settings.  nullopt with `problem` set otherwise.
std::optional<PortSettings> parseSerialUri(const QString& uri, const char* scheme, QString& problem);

// Set to 1 in the environment of the process that opens the line (never by
// a printing user): a pseudo-terminal passes for a serial line, for tests.
inline constexpr const char* kAllowPseudoTerminal = "TINTAREX_ALLOW_PSEUDO_TERMINAL";

// Opens the device if it is a serial line, with nothing written and no
// setting changed, as a descriptor at or above `lowestFd`; -1, why not and an
// errno otherwise.  `who` names the program in the refusal.
int openSerialLine(const QString& device, const char* who, int lowestFd, QString& problem, int& error);

}  // namespace rastiv

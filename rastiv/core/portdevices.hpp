// Which device each of the eight port entries ("COM1" to "COM8") stands for.
#pragma once

#include <QString>
#include <QStringList>
#include <array>

#include "core/settings.hpp"
#include "link/serialdevices.hpp"
#include "link/serialport.hpp"

namespace rastiv {

inline constexpr int kPortEntries = 8;

// The communication dialog's three lists, in their order; the settings keep
// the index of the entry chosen in each ("Port", "BaudRate", "Parity").
inline constexpr std::array<const char*, kPortEntries> kPortEntryNames{"COM1", "COM2", "COM3", "COM4",
                                                                       "COM5", "COM6", "COM7", "COM8"};
inline constexpr std::array<const char*, 8> kBaudRates{"115200", "57600", "38400", "19200",
                                                       "9600",   "4800",  "2400",  "1200"};
inline constexpr std::array<const char*, 3> kParities{"None", "Even", "Odd"};

// The index kept under `key` for a list of `count` entries, as the dialog
// reads it back: the leading number of the text, rounded; a missing key or
// an index outside the list reads as 0.
int storedListIndex(const SettingsStore& settings, Key key, int count);

// The device kept for entry i (0 = "COM1"), or its default: /dev/ttyS0..3
// for COM1 to COM4 and /dev/ttyUSB0..3 for COM5 to COM8.
QString portDevice(const SettingsStore& settings, int entry);
void setPortDevice(SettingsStore& settings, int entry, const QString& device);

// The printer a connection reaches, for the operator: "the virtual printer
// (on screen)", or its device and line ("/dev/ttyS0 at 9600 baud, parity
// None").
QString printerName(const PortSettings& line);

}  // namespace rastiv

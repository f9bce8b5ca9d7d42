// Which device each of the eight port entries ("COM1" to "COM8") stands for.
#pragma once

#include <QString>
#include <QStringList>

namespace rastiv {

class SettingsStore;

inline constexpr int kPortEntries = 8;

// The device kept for entry i (0 = "COM1"), or its default: /dev/ttyS0..3
// for COM1 to COM4 and /dev/ttyUSB0..3 for COM5 to COM8.
QString portDevice(const SettingsStore& settings, int entry);
void setPortDevice(SettingsStore& settings, int entry, const QString& device);

// Serial devices present on this machine, stable by-id names first; ports
// that the kernel lists but no hardware backs are left out.
QStringList presentSerialDevices();

// How a device reads in the dialog ("Virtual printer (no hardware)" for the
// virtual one).
QString deviceCaption(const QString& device);

}  // namespace rastiv

// The serial devices of this machine, for the lists that offer a port.
#pragma once

#include <QStringList>

namespace rastiv {

// Serial devices present on this machine, stable by-id names first; ports
// that the kernel lists but no hardware backs are left out.
QStringList presentSerialDevices();

}  // namespace rastiv

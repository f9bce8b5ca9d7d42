// What a port name given by the operator stands for: a serial device, one
// of the program's eight port entries ("COM1" to "COM8", each standing for
// the device the communication dialog keeps for it), the built-in virtual
// printer, or a serial device server ("tcp://HOST:PORT").
#pragma once

#include <QString>
#include <memory>

namespace rastiv {

class Clock;
class SerialPort;
class SettingsStore;

enum class PortKind { Device, Virtual, Tcp };

struct PortChoice {
    PortKind kind = PortKind::Device;
    QString device;  // for PortSettings: a device path, "virtual" or "tcp://HOST:PORT"
    QString entry;   // "COM3" when the name was a port entry, else empty
};

// Resolves a name:
//   "COM1".."COM8" (any case)  the device kept for that entry in the settings,
//                              itself any of the kinds below;
//   "virtual" (any case)       the virtual printer;
//   "tcp://HOST:PORT"          a device server, the address checked here;
//   a path                     a serial device, taken as it is; a bare name
//                              ("ttyUSB0") is the device of that name in /dev.
// False with the reason, as the end of a sentence, when it names nothing usable.
bool resolvePortName(const QString& name, const SettingsStore& settings, PortChoice& choice, QString& problem);

// The kind of a device string as the port settings hold it.
PortKind portKindOf(const QString& device);

// A closed line of the kind the device needs: the virtual printer, a device
// server connection or a termios serial device.
std::unique_ptr<SerialPort> makeSerialPort(const QString& device, Clock& clock);

}  // namespace rastiv

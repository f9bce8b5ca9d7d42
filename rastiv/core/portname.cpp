#include "core/portname.hpp"

#include <QRegularExpression>

#include "core/portdevices.hpp"
#include "link/tcpport.hpp"
#include "link/termiosport.hpp"
#include "link/virtualprinter.hpp"

namespace rastiv {

PortKind portKindOf(const QString& device) {
    if (device == QLatin1String(kVirtualPrinterDevice)) return PortKind::Virtual;
    if (isTcpDevice(device)) return PortKind::Tcp;
    return PortKind::Device;
}

namespace {

// A device string, whether typed by the operator or kept for a port entry.
bool resolveDevice(const QString& device, PortChoice& choice, QString& problem) {
    if (device.compare(QLatin1String(kVirtualPrinterDevice), Qt::CaseInsensitive) == 0) {
        choice.kind = PortKind::Virtual;
        choice.device = QString::fromLatin1(kVirtualPrinterDevice);
        return true;
    }
    if (isTcpDevice(device)) {
        TcpAddress address;
        if (!parseTcpAddress(device, address, problem)) return false;
        choice.kind = PortKind::Tcp;
        choice.device = device;
        return true;
    }
    choice.kind = PortKind::Device;
    choice.device = device.contains(u'/') ? device : QStringLiteral("/dev/") + device;
    return true;
}

}  // namespace

bool resolvePortName(const QString& name, const SettingsStore& settings, PortChoice& choice, QString& problem) {
    choice = {};
    const QString n = name.trimmed();
    if (n.isEmpty()) {
        problem = QStringLiteral("no port is named");
        return false;
    }
    static const QRegularExpression entryName(QStringLiteral("^COM(\\d+)$"),
                                              QRegularExpression::CaseInsensitiveOption);
    if (const QRegularExpressionMatch m = entryName.match(n); m.hasMatch()) {
        const int number = m.captured(1).toInt();
        if (number < 1 || number > kPortEntries) {
            problem = QStringLiteral("\"%1\" is not one of the port entries COM1 to COM%2").arg(n).arg(kPortEntries);
            return false;
        }
        const QString device = portDevice(settings, number - 1).trimmed();
        if (device.isEmpty()) {
            problem = QStringLiteral("no device is chosen for COM%1").arg(number);
            return false;
        }
        if (!resolveDevice(device, choice, problem)) {
            problem = QStringLiteral("the device kept for COM%1 is not usable: %2").arg(number).arg(problem);
            return false;
        }
        choice.entry = QStringLiteral("COM%1").arg(number);
        return true;
    }
    return resolveDevice(n, choice, problem);
}

std::unique_ptr<SerialPort> makeSerialPort(const QString& device, Clock& clock) {
    switch (portKindOf(device)) {
        case PortKind::Virtual: return std::make_unique<VirtualPrinter>(clock);
        case PortKind::Tcp: return std::make_unique<TcpPort>(clock);
        case PortKind::Device: break;
    }
    return std::make_unique<TermiosPort>(clock);
}

}  // namespace rastiv

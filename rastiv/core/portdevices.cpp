#include "core/portdevices.hpp"

#include "core/numtext.hpp"
#include "core/settings.hpp"
#include "link/virtualprinter.hpp"

namespace rastiv {

namespace {

Key keyOf(int entry) { return Key(int(Key::Com1) + entry); }

}  // namespace

int storedListIndex(const SettingsStore& settings, Key key, int count) {
    const int64_t i = clampToInt(roundHalfEven(leadingNumber(settings.read(key, QStringLiteral("0")))), -1, count);
    return i < 0 || i >= count ? 0 : int(i);
}

QString portDevice(const SettingsStore& settings, int entry) {
    if (entry < 0 || entry >= kPortEntries) return {};
    return settings.read(keyOf(entry));
}

void setPortDevice(SettingsStore& settings, int entry, const QString& device) {
    if (entry >= 0 && entry < kPortEntries) settings.write(keyOf(entry), device);
}

QString printerName(const PortSettings& line) {
    if (line.device == QLatin1String(kVirtualPrinterDevice)) return QStringLiteral("the virtual printer (on screen)");
    const char* parity = line.parity == 'E' ? "Even" : line.parity == 'O' ? "Odd" : "None";
    return QStringLiteral("%1 at %2 baud, parity %3").arg(line.device).arg(line.baud).arg(QLatin1String(parity));
}

}  // namespace rastiv

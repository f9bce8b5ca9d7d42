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

QString deviceCaption(const QString& device) {
    return device == QLatin1String(kVirtualPrinterDevice) ? QStringLiteral("Virtual printer (no hardware)") : device;
}

}  // namespace rastiv

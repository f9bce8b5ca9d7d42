#include "core/settings.hpp"

#include <QSettings>
#include <QStandardPaths>
#include <array>

#include "link/regularfile.hpp"

namespace rastiv {

namespace {
// Serial settings read "None" when missing so that the link dialog can tell a
// missing key from a stored index 0.
constexpr std::array<KeyInfo, 22> kKeys{{
    {"Utility", "ScreenColor", "None"},
    {"Utility", "TopLogoSpacing", "-1"},
    {"Utility", "InitInBmpDir", ""},
    {"Utility", "InitInDir", ""},
    {"Utility", "InitOutBmpDir", ""},
    {"Utility", "InitGfxDir", ""},
    {"Utility", "InitLgoDir", ""},
    {"Utility", "InitBatDir", ""},
    {"Printer", "Port", "None"},
    {"Printer", "BaudRate", "None"},
    {"Printer", "Parity", "None"},
    // Devices default to the usual Linux names for the same entries.
    {"Printer", "COM1", "/dev/ttyS0"},
    {"Printer", "COM2", "/dev/ttyS1"},
    {"Printer", "COM3", "/dev/ttyS2"},
    {"Printer", "COM4", "/dev/ttyS3"},
    {"Printer", "COM5", "/dev/ttyUSB0"},
    {"Printer", "COM6", "/dev/ttyUSB1"},
    {"Printer", "COM7", "/dev/ttyUSB2"},
    {"Printer", "COM8", "/dev/ttyUSB3"},
    {"Utility", "Placement", "Left"},
    {"Utility", "RecentFiles", ""},
    {"Printer", "VirtualPrinter", "0"},
}};

QString fullKey(const KeyInfo& k) { return QString::fromLatin1(k.section) + u'/' + QString::fromLatin1(k.name); }

// QSettings reads its files as it is made: a FIFO in the place of one would
// block it for good, so such a store is never made.
QString firstUnreadable(const QStringList& files) {
    for (const QString& f : files)
        if (QString why = notRegularFileProblem(f); !why.isEmpty()) return why;
    return {};
}
}  // namespace

const KeyInfo& keyInfo(Key key) { return kKeys.at(size_t(key)); }

SettingsStore::SettingsStore() {
    // The user's files QSettings reads: the application's and the organisation's.
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    location_ = folder + QStringLiteral("/Vru/Rastiv.conf");
    problem_ = firstUnreadable({location_, folder + QStringLiteral("/Vru.conf")});
    if (problem_.isEmpty())
        s_ = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Vru"),
                                         QStringLiteral("Rastiv"));
}

SettingsStore::SettingsStore(const QString& iniFile) : location_(iniFile), problem_(firstUnreadable({iniFile})) {
    if (problem_.isEmpty()) s_ = std::make_unique<QSettings>(iniFile, QSettings::IniFormat);
}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::read(Key key) const { return read(key, QString::fromLatin1(keyInfo(key).defaultValue)); }

QString SettingsStore::read(Key key, const QString& defaultValue) const {
    return s_ ? s_->value(fullKey(keyInfo(key)), defaultValue).toString() : defaultValue;
}

void SettingsStore::write(Key key, const QString& value) {
    if (s_) s_->setValue(fullKey(keyInfo(key)), value);
}

bool SettingsStore::contains(Key key) const { return s_ && s_->contains(fullKey(keyInfo(key))); }

QString SettingsStore::location() const { return s_ ? s_->fileName() : location_; }

void SettingsStore::sync() {
    if (s_) s_->sync();
}

}  // namespace rastiv

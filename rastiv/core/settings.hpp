// The persistent settings: one table of keys and their defaults.  Widgets ask
// this store, never QSettings.
#pragma once

#include <QString>
#include <memory>

class QSettings;

namespace rastiv {

enum class Key {
    ScreenColor,
    TopLogoSpacing,
    InitInBmpDir,
    InitInDir,
    InitOutBmpDir,
    InitGfxDir,
    InitLgoDir,
    InitBatDir,
    Port,
    BaudRate,
    Parity,
    // The device each port entry stands for ("COM1" to "COM8").
    Com1,
    Com2,
    Com3,
    Com4,
    Com5,
    Com6,
    Com7,
    Com8,
    // Where a picture narrower than the paper prints: "Left", "Centre", "Right".
    Placement,
    // The pictures loaded last, newest first, one a line.
    RecentFiles,
    // "1" when the connection is to the virtual printer, whatever the port.
    VirtualPrinter,
};

struct KeyInfo {
    const char* section;
    const char* name;
    const char* defaultValue;
};

const KeyInfo& keyInfo(Key key);

class SettingsStore {
public:
    // The operator's own store (organisation "Vru", application "Rastiv").
    SettingsStore();
    // A store in one INI file, for tests and for running from a scratch profile.
    explicit SettingsStore(const QString& iniFile);
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    QString read(Key key) const;
    // Some readers need a different default to tell "missing" apart.
    QString read(Key key, const QString& defaultValue) const;
    void write(Key key, const QString& value);
    bool contains(Key key) const;
    // Where the values live on disk, for the operator's information.
    QString location() const;
    void sync();
    // Not empty when the file is not one that can be read (a FIFO, a
    // device): the store then holds the defaults and keeps nothing.
    QString problem() const { return problem_; }

private:
    std::unique_ptr<QSettings> s_;
    QString location_, problem_;
};

}  // namespace rastiv

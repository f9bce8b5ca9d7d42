// rastiv-cli: the printer tools without a screen, one sub-command each
// ("rastiv-cli convert ...", "rastiv-cli status ..."), each with its own
// --help.  Exit status 0 only on full success; 1 when the work was refused or
// failed, with the reason on standard error; 2 for a command line that
// cannot be understood.
#pragma once

#include <QString>
#include <QStringList>
#include <QTextStream>

#include <functional>
#include <memory>
#include <vector>

namespace rastiv {
class Clock;
class SettingsStore;
struct PortSettings;
}

namespace rastiv::cli {

enum ExitCode { kExitOk = 0, kExitFailed = 1, kExitUsage = 2 };

struct Streams {
    QTextStream& out;
    QTextStream& err;
};

// Runs the command line; args[0] is the program's name.
int run(const QStringList& args, Streams io);

// Whether the command draws text (the receipt renderer's font), which needs
// a GUI application; everything else runs on a core application.
bool needsGui(const QStringList& args);

// Only for tests: how the printer commands' workers make their clocks, so
// that the printer's pauses pass in virtual time (a real clock when empty).
void setWorkerClock(std::function<std::unique_ptr<Clock>()> make);

// A serial device as "ports" lists it.
struct PortInfo {
    QString device;
    QStringList byId;     // its stable names under /dev/serial/by-id
    bool mayOpen = false;  // read and write access for this user
    QString whyNot;       // when not: why, in a few words
    QStringList entries;  // Rastiv's port entries that stand for it ("COM5")
};
// Groups the devices present (presentSerialDevices) with their stable names
// and the port entries kept for them.
std::vector<PortInfo> describePorts(const QStringList& present, const SettingsStore& settings);

// The connection test against an opened line: the status query (this
// family's ESC v, or `query`) and up to waitMs for any reply.  Prints the
// outcome; kExitOk when the printer answered.
int checkStatus(const QString& name, const PortSettings& settings, int waitMs, Clock& clock, Streams io,
                const QByteArray& query = {});

}  // namespace rastiv::cli

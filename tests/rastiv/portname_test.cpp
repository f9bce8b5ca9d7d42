// Port names as the operator gives them, resolved through the program's own port entries where they name one.
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "link/clock.hpp"
#include "core/settings.hpp"
#include "core/portdevices.hpp"
#include "core/portname.hpp"
#include "link/tcpport.hpp"
#include "link/termiosport.hpp"
#include "link/virtualprinter.hpp"

using namespace rastiv;

namespace {

struct NameRow {
    const char* name;
    const char* com3;  // what the settings keep for COM3 (nullptr: nothing, the default)
    bool ok;
    PortKind kind;
    const char* device;  // or a part of the reason
    const char* entry;
};

TEST(PortNameTable, ResolvesEntriesDevicesTheVirtualPrinterAndDeviceServers) {
    const NameRow rows[] = {
        {"/dev/ttyUSB0", nullptr, true, PortKind::Device, "/dev/ttyUSB0", ""},
        {"/dev/serial/by-id/usb-FTDI_A1-if00-port0", nullptr, true, PortKind::Device,
         "/dev/serial/by-id/usb-FTDI_A1-if00-port0", ""},
        {"ttyACM0", nullptr, true, PortKind::Device, "/dev/ttyACM0", ""},
        {"  /dev/ttyS1 ", nullptr, true, PortKind::Device, "/dev/ttyS1", ""},
        {"virtual", nullptr, true, PortKind::Virtual, "virtual", ""},
        {"Virtual", nullptr, true, PortKind::Virtual, "virtual", ""},
        {"tcp://10.0.0.7:4001", nullptr, true, PortKind::Tcp, "tcp://10.0.0.7:4001", ""},
        {"tcp://10.0.0.7", nullptr, false, PortKind::Device, "no port number", ""},
        // The entries default to the usual Linux names...
        {"COM1", nullptr, true, PortKind::Device, "/dev/ttyS0", "COM1"},
        {"com5", nullptr, true, PortKind::Device, "/dev/ttyUSB0", "COM5"},
        // ... and follow what the communication dialog keeps for them.
        {"COM3", "/dev/serial/by-id/usb-Prolific-if00", true, PortKind::Device, "/dev/serial/by-id/usb-Prolific-if00",
         "COM3"},
        {"COM3", "virtual", true, PortKind::Virtual, "virtual", "COM3"},
        {"COM3", "tcp://shop-printer:9100", true, PortKind::Tcp, "tcp://shop-printer:9100", "COM3"},
        {"COM3", "tcp://shop-printer", false, PortKind::Device, "kept for COM3 is not usable", ""},
        {"COM3", "", false, PortKind::Device, "no device is chosen for COM3", ""},
        {"COM0", nullptr, false, PortKind::Device, "COM1 to COM8", ""},
        {"COM9", nullptr, false, PortKind::Device, "COM1 to COM8", ""},
        {"", nullptr, false, PortKind::Device, "no port is named", ""},
    };
    for (const NameRow& r : rows) {
        QTemporaryDir dir;
        SettingsStore settings(dir.filePath(QStringLiteral("settings.ini")));
        if (r.com3) setPortDevice(settings, 2, QString::fromLatin1(r.com3));
        PortChoice choice;
        QString problem;
        const bool ok = resolvePortName(QString::fromLatin1(r.name), settings, choice, problem);
        const std::string what = std::string(r.name) + " with COM3 " + (r.com3 ? r.com3 : "(default)");
        ASSERT_EQ(ok, r.ok) << what << ": " << problem.toStdString();
        if (!ok) {
            EXPECT_TRUE(problem.contains(QString::fromLatin1(r.device))) << what << ": " << problem.toStdString();
            continue;
        }
        EXPECT_EQ(choice.kind, r.kind) << what;
        EXPECT_EQ(choice.device, QString::fromLatin1(r.device)) << what;
        EXPECT_EQ(choice.entry, QString::fromLatin1(r.entry)) << what;
    }
}

TEST(PortNameTable, EachKindGetsItsOwnLine) {
    VirtualClock clock;
    EXPECT_NE(qobject_cast<VirtualPrinter*>(makeSerialPort(QStringLiteral("virtual"), clock).get()), nullptr);
    EXPECT_NE(qobject_cast<TcpPort*>(makeSerialPort(QStringLiteral("tcp://host:9100"), clock).get()), nullptr);
    EXPECT_NE(qobject_cast<TermiosPort*>(makeSerialPort(QStringLiteral("/dev/ttyUSB0"), clock).get()), nullptr);
}

TEST(PortNameTable, StoredListIndexesReadAsTheDialogReadsThem) {
    const struct {
        const char* stored;  // nullptr: the key is missing
        int index;
    } rows[] = {{nullptr, 0}, {"3", 3}, {" 3", 3}, {"7", 7}, {"8", 0}, {"-1", 0}, {"2.5", 2}, {"abc", 0}};
    for (const auto& r : rows) {
        QTemporaryDir dir;
        SettingsStore settings(dir.filePath(QStringLiteral("settings.ini")));
        if (r.stored) settings.write(Key::Port, QString::fromLatin1(r.stored));
        EXPECT_EQ(storedListIndex(settings, Key::Port, kPortEntries), r.index) << (r.stored ? r.stored : "missing");
    }
}

}  // namespace

// The list of serial devices, on a stand-in /dev: plain files for the
// devices and links for their stable names.
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "core/settings.hpp"
#include "child.hpp"
#include "cli/cli.hpp"
#include "core/portdevices.hpp"

using namespace rastiv;

namespace {

TEST(Ports, DevicesComeWithTheirStableNamesAndTheEntriesKeptForThem) {
    QTemporaryDir dev;
    const auto path = [&](const char* name) { return dev.filePath(QString::fromLatin1(name)); };
    for (const char* d : {"ttyUSB0", "ttyUSB1", "ttyACM0"}) {
        QFile f(path(d));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    ASSERT_TRUE(QDir(dev.path()).mkpath(QStringLiteral("serial/by-id")));
    ASSERT_EQ(::symlink("../../ttyUSB0", QFile::encodeName(path("serial/by-id/usb-FTDI_A1-if00-port0")).constData()), 0);
    ASSERT_EQ(::symlink("../../ttyACM0", QFile::encodeName(path("serial/by-id/usb-Printer_B2-if00")).constData()), 0);
    QTemporaryDir profile;
    SettingsStore settings(profile.filePath(QStringLiteral("settings.ini")));
    setPortDevice(settings, 4, path("ttyUSB0"));                          // COM5 by its name
    setPortDevice(settings, 6, path("serial/by-id/usb-Printer_B2-if00"));  // COM7 by its stable name
    setPortDevice(settings, 7, QStringLiteral("virtual"));

    // presentSerialDevices lists stable names first; ttyACM0 only through its link here.
    const QStringList present{path("serial/by-id/usb-FTDI_A1-if00-port0"), path("serial/by-id/usb-Printer_B2-if00"),
                              path("ttyUSB0"), path("ttyUSB1")};
    const std::vector<cli::PortInfo> ports = cli::describePorts(present, settings);
    ASSERT_EQ(ports.size(), 3u);
    const struct {
        const char* device;
        QStringList byId;
        QStringList entries;
    } rows[] = {
        {"ttyUSB0", {path("serial/by-id/usb-FTDI_A1-if00-port0")}, {"COM5"}},
        {"ttyUSB1", {}, {}},
        {"ttyACM0", {path("serial/by-id/usb-Printer_B2-if00")}, {"COM7"}},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        EXPECT_EQ(QFileInfo(ports[i].device).fileName(), QString::fromLatin1(rows[i].device));
        EXPECT_EQ(ports[i].byId, rows[i].byId) << rows[i].device;
        EXPECT_EQ(ports[i].entries, rows[i].entries) << rows[i].device;
        EXPECT_TRUE(ports[i].mayOpen) << rows[i].device;
    }
}

// Checked as a user who is not the device's owner (root becomes "nobody").
TEST(Ports, ADeviceThisUserMayNotOpenSaysSo) {
    QTemporaryDir dev;
    const QString device = dev.filePath(QStringLiteral("ttyS4"));
    {
        QFile f(device);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    ASSERT_EQ(::chmod(QFile::encodeName(device).constData(), 0), 0);
    QTemporaryDir profile;
    testing_support::ChildSetup setup;
    setup.unprivileged = true;
    const testing_support::ChildOutcome outcome = testing_support::runInChild(
        [&]() -> int32_t {
            SettingsStore settings(profile.filePath(QStringLiteral("settings.ini")));
            const std::vector<cli::PortInfo> ports = cli::describePorts({device}, settings);
            if (ports.size() != 1) return 1;
            if (ports[0].mayOpen) return 2;
            return ports[0].whyNot.startsWith(QStringLiteral("not yours to open (group ")) ? 0 : 3;
        },
        setup);
    if (!outcome.skipped.empty()) GTEST_SKIP() << outcome.skipped;
    ASSERT_TRUE(outcome.finished) << testing_support::describe(outcome);
    EXPECT_EQ(outcome.value, 0) << "1: not listed, 2: said to be open to us, 3: no reason given";
}

}  // namespace

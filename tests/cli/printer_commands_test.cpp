// The printer commands of rastiv-cli: the program's own bytes, a copy for every
// port, a failing port reported without stopping the others; no real waits.
#include <errno.h>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <stdlib.h>
#include <unistd.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextStream>
#include <gtest/gtest.h>
#include <thread>

#include "link/clock.hpp"
#include "cli/cli.hpp"
#include "clitool.hpp"
#include "ptyreader.hpp"

using namespace rastiv;
using testing_support::PtyReader;

namespace {

const QByteArray kMarker("Morvex<PaUsE-pAuSe-PaUsE>xevroM");

// A whole logo definition: 1D 84, monochrome, X by Y, X * Y * 8 bytes.
QByteArray logoFile(uint8_t x, uint8_t y) {
    QByteArray b("\x1D\x84\x01", 3);
    b += char(x);
    b += char(y);
    for (int i = 0; i < x * y * 8; ++i) b += char(0x20 + i % 90);
    return b;
}
// Whole monochrome raster lines: 1D 82 and 72 bytes each.
QByteArray graphicsFile(int lines) {
    QByteArray b;
    for (int l = 0; l < lines; ++l) {
        b += QByteArray("\x1D\x82", 2);
        for (int i = 0; i < 72; ++i) b += char((l + i) % 200 + 0x20);
    }
    return b;
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

struct Captured {
    QString out, err;
    QTextStream outStream{&out}, errStream{&err};
    cli::Streams streams() { return {outStream, errStream}; }
};

class PrinterCommands : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath(QStringLiteral("config"))));
        cli::setWorkerClock([] { return std::make_unique<VirtualClock>(); });
    }
    void TearDown() override { cli::setWorkerClock({}); }
    int run(QStringList args, Captured& io) {
        args.prepend(QStringLiteral("rastiv-cli"));
        const int rc = cli::run(args, io.streams());
        io.outStream.flush();
        io.errStream.flush();
        return rc;
    }
    QString file(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    QTemporaryDir dir;
};

// What goes on the wire: the dialogs' bytes, without a pause mark, to every port named.
TEST_F(PrinterCommands, EveryPortGetsTheProgramsBytesWithoutPauseMarks) {
    const QByteArray logo = logoFile(2, 3), paper = QByteArray("\x1D\x81\x05\xFF\x1D\xFF", 6),
                     text = QByteArray(250, 'x') + '\n';
    writeFile(file("l.lgo"), logo);
    writeFile(file("r.cpb"), paper + kMarker + text + kMarker);
    const struct {
        QStringList args;
        QByteArray wire;
    } rows[] = {
        {{"download-logo", file("l.lgo"), "--number", "7"},
         QByteArray("\x1D\x22\x01\x1D\x23\x07", 6) + logo + QByteArray("\x1D\x23\x00", 3)},
        {{"replay", file("r.cpb")}, paper + text},
    };
    for (const auto& row : rows) {
        PtyReader a, b;
        Captured io;
        EXPECT_EQ(run(row.args + QStringList{"--no-status-check", "--port", a.name(), "--port", b.name(), "--port",
                                             "virtual"},
                      io),
                  cli::kExitOk)
            << io.err.toStdString();
        EXPECT_EQ(a.received(), row.wire);
        EXPECT_EQ(b.received(), row.wire);
        EXPECT_EQ(io.out.count(QStringLiteral(" ok ")), 3) << io.out.toStdString();
    }
}

// What --record writes: the bytes as the program records them, with a pause
// mark where it waits; a printed graphic is print-sample data and is left out.
TEST_F(PrinterCommands, RecordWritesWhatTheProgramRecordsForTheSameAction) {
    writeFile(file("l.lgo"), logoFile(1, 2));
    writeFile(file("p.gfx"), graphicsFile(3));
    const struct {
        QStringList args;
        QByteArray recording;
    } rows[] = {
        {{"download-logo", file("l.lgo"), "--number", "200"},
         QByteArray("\x1D\x22\x01\x1D\x23\xC8", 6) + logoFile(1, 2) + kMarker + QByteArray("\x1D\x23\x00", 3)},
        {{"paper-type", "4"}, QByteArray("\x1D\x81\x04\xFF\x1D\xFF", 6) + kMarker},
        {{"erase-logos"},
         QByteArray("\x1D\x40\x31", 3) + kMarker + QByteArray("\x1F\x03\x16\x01\x00\x00\x1F\x03\x16\x04\x00\x00", 12) +
             QByteArray("\x1F\x03\x16\x03\x00\x00\x00\x1F\x03\x16\x02\x00\x00\x1D\xFF", 15) + kMarker},
        {{"print", file("p.gfx")}, QByteArray()},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args.join(u' ').toStdString());
        Captured io;
        ASSERT_EQ(run(row.args + QStringList{"--port", "virtual", "--record", file("tool.cpb")}, io), cli::kExitOk)
            << io.err.toStdString();
        EXPECT_EQ(readFile(file("tool.cpb")).toHex(), row.recording.toHex());
    }
}

struct UsageRow {
    QStringList args;
    int exit;
    const char* err;
};

TEST_F(PrinterCommands, CommandLinesTheyCannotUseAreRefusedBeforeAnythingIsSent) {
    writeFile(file("bad.lgo"), QByteArray("\x1D\x84\x01\x01\x01\x00", 6));
    writeFile(file("bad.gfx"), QByteArray("\x1D\x82\x00", 3));
    const UsageRow rows[] = {
        {{"paper-type", "3", "--port", "virtual"}, cli::kExitUsage, "0, 1, 4 or 5"},
        {{"paper-type", "4"}, cli::kExitUsage, "--port"},
        {{"download-logo", file("bad.lgo"), "--port", "virtual"}, cli::kExitUsage, "--number"},
        {{"download-logo", file("bad.lgo"), "--number", "256", "--port", "virtual"}, cli::kExitUsage, "0 to 255"},
        {{"download-logo", file("bad.lgo"), "--number", "1", "--port", "virtual"}, cli::kExitFailed,
         "cannot be sent to the printer"},
        {{"print", file("bad.gfx"), "--port", "virtual"}, cli::kExitFailed, "cannot be sent to the printer"},
        {{"replay", file("none.cpb"), "--port", "virtual"}, cli::kExitFailed, "cannot be read"},
        {{"erase-logos", "--retries", "-1", "--port", "virtual"}, cli::kExitUsage, "--retries"},
    };
    for (const UsageRow& row : rows) {
        SCOPED_TRACE(row.args.join(u' ').toStdString());
        Captured io;
        EXPECT_EQ(run(row.args, io), row.exit);
        EXPECT_TRUE(io.err.contains(QLatin1String(row.err))) << io.err.toStdString();
        EXPECT_TRUE(io.out.isEmpty()) << io.out.toStdString();
    }
}

TEST_F(PrinterCommands, ARecordingThatIsTheFileToSendIsRefusedAndTheFileKept) {
    writeFile(file("p.gfx"), graphicsFile(3));
    writeFile(file("l.lgo"), logoFile(1, 2));
    ASSERT_TRUE(QFile::link(file("p.gfx"), file("sym.cpb")));
    ASSERT_EQ(::link(QFile::encodeName(file("l.lgo")).constData(), QFile::encodeName(file("hard.cpb")).constData()), 0);
    for (const QStringList& args : {QStringList{"print", file("p.gfx"), "--record", file("p.gfx")},
                                    {"print", file("p.gfx"), "--record", file("sym.cpb")},
                                    {"download-logo", file("l.lgo"), "--number=1", "--record", file("l.lgo")},
                                    {"download-logo", file("l.lgo"), "--number=1", "--record", file("hard.cpb")}}) {
        Captured io;
        EXPECT_EQ(run(args + QStringList{"--port", "virtual"}, io), cli::kExitUsage) << args.join(u' ').toStdString();
        EXPECT_EQ(readFile(file("p.gfx")) + readFile(file("l.lgo")), graphicsFile(3) + logoFile(1, 2));
    }
}

// Virtual time that still gives a peer thread real time to read.
struct PacedClock final : Clock {
    VirtualClock v;
    std::unique_ptr<Timer> createTimer() override { return v.createTimer(); }
    qint64 nowMs() const override { return v.nowMs(); }
    void pumpEvents() override { ::usleep(500), v.pumpEvents(); }
};

TEST_F(PrinterCommands, OkOnlyWhenThePrinterTookTheBytesElseTheCauseIsNamed) {
    cli::setWorkerClock([] { return std::make_unique<PacedClock>(); });
    writeFile(file("p.gfx"), graphicsFile(2800));  // 207,200 bytes: more than the buffers between
    // Listeners (smallest receive buffer) that never accept or never read; a pty read in part, then hung up.
    for (const int printer : {0, 1, 2}) {
        const int lsn = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0), small = 1, pty = ::posix_openpt(O_RDWR);
        sockaddr_in a{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t len = sizeof a;
        ASSERT_TRUE(!::setsockopt(lsn, SOL_SOCKET, SO_RCVBUF, &small, sizeof small) && !::grantpt(pty) &&
                    !::bind(lsn, reinterpret_cast<sockaddr*>(&a), len) && !::listen(lsn, 1) && !::unlockpt(pty) &&
                    !::getsockname(lsn, reinterpret_cast<sockaddr*>(&a), &len));
        const QString port = printer == 2 ? QString::fromLocal8Bit(::ptsname(pty))
                                          : QStringLiteral("tcp://127.0.0.1:%1").arg(ntohs(a.sin_port));
        int accepted = -1;
        std::thread peer([&] {
            if (printer == 1) accepted = ::accept(lsn, nullptr, nullptr);
            char buf[1000];
            for (ssize_t got = 0, n; printer == 2 && got < 30000 && (n = ::read(pty, buf, 1000)) > 0; got += n) {}
            ::close(pty);
        });
        Captured io;
        EXPECT_EQ(run({"print", file("p.gfx"), "--retries", "0", "--no-status-check", "--port", port}, io), cli::kExitFailed);
        peer.join();
        ::close(lsn), ::close(accepted);
        EXPECT_TRUE(io.out.contains(printer == 2 ? "the printer hung up" : "the printer is not reading"))
            << io.out.toStdString();
    }
}

// ---- As a user runs it: a child process ----

TEST(PrinterCommandsAsAChild, ReplayToThreePseudoTerminalsAndAMissingDevice) {
    QTemporaryDir dir;
    // Sample receipt lines: a recording without pauses, so no real waits.
    QByteArray recording;
    for (int i = 1; i <= 150; ++i) recording += "Sample Receipt Item " + QByteArray::number(i) + '\n';
    const QString path = dir.filePath(QStringLiteral("r.cpb"));
    writeFile(path, recording);
    for (const bool json : {false, true}) {
        SCOPED_TRACE(json ? "--json" : "table");
        PtyReader a, b, c;
        QStringList args{QStringLiteral("replay"), path, QStringLiteral("--no-status-check")};
        for (const QString& p : {a.name(), b.name(), c.name(), QStringLiteral("/dev/ttyNoSuch7")})
            args << QStringLiteral("--port") << p;
        if (json) args << QStringLiteral("--json");
        const Outcome r = runTool(dir, args);
        EXPECT_EQ(r.exit, 1) << r.err.toStdString();
        EXPECT_EQ(a.received(), recording);
        EXPECT_EQ(b.received(), recording);
        EXPECT_EQ(c.received(), recording);
        EXPECT_TRUE(r.err.isEmpty() || !r.err.contains(QStringLiteral("\x1b["))) << "progress on a log file";
        if (!json) {
            EXPECT_EQ(r.out.count(QStringLiteral(" ok ")), 3) << r.out.toStdString();
            EXPECT_TRUE(r.out.contains(QRegularExpression(QStringLiteral("/dev/ttyNoSuch7 +failed +0 .*does not exist"))))
                << r.out.toStdString();
            continue;
        }
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(r.out.toUtf8(), &error);
        ASSERT_EQ(error.error, QJsonParseError::NoError) << r.out.toStdString();
        const QJsonArray list = doc.array();
        ASSERT_EQ(list.size(), 4);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(list[i][QStringLiteral("result")].toString(), QStringLiteral("ok"));
            EXPECT_EQ(list[i][QStringLiteral("bytes")].toInteger(), recording.size());
        }
        EXPECT_EQ(list[3][QStringLiteral("port")].toString(), QStringLiteral("/dev/ttyNoSuch7"));
        EXPECT_EQ(list[3][QStringLiteral("result")].toString(), QStringLiteral("failed"));
        EXPECT_TRUE(list[3][QStringLiteral("reason")].toString().contains(QStringLiteral("does not exist")));
    }
}

TEST(PrinterCommandsAsAChild, PrintSendsTheGraphicThenTheFeed) {
    QTemporaryDir dir;
    const QByteArray gfx = graphicsFile(20);  // 1480 bytes: 30 pieces, the last one short
    const QString path = dir.filePath(QStringLiteral("p.gfx"));
    writeFile(path, gfx);
    // Nothing answers on the line: the printer is asked, and gets nothing more.
    PtyReader silentPty, pty;
    const Outcome silent = runTool(dir, {QStringLiteral("print"), path, QStringLiteral("--port"), silentPty.name()});
    EXPECT_EQ(silent.exit, 1);
    EXPECT_TRUE(silent.out.contains(QStringLiteral("does not answer its status query"))) << silent.out.toStdString();
    EXPECT_EQ(silentPty.received(), QByteArray("\x1B\x76\x0A", 3));
    const Outcome r = runTool(
        dir, {QStringLiteral("print"), path, QStringLiteral("--no-status-check"), QStringLiteral("--port"), pty.name()});
    EXPECT_EQ(r.exit, 0) << r.err.toStdString();
    EXPECT_EQ(pty.received(), gfx + QByteArray("\x1B\x4A\xFF\x19", 4));
}

}  // namespace

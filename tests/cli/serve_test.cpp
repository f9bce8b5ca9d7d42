// rastiv-cli serve as a till meets it: a child process reached over a real
// TCP socket and a real pseudo-terminal, judged by its answers, the receipts
// it writes and how it stops.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "link/clock.hpp"
#include "receipt/emulator.hpp"
#include "receipt/listeners.hpp"
#include "receipt/receiptengine.hpp"

namespace {

QByteArray hex(const char* text) { return QByteArray::fromHex(QByteArray(text)); }

// Bytes from `fd` until `count` have come or two seconds pass.
QByteArray readSome(int fd, qsizetype count) {
    QByteArray got;
    while (got.size() < count) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 2000) <= 0) break;
        char b[64];
        const ssize_t n = ::read(fd, b, sizeof b);
        if (n <= 0) break;
        got.append(b, n);
    }
    return got;
}

class Serve : public ::testing::Test {
protected:
    void start(const QStringList& args) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
        tool.setProcessEnvironment(env);
        tool.start(QStringLiteral(RASTIV_CLI_PATH), QStringList{"serve", "--out", out()} + args);
        ASSERT_TRUE(tool.waitForStarted());
        ready = line();
    }
    // The next line the tool prints.
    QString line() {
        while (!tool.canReadLine())
            if (!tool.waitForReadyRead(10000)) return {};
        return QString::fromUtf8(tool.readLine()).trimmed();
    }
    // Within two seconds or the test fails: a tool leaving clients queued must not hang it.
    int connectTcp(int receiveBuffer = 0) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        const timeval twoSeconds{2, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &twoSeconds, sizeof twoSeconds);
        if (receiveBuffer) ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(quint16(ready.section(u':', 1).toUInt()));
        ::inet_pton(AF_INET, "127.0.0.1", &a.sin_addr);
        EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        return fd;
    }
    void send(int fd, const QByteArray& b) {  // a tool gone fails the test rather than ending it with SIGPIPE
        ssize_t n = ::send(fd, b.constData(), size_t(b.size()), MSG_NOSIGNAL);
        if (n < 0 && errno == ENOTSOCK) n = ::write(fd, b.constData(), size_t(b.size()));
        ASSERT_EQ(n, b.size());
    }
    QString out() const { return dir.filePath(QStringLiteral("out")); }
    QString text(int n) const {
        QFile f(QStringLiteral("%1/%2.txt").arg(out()).arg(n, 4, 10, QLatin1Char('0')));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
    QList<QJsonObject> receipts() const {
        QFile f(out() + QStringLiteral("/receipts.jsonl"));
        QList<QJsonObject> r;
        if (f.open(QIODevice::ReadOnly))
            for (const QByteArray& l : f.readAll().split('\n'))
                if (!l.isEmpty()) r << QJsonDocument::fromJson(l).object();
        return r;
    }
    void terminate() { if (tool.processId() > 0) ::kill(pid_t(tool.processId()), SIGTERM); }  // 0: our own group
    bool ended() { return tool.state() == QProcess::NotRunning || tool.waitForFinished(15000); }
    void TearDown() override {
        if (tool.state() != QProcess::NotRunning) {
            tool.kill();
            tool.waitForFinished();
        }
    }

    QTemporaryDir dir;
    QProcess tool;
    QString ready;
};

TEST_F(Serve, TcpClientsInTurnGetAnswersAndReceiptsAndTheStateOutlivesTheRun) {
    const QString state = dir.filePath(QStringLiteral("printer.json"));
    start({"--port", "0", "--state", state});
    ASSERT_TRUE(ready.startsWith(QStringLiteral("tcp 127.0.0.1:"))) << ready.toStdString();

    // A receipt with its status requests answered, cut; then a second one
    // whose client goes away in the middle of a raster image.
    int fd = connectTcp();
    send(fd, "\x1b@Hello till\n" + hex("10 04 01 1B 76 1D 72 01"));
    EXPECT_EQ(readSome(fd, 3), hex("12 00 00"));
    send(fd, hex("1D 22 01 1D 23 05 1D 84 01 01 01 FF 81 81 81 81 81 81 FF 1D 23 00") + hex("1D 56 00"));
    EXPECT_EQ(line(), QStringLiteral("receipt ") + out() + QStringLiteral("/0001.png"));
    send(fd, "Second part\n" + hex("1D 76 30 00 10 00 40 00 FF FF"));
    ::close(fd);
    EXPECT_EQ(line(), QStringLiteral("receipt ") + out() + QStringLiteral("/0002.png"));

    // The next client in turn, interrupted by SIGTERM before it ends.
    fd = connectTcp();
    send(fd, "Third client\n" + hex("1D 23 05 1D 2F 00 10 04 01"));
    EXPECT_EQ(readSome(fd, 1), hex("12"));  // all of it has been read
    ::kill(pid_t(tool.processId()), SIGTERM);
    ASSERT_TRUE(tool.waitForFinished(10000));
    ::close(fd);
    EXPECT_EQ(tool.exitCode(), 0);

    const QList<QJsonObject> r = receipts();
    ASSERT_EQ(r.size(), 3);
    EXPECT_EQ(text(1), QStringLiteral("Hello till\n"));
    EXPECT_EQ(r[0][QStringLiteral("ended")].toString(), QStringLiteral("cut"));
    EXPECT_EQ(r[0][QStringLiteral("commands")][QStringLiteral("DLE EOT")].toInt(), 1);
    EXPECT_EQ(r[1][QStringLiteral("ended")].toString(), QStringLiteral("end of connection"));
    EXPECT_TRUE(r[1][QStringLiteral("warnings")].toVariant().toStringList().join(u' ').contains(
        QStringLiteral("the stream ends inside GS v 0")));
    EXPECT_EQ(text(2), QStringLiteral("Second part\n"));
    EXPECT_EQ(r[2][QStringLiteral("ended")].toString(), QStringLiteral("terminated"));
    EXPECT_EQ(r[2][QStringLiteral("dots")].toInt(), 24 + 8);  // the text and the stored logo
    EXPECT_NE(r[2][QStringLiteral("client")].toString(), r[0][QStringLiteral("client")].toString());

    // The logo stored by the first client prints in the next run.
    start({"--port", "0", "--state", state, "--once"});
    fd = connectTcp();
    send(fd, hex("1D 23 05 1D 2F 00"));
    ::close(fd);
    ASSERT_TRUE(tool.waitForFinished(10000));
    EXPECT_EQ(receipts().value(3)[QStringLiteral("dots")].toInt(), 8);
    EXPECT_EQ(receipts().value(3)[QStringLiteral("png")].toString(), QStringLiteral("0004.png"));
}

TEST_F(Serve, APseudoTerminalPrinterAnswersAndPrintsOnce) {
    const QString link = dir.filePath(QStringLiteral("printer"));
    start({"--no-tcp", "--link", link, "--once"});
    ASSERT_EQ(ready, QStringLiteral("pty ") + link);
    const int fd = ::open(QFile::encodeName(link).constData(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    send(fd, "Terminal receipt\n" + hex("10 04 02"));
    EXPECT_EQ(readSome(fd, 1), hex("12"));
    send(fd, hex("1B 69"));
    ::close(fd);
    ASSERT_TRUE(tool.waitForFinished(10000));
    EXPECT_EQ(tool.exitCode(), 0);
    EXPECT_EQ(text(1), QStringLiteral("Terminal receipt\n"));
    EXPECT_EQ(receipts().value(0)[QStringLiteral("client")].toString().left(9), QStringLiteral("/dev/pts/"));
    EXPECT_FALSE(QFile::exists(link));  // the link goes with the terminal
}

// A till that hangs up unread, or asks without reading, harms no other.
TEST_F(Serve, ATillThatHangsUpUnreadOrFloodsStatusRequestsHarmsNoOther) {
    start({"--port", "0"});
    int fd = connectTcp();
    send(fd, hex("10 04 01 1B 76 10 04 02") + "gone\n" + hex("10 04 01 10 04 01"));
    ::close(fd);
    fd = connectTcp(4096);
    const QByteArray asks = hex("10 04 01").repeated(20000);
    for (int stalls = 0; stalls < 50;)  // until the line is full both ways
        if (::send(fd, asks.constData(), size_t(asks.size()), MSG_NOSIGNAL | MSG_DONTWAIT) > 0) stalls = 0;
        else if (errno == EAGAIN) ++stalls, ::poll(nullptr, 0, 10);
        else break;
    EXPECT_EQ(readSome(fd, 3000).left(3000), hex("12").repeated(3000));
    terminate();
    EXPECT_TRUE(ended() && tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0);
    EXPECT_EQ(text(1), QStringLiteral("gone\n"));
}

TEST_F(Serve, ClientsThatConnectTogetherEachGetTheirOwnReceiptInTurn) {
    start({"--port", "0"});
    std::vector<int> tills;
    for (int i = 0; i < 100 && !HasFailure(); ++i) tills.push_back(connectTcp());
    for (size_t i = 0; i < tills.size(); ++i) send(tills[i], QByteArray::number(i) + "\n" + hex("1D 56 00")), ::close(tills[i]);
    for (int i = 0; i < 100; ++i) ASSERT_FALSE(line().isEmpty()) << i << " receipts";
    for (int i = 0; i < 100; ++i) EXPECT_EQ(text(i + 1), QStringLiteral("%1\n").arg(i));
}

// Half a record a kill left is cut away, one a full disk cuts short taken back
// (and the tool stops with 1); the numbering neither wraps nor overwrites.
TEST_F(Serve, WhatIsInTheFolderStaysWhole) {
    const QByteArray earlier = QByteArray("{\"receipt\":1}\n").repeated(1000);
    ASSERT_TRUE(QDir().mkpath(out()));
    for (const auto& [name, bytes] : {std::pair{"receipts.jsonl", earlier + "{\"receipt\":2,\"png\":\"00"},
                                      {"2147483647.png", QByteArray("kept")}, {"0001.txt", QByteArray("kept")}}) {
        QFile f(out() + u'/' + QLatin1String(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bytes) > 0);
    }
    tool.setChildProcessModifier([limit = rlim_t(earlier.size() + 400)] {  // one record more fits
        ::signal(SIGXFSZ, SIG_IGN);  // a write past the limit is cut short instead of killing
        const rlimit l{limit, limit};
        ::setrlimit(RLIMIT_FSIZE, &l);
    });
    start({"--port", "0"});
    const int fd = connectTcp();
    send(fd, "Next\n" + hex("1D 56 00") + "Lost\n" + hex("1D 56 00"));
    ::close(fd);
    ASSERT_TRUE(ended() && tool.exitCode() == 1);
    EXPECT_TRUE(tool.readAllStandardError().contains("receipts.jsonl cannot be written"));
    const QList<QJsonObject> r = receipts();
    ASSERT_EQ(r.size(), 1001);
    EXPECT_EQ(r.last()[QStringLiteral("png")].toString(), QStringLiteral("2147483648.png"));
    EXPECT_EQ(text(1), QStringLiteral("kept"));
}

// Each record tells of its own receipt: not of a connection that printed nothing
// before it, nor of the line feed after its cut, nor of an earlier client's 20 m.
TEST_F(Serve, EachReceiptHoldsOnlyItsOwnBytesNotesAndWarnings) {
    start({"--port", "0", "--idle-timeout", "1"});  // the one real wait: a second
    const int silent = connectTcp();  // dropped, its receipt written, the others served
    send(silent, "Held open\n");
    const QByteArray clients[] = {hex("10 04 01 1B 70 00 32 32 1B 5A").repeated(200),  // asks, kicks, nonsense
                                  "hi\n" + hex("1D 56 00") + "\r\n", hex("1B 70 00 32 32").repeated(150) + "kick\n",
                                  "long\n" + hex("1B 4A FF").repeated(700), "after\n"};
    for (const QByteArray& bytes : clients) {
        const int fd = connectTcp();
        send(fd, bytes);
        readSome(fd, bytes.count("\x10\x04\x01"));  // the answers taken: the printer has read it all
        ::close(fd);
    }
    for (int i = 1; i <= 5; ++i) EXPECT_FALSE(line().isEmpty()) << i;
    terminate();
    ASSERT_TRUE(ended());
    const QList<QJsonObject> r = receipts();
    ASSERT_EQ(r.size(), 5);
    EXPECT_EQ(r[0][QStringLiteral("notes")][0].toString(), QStringLiteral("the connection was dropped: idle for 1 s"));
    EXPECT_EQ(r[1][QStringLiteral("bytes")].toInt(), 6);
    EXPECT_EQ(r[1][QStringLiteral("notes")].toArray().size() + r[1][QStringLiteral("warnings")].toArray().size(), 0);
    EXPECT_EQ(r[1][QStringLiteral("commands")].toObject().keys(), QStringList({"0A", "GS V", "text"}));
    EXPECT_EQ(r[2][QStringLiteral("notes")].toArray().size(), rastiv::Emulator::kListed);
    EXPECT_EQ(r[2][QStringLiteral("notesLeftOut")].toInt(), 150 - rastiv::Emulator::kListed);
    EXPECT_EQ(text(5), QStringLiteral("after\n"));
    ::close(silent);
}

TEST_F(Serve, TheLinkAndTheStateFileTakeOnlyWhatIsTheirs) {
    const QString link = dir.filePath(QStringLiteral("printer")), fifo = dir.filePath(QStringLiteral("fifo"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(fifo, link));  // someone's link, not a terminal's
    for (const QStringList& args : {QStringList{"--no-tcp", "--link", link}, QStringList{"--port", "0", "--state", fifo},
                                    QStringList{"--port", "0", "--state", "/dev/zero"}}) {
        start(args);
        EXPECT_TRUE(ended() && tool.exitCode() == 1) << args.join(u' ').toStdString();
        TearDown();
    }
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), fifo);
    // A link an earlier run left is taken over; one put elsewhere meanwhile stays.
    ASSERT_TRUE(QFile::remove(link) && QFile::link(QStringLiteral("/dev/pts/999999"), link));
    start({"--no-tcp", "--link", link});
    EXPECT_EQ(ready, QStringLiteral("pty ") + link);
    ASSERT_TRUE(QFile::remove(link) && QFile::link(fifo, link));
    terminate();
    ASSERT_TRUE(ended());
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), fifo);
}

// A till holding the terminal for good: silence ends its turn until it sends again.
TEST(ServeInProcess, ASilentTerminalHolderIsServedAgainWhenItSends) {
    rastiv::VirtualClock clock;
    rastiv::PtyPrinterListener pty(clock);
    pty.setIdleTimeout(clock, 30);
    QString problem;
    ASSERT_TRUE(pty.open({}, problem));
    QStringList events;
    pty.received = [&](QByteArrayView bytes) { events << bytes.toByteArray(); };
    pty.disconnected = [&](const QString& why) { events << why; };
    const int till = ::open(QFile::encodeName(pty.path()).constData(), O_RDWR | O_NOCTTY);
    for (const char* bytes : {"one", "two"}) {
        ASSERT_EQ(::write(till, bytes, 3), 3);
        clock.advance(31000);
    }
    EXPECT_EQ(events, QStringList({"one", "idle for 30 s", "two", "idle for 30 s"}));
    ::close(till);
}

TEST(ServeInProcess, TheFlashIsWrittenToTheStateFileAtMostOnceASecondAndWhenStopping) {
    QTemporaryDir dir;
    rastiv::VirtualClock clock;
    const QString state = dir.filePath(QStringLiteral("printer.json"));
    rastiv::Emulator printer({dir.path(), state, QColor(255, 0, 0)}, clock);
    const auto paperType = [&] {
        QFile f(state);
        return f.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(f.readAll())[QStringLiteral("paperType")].toInt() : 0;
    };
    for (int i = 0; i < 300; ++i) printer.receive(hex("1D 81 01 FF 1D FF"));  // paper type 1, stored
    clock.advance(1000);
    EXPECT_EQ(paperType(), 1);
    printer.receive(hex("1D 81 04 FF"));  // blue paper: not written within the second
    clock.advance(999);
    EXPECT_EQ(paperType(), 1);
    printer.stop(QStringLiteral("terminated"));
    EXPECT_EQ(paperType(), 4);
}

// render: the printed text beside the picture, files refused whole and
// nothing written, warnings made errors, and the length cap.
TEST(Render, TextRefusalsWarningsAndTheLengthCap) {
    QTemporaryDir dir;
    QByteArray long_;
    for (int i = 0; i < 700; ++i) long_ += hex("1B 4A FF");
    const struct {
        const char* name;
        QByteArray bytes;  // empty: no such file
        QStringList extra;
        int exit;
        const char* err;
        const char* text;  // null: neither text nor picture is written
    } rows[] = {
        {"in.bin", "A\n" + hex("1D 56 00") + "B\n", {}, 0, "", "A\n\f\nB\n"},
        {"in.bin", "A" + hex("1B 5A") + "B\n", {}, 0, "byte 1: unknown command 1B 5A skipped", "AB\n"},
        {"in.bin", "A" + hex("1B 5A") + "B\n", {"--strict"}, 1, "1 warning (--strict)", "AB\n"},
        {"in.bin", "\x89PNG\r\n\x1a\n", {}, 1, "is a PNG picture, not bytes for the printer; make it printable first: rastiv-cli convert", nullptr},
        {"short.lgo", hex("1D 84 02 01 01 00"), {}, 1, "is not a logo file: it holds 6 bytes", nullptr},
        {"plain.lgo", "hello", {}, 1, "is not a logo file: it does not start with a logo definition", nullptr},
        {"short.gfx", hex("1D 83 00"), {}, 1, "is not a graphics file: its last raster line is cut short", nullptr},
        {"stream.bin", hex("1B 40"), {}, 1, "Nothing in", nullptr},
        {"logo.bin", hex("1D 84"), {"--as", "lgo"}, 1, "is not a logo file", nullptr},
        {"missing.bin", {}, {}, 1, "cannot be read", nullptr},
        {"in.bin", "A\n" + long_, {}, 1, "prints more than 20 m of paper; the first 20 m are drawn", "A\n"},
    };
    for (const auto& r : rows) {
        const QString in = dir.filePath(QString::fromLatin1(r.name)), png = dir.filePath("out.png"), txt = dir.filePath("out.txt");
        QFile::remove(png);
        QFile::remove(txt);
        if (QFile f(in); !r.bytes.isEmpty()) {
            ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(r.bytes) == r.bytes.size());
        }
        QProcess tool;
        tool.start(QStringLiteral(RASTIV_CLI_PATH), QStringList{"render", in, "-o", png, "--text", txt} + r.extra);
        ASSERT_TRUE(tool.waitForFinished(60000));
        const QString err = QString::fromUtf8(tool.readAllStandardError());
        EXPECT_EQ(tool.exitCode(), r.exit) << r.name << ": " << err.toStdString();
        EXPECT_TRUE(err.contains(QString::fromLatin1(r.err))) << r.name << ": " << err.toStdString();
        QFile t(txt);
        EXPECT_EQ(t.open(QIODevice::ReadOnly) ? t.readAll() : QByteArray(), QByteArray(r.text)) << r.name;
        if (!r.text) {
            EXPECT_FALSE(QFile::exists(png)) << r.name;
        }
    }
    QFile png(dir.filePath("out.png"));  // too tall for QImage's default limit: its header says
    ASSERT_TRUE(png.open(QIODevice::ReadOnly));
    EXPECT_EQ(png.read(24).mid(16).toHex(), QByteArray("0000024000027100"));  // 576 x 160000
}

}  // namespace

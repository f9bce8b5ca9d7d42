// rastiv-cli serve as a till meets it: a child process reached over a real
// TCP socket and a real pseudo-terminal, judged by its answers, the receipts
// it writes and how it stops.
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <cstring>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <vector>

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
    // Connected within two seconds, or -1: a tool that leaves clients in a
    // full kernel queue must fail the test, not hang it.
    int connectTcp(int receiveBuffer = 0) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        if (receiveBuffer) ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(quint16(ready.section(u':', 1).toUInt()));
        ::inet_pton(AF_INET, "127.0.0.1", &a.sin_addr);
        int error = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 ? 0 : errno;
        pollfd p{fd, POLLOUT, 0};
        if (error == EINPROGRESS && ::poll(&p, 1, 2000) == 1) {
            socklen_t length = sizeof error;
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
        }
        EXPECT_EQ(error, 0) << std::strerror(error);
        ::fcntl(fd, F_SETFL, 0);
        return error == 0 ? fd : (::close(fd), -1);
    }
    // MSG_NOSIGNAL: a tool that died must fail the test, not end it.
    void send(int fd, const QByteArray& b) {
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
    // The tool has ended, or does within `ms`.
    bool ended(int ms = 5000) { return tool.state() == QProcess::NotRunning || tool.waitForFinished(ms); }
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

// Whatever a till does with its end of the line, serve lives on for the next.
TEST_F(Serve, ATillThatHangsUpUnreadOrFloodsStatusRequestsHarmsNoOther) {
    start({"--port", "0"});
    // Hangs up with its answers unread: the answers meet a closed socket.
    int fd = connectTcp();
    send(fd, hex("10 04 01 1B 76 10 04 02") + "gone\n" + hex("10 04 01 10 04 01"));
    ::close(fd);
    // Asks and asks without reading: answered as far as it reads, and
    // SIGTERM is heard meanwhile.
    const int flood = connectTcp(4096);  // a small window: the answers fill it soon
    ::fcntl(flood, F_SETFL, O_NONBLOCK);
    const QByteArray asks = hex("10 04 01").repeated(20000);
    qint64 sent = 0;
    // Until the line is full both ways: half a second without progress.
    for (int stalls = 0; stalls < 50 && sent < (qint64(256) << 20);) {
        const ssize_t n = ::send(flood, asks.constData(), size_t(asks.size()), MSG_NOSIGNAL);
        if (n > 0) sent += n, stalls = 0;
        else if (n < 0 && errno != EAGAIN) break;
        else ++stalls, ::poll(nullptr, 0, 10);
    }
    const QByteArray answers = readSome(flood, 3000);
    EXPECT_EQ(answers, hex("12").repeated(answers.size()));
    EXPECT_GE(answers.size(), 3000);
    ::kill(pid_t(tool.processId()), SIGTERM);
    EXPECT_TRUE(tool.waitForFinished(5000)) << sent << " bytes of status requests sent";
    EXPECT_EQ(tool.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(tool.exitCode(), 0);
    ::close(flood);
    EXPECT_EQ(text(1), QStringLiteral("gone\n"));
}

TEST_F(Serve, ClientsThatConnectTogetherEachGetTheirOwnReceiptInTurn) {
    start({"--port", "0"});
    std::vector<int> tills;
    for (int i = 0; i < 100; ++i) {
        tills.push_back(connectTcp());
        ASSERT_GE(tills.back(), 0) << i << " tills connected";
    }
    for (int i = 0; i < 100; ++i) {
        send(tills[size_t(i)], QStringLiteral("Till %1\n").arg(i).toUtf8() + hex("1D 56 00"));
        ::close(tills[size_t(i)]);
    }
    for (int i = 0; i < 100; ++i) ASSERT_FALSE(line().isEmpty()) << i << " receipts";
    for (int i = 0; i < 100; ++i) EXPECT_EQ(text(i + 1), QStringLiteral("Till %1\n").arg(i));
}

// A receipt that is not written is reported, and the tool stops with 1; the
// record file keeps only whole lines.
TEST_F(Serve, AReceiptOrRecordThatCannotBeWrittenStopsTheToolAndLeavesNoHalfLine) {
    const QByteArray earlier = QByteArray("{\"receipt\":1}\n").repeated(1000);
    const struct {
        const char* what;
        std::function<void()> prepare;
        qint64 limit;  // the largest file the tool may write, 0: any
    } rows[] = {
        {"receipts.jsonl is a folder", [&] { QDir(out()).mkpath(QStringLiteral("receipts.jsonl")); }, 0},
        {"the disk fills in the middle of the record", [&] {
             QFile f(out() + QStringLiteral("/receipts.jsonl"));
             ASSERT_TRUE(f.open(QIODevice::WriteOnly));
             f.write(earlier);
         }, earlier.size() + 40},
    };
    for (const auto& r : rows) {
        dir.remove();
        ASSERT_TRUE(QDir().mkpath(out()));
        r.prepare();
        const qint64 limit = r.limit;
        tool.setChildProcessModifier([limit] {
            if (limit == 0) return;
            ::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails instead of killing
            const rlimit l{rlim_t(limit), rlim_t(limit)};
            ::setrlimit(RLIMIT_FSIZE, &l);
        });
        start({"--port", "0"});
        const int fd = connectTcp();
        send(fd, "Lost\n" + hex("1D 56 00"));
        ::close(fd);
        ASSERT_TRUE(tool.waitForFinished(5000)) << r.what;
        EXPECT_EQ(tool.exitCode(), 1) << r.what;
        EXPECT_TRUE(tool.readAllStandardError().contains("receipts.jsonl cannot be written")) << r.what;
        if (limit) EXPECT_EQ(QFileInfo(out() + QStringLiteral("/receipts.jsonl")).size(), earlier.size()) << r.what;
    }
}

TEST_F(Serve, HalfARecordLeftByAKillIsCutAwayAndNoReceiptIsWrittenOver) {
    ASSERT_TRUE(QDir().mkpath(out()));
    const auto put = [&](const QString& name, const QByteArray& bytes) {
        QFile f(out() + u'/' + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    };
    put(QStringLiteral("receipts.jsonl"), "{\"receipt\":1}\n{\"receipt\":2,\"png\":\"00");
    put(QStringLiteral("2147483647.png"), "kept");  // the numbering must not wrap to 0001...
    put(QStringLiteral("0001.txt"), "kept");        // ...over a receipt still there
    start({"--port", "0", "--once"});
    const int fd = connectTcp();
    send(fd, "Next\n" + hex("1D 56 00"));
    ::close(fd);
    ASSERT_TRUE(tool.waitForFinished(5000));
    EXPECT_EQ(tool.exitCode(), 0);
    const QList<QJsonObject> r = receipts();
    ASSERT_EQ(r.size(), 2);
    EXPECT_EQ(r[0][QStringLiteral("receipt")].toInt(), 1);
    EXPECT_EQ(r[1][QStringLiteral("png")].toString(), QStringLiteral("2147483648.png"));
    EXPECT_EQ(text(1), QStringLiteral("kept"));
}

// Each record tells of its own receipt: not of a connection that printed
// nothing before it, nor of the line feed after its cut.
TEST_F(Serve, EachReceiptHoldsOnlyItsOwnBytesNotesAndWarnings) {
    start({"--port", "0"});
    int fd = connectTcp();
    send(fd, hex("10 04 01 1B 70 00 32 32 1B 5A").repeated(200));  // asks, kicks the drawer, sends nonsense
    EXPECT_EQ(readSome(fd, 200), hex("12").repeated(200));
    ::close(fd);
    fd = connectTcp();
    send(fd, "hi\n" + hex("1D 56 00") + "\r\n");
    ::close(fd);
    fd = connectTcp();
    send(fd, hex("1B 70 00 32 32").repeated(150) + "drawer\n");
    ::close(fd);
    fd = connectTcp();
    send(fd, "long\n" + hex("1B 4A FF").repeated(700));  // past 20 m of paper, never cut
    ::close(fd);
    fd = connectTcp();
    send(fd, "after\n");
    ::close(fd);
    for (int i = 1; i <= 4; ++i) EXPECT_EQ(line(), QStringLiteral("receipt %1/%2.png").arg(out()).arg(i, 4, 10, QLatin1Char('0')));
    ::kill(pid_t(tool.processId()), SIGTERM);
    ASSERT_TRUE(tool.waitForFinished(5000));
    const QList<QJsonObject> r = receipts();
    ASSERT_EQ(r.size(), 4);
    EXPECT_TRUE(r[2][QStringLiteral("warnings")].toVariant().toStringList().join(u' ').contains(QStringLiteral("20 m")));
    EXPECT_EQ(text(4), QStringLiteral("after\n"));
    EXPECT_EQ(r[0][QStringLiteral("bytes")].toInt(), 6);
    EXPECT_EQ(r[0][QStringLiteral("notes")].toArray().size(), 0);
    EXPECT_EQ(r[0][QStringLiteral("warnings")].toArray().size(), 0);
    EXPECT_FALSE(r[0][QStringLiteral("commands")].toObject().contains(QStringLiteral("DLE EOT")));
    EXPECT_EQ(r[1][QStringLiteral("notes")].toArray().size() + r[1][QStringLiteral("notesLeftOut")].toInt(), 150);
    EXPECT_LE(r[1][QStringLiteral("notes")].toArray().size(), 100);
}

TEST_F(Serve, TheLinkAndTheStateFileTakeOnlyWhatIsTheirs) {
    const QString link = dir.filePath(QStringLiteral("printer"));
    QFile someone(link);
    ASSERT_TRUE(someone.open(QIODevice::WriteOnly));
    someone.write("someone's file");
    someone.close();
    const QString fifo = dir.filePath(QStringLiteral("fifo"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const struct {
        QStringList args;
        const char* err;
    } rows[] = {
        {{"--no-tcp", "--link", link}, "is not a link to a pseudo-terminal"},
        {{"--port", "0", "--state", fifo}, "not a regular file"},
        {{"--port", "0", "--state", "/dev/zero"}, "not a regular file"},
    };
    for (const auto& r : rows) {
        start(r.args);
        EXPECT_TRUE(ended()) << r.err;
        TearDown();
        EXPECT_EQ(tool.exitCode(), 1) << r.err;
        EXPECT_TRUE(tool.readAllStandardError().contains(r.err)) << r.err;
    }
    EXPECT_EQ(someone.open(QIODevice::ReadOnly) ? someone.readAll() : QByteArray(), "someone's file");
    someone.close();

    // A link an earlier run left is taken over; one put elsewhere meanwhile stays.
    ASSERT_TRUE(QFile::remove(link));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/pts/999999"), link));
    start({"--no-tcp", "--link", link});
    ASSERT_EQ(ready, QStringLiteral("pty ") + link);
    EXPECT_TRUE(QFileInfo(link).symLinkTarget().startsWith(QStringLiteral("/dev/pts/")));
    ASSERT_TRUE(QFile::remove(link));
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("fifo")), link));
    ::kill(pid_t(tool.processId()), SIGTERM);
    ASSERT_TRUE(tool.waitForFinished(5000));
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), fifo);
}

// render: the printed text beside the picture, pictures refused, warnings
// made errors, and the length cap.
TEST(Render, TextWarningsPicturesAndTheLengthCap) {
    QTemporaryDir dir;
    const auto file = [&](const char* name, const QByteArray& bytes) {
        QFile f(dir.filePath(QString::fromLatin1(name)));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return f.fileName();
    };
    QByteArray long_;
    for (int i = 0; i < 700; ++i) long_ += hex("1B 4A FF");
    const struct {
        QByteArray bytes;
        QStringList extra;
        int exit;
        const char* err;
        const char* text;
    } rows[] = {
        {"A\n" + hex("1D 56 00") + "B\n", {}, 0, "", "A\n\f\nB\n"},
        {"A" + hex("1B 5A") + "B\n", {}, 0, "byte 1: unknown command 1B 5A skipped", "AB\n"},
        {"A" + hex("1B 5A") + "B\n", {"--strict"}, 1, "1 warning (--strict)", "AB\n"},
        {"\x89PNG\r\n\x1a\n", {}, 1, "is a PNG picture, not bytes for the printer; make it printable first: rastiv-cli convert", nullptr},
        {"A\n" + long_, {}, 1, "prints more than 20 m of paper; the first 20 m are drawn", "A\n"},
    };
    for (const auto& r : rows) {
        const QString in = file("in.bin", r.bytes), png = dir.filePath("out.png"), txt = dir.filePath("out.txt");
        QFile::remove(png);
        QFile::remove(txt);
        QProcess tool;
        tool.start(QStringLiteral(RASTIV_CLI_PATH), QStringList{"render", in, "-o", png, "--text", txt} + r.extra);
        ASSERT_TRUE(tool.waitForFinished(60000));
        const QString err = QString::fromUtf8(tool.readAllStandardError());
        EXPECT_EQ(tool.exitCode(), r.exit) << err.toStdString();
        EXPECT_TRUE(err.contains(QString::fromLatin1(r.err))) << err.toStdString();
        QFile t(txt);
        EXPECT_EQ(t.open(QIODevice::ReadOnly) ? t.readAll() : QByteArray(), QByteArray(r.text)) << err.toStdString();
    }
    QFile png(dir.filePath("out.png"));  // too tall for QImage's default limit: its header says
    ASSERT_TRUE(png.open(QIODevice::ReadOnly));
    EXPECT_EQ(png.read(24).mid(16).toHex(), QByteArray("0000024000027100"));  // 576 x 160000
}

}  // namespace

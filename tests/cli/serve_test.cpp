// rastiv-cli serve as a till meets it: a child process reached over a real
// TCP socket and a real pseudo-terminal, judged by its answers, the receipts
// it writes and how it stops.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

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
    int connectTcp() {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(quint16(ready.section(u':', 1).toUInt()));
        ::inet_pton(AF_INET, "127.0.0.1", &a.sin_addr);
        EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        return fd;
    }
    void send(int fd, const QByteArray& b) { ASSERT_EQ(::write(fd, b.constData(), size_t(b.size())), b.size()); }
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

// The emulated printer in-process, on a real socket and in virtual time:
// what it does with a client that falls silent, and how often it writes the
// flash to its state file.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "link/clock.hpp"
#include "receipt/emulator.hpp"
#include "receipt/listeners.hpp"

namespace rastiv {
namespace {

int connectTo(const QString& address) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(quint16(address.section(u':', 1).toUInt()));
    ::inet_pton(AF_INET, "127.0.0.1", &a.sin_addr);
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    return fd;
}

// Lets the socket events in, with real time standing still for the timers.
void letEventsRun() {
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

TEST(ServeClients, ASilentClientIsDroppedWithItsReceiptWrittenAndTheNextServed) {
    QTemporaryDir dir;
    VirtualClock clock;
    Emulator printer({dir.path(), {}, QColor(255, 0, 0)}, clock);
    QString problem;
    ASSERT_TRUE(printer.start(problem));
    QList<QJsonObject> records;
    printer.receiptWritten = [&](const QByteArray& line) { records << QJsonDocument::fromJson(line).object(); };
    TcpPrinterListener tcp;
    tcp.setIdleTimeout(clock, 30);
    ASSERT_TRUE(tcp.listen(QStringLiteral("127.0.0.1"), 0, problem));
    QStringList clients;
    tcp.connected = [&](const QString& client) {
        clients << client;
        printer.connect(client, [&](QByteArrayView answer) { tcp.send(answer); });
    };
    tcp.received = [&](QByteArrayView bytes) { printer.receive(bytes); };
    tcp.disconnected = [&](const QString& why) { printer.disconnect(why); };

    const int silent = connectTo(tcp.address()), next = connectTo(tcp.address());
    ASSERT_EQ(::write(silent, "Held open\n", 10), 10);
    letEventsRun();
    ASSERT_EQ(clients.size(), 1);
    clock.advance(29999);  // silent, but not yet long enough
    letEventsRun();
    EXPECT_EQ(records.size(), 0);
    clock.advance(1);
    letEventsRun();
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(records[0][QStringLiteral("ended")].toString(), QStringLiteral("idle for 30 s"));
    EXPECT_TRUE(records[0][QStringLiteral("notes")].toVariant().toStringList().join(u' ').contains(
        QStringLiteral("idle for 30 s")));
    EXPECT_EQ(clients.size(), 2);  // the one waiting behind it
    char b;
    EXPECT_EQ(::read(silent, &b, 1), 0);  // and the silent one was hung up on
    ::close(silent);
    ::close(next);
}

// A till holds a serial port open for good: silence ends its receipt, and
// it is served again only when it sends again.
TEST(ServeClients, ASilentTerminalHolderEndsItsTurnAndIsServedAgainWhenItSends) {
    VirtualClock clock;
    PtyPrinterListener pty(clock);
    pty.setIdleTimeout(clock, 30);
    QString problem;
    ASSERT_TRUE(pty.open({}, problem)) << problem.toStdString();
    QStringList events;
    pty.connected = [&](const QString&) { events << QStringLiteral("connected"); };
    pty.received = [&](QByteArrayView bytes) { events << bytes.toByteArray(); };
    pty.disconnected = [&](const QString& why) { events << why; };
    const int till = ::open(QFile::encodeName(pty.path()).constData(), O_RDWR | O_NOCTTY);
    ASSERT_GE(till, 0);
    ASSERT_EQ(::write(till, "one", 3), 3);
    clock.advance(100);
    letEventsRun();
    clock.advance(30000);
    clock.advance(1000);  // held open, silent: no new turn
    letEventsRun();
    ASSERT_EQ(::write(till, "two", 3), 3);
    clock.advance(100);
    letEventsRun();
    EXPECT_EQ(events, QStringList({"connected", "one", "idle for 30 s", "connected", "two"}));
    ::close(till);
}

TEST(ServeClients, TheFlashIsWrittenToTheStateFileAtMostOnceASecondAndWhenStopping) {
    QTemporaryDir dir;
    VirtualClock clock;
    const QString state = dir.filePath(QStringLiteral("printer.json"));
    Emulator printer({dir.path(), state, QColor(255, 0, 0)}, clock);
    QString problem;
    ASSERT_TRUE(printer.start(problem));
    const auto stored = [&] {
        QFile f(state);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    printer.connect(QStringLiteral("till"), nullptr);
    for (int i = 0; i < 300; ++i) printer.receive(QByteArray::fromHex("1D81 01FF 1DFF"));  // paper type 1, stored
    EXPECT_FALSE(QFile::exists(state));
    clock.advance(1000);
    const QByteArray first = stored();
    EXPECT_EQ(QJsonDocument::fromJson(first).object()[QStringLiteral("paperType")].toInt(), 1);
    printer.receive(QByteArray::fromHex("1D81 04FF"));  // blue paper: not written within the second
    clock.advance(999);
    EXPECT_EQ(stored(), first);
    printer.stop(QStringLiteral("terminated"));
    EXPECT_EQ(QJsonDocument::fromJson(stored()).object()[QStringLiteral("paperType")].toInt(), 4);
}

}  // namespace
}  // namespace rastiv

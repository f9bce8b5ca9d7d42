// The port backends against a real far end the test holds: the connection it
// accepted on the loopback interface, or the master side of a pseudo-terminal
// (whose terminal settings are never changed: that would rewrite the slave's).
#include <fcntl.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>
#include <atomic>
#include <string>
#include <thread>
#include <type_traits>

#include "link/commlink.hpp"
#include "link/connectiontest.hpp"
#include "link/messages.hpp"
#include "link/tcpport.hpp"
#include "link/termiosport.hpp"
#include "portbench.hpp"

using namespace rastiv;
using rastiv::testing::Listener;

namespace {

struct TcpEnd {
    using Port = TcpPort;
    static constexpr const char* kLostWords = "closed the connection";
    bool open(Port& port, char parity) {
        PortError err;
        if (!port.open({listener.device(), 9600, parity}, err)) return false;
        fd = listener.accept();
        return fd >= 0;
    }
    Listener listener;
    int fd = -1;
};

struct PtyEnd {
    using Port = TermiosPort;
    static constexpr const char* kLostWords = "was lost";
    bool open(Port& port, char parity) {
        PortError err;
        return fd >= 0 && ::grantpt(fd) == 0 && ::unlockpt(fd) == 0 &&
               port.open({QString::fromLocal8Bit(::ptsname(fd)), 9600, parity}, err);
    }
    int fd = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
};

template <typename End>
class FarEnd : public rastiv::testing::PortBench<typename End::Port> {
protected:
    ~FarEnd() override {
        this->port.close();
        if (end.fd >= 0) ::close(end.fd);
    }
    bool open(char parity = 'N') { return end.open(this->port, parity); }
    QByteArray readFar() { return this->readAll(end.fd); }
    End end;
};

struct EndName {
    template <typename End>
    static std::string GetName(int) { return std::is_same_v<End, TcpEnd> ? "Tcp" : "Pty"; }
};
using Ends = ::testing::Types<TcpEnd, PtyEnd>;
TYPED_TEST_SUITE(FarEnd, Ends, EndName);

TYPED_TEST(FarEnd, SentBytesArriveExactlyWithOneTransmitEventPerOutput) {
    ASSERT_TRUE(this->open());
    QByteArray file;  // every byte value, XON and XOFF included: nothing is translated or dropped
    for (int i = 0; i < 10000; ++i) file.append(char((i * 37) & 0xFF));
    QByteArray got;
    int outputs = 0;
    for (qsizetype at = 0; at <= file.size(); at += 50, ++outputs) {  // the last output is empty
        this->port.output(file.mid(at, 50));
        ASSERT_TRUE(this->pumpUntil([&] {
            got += this->readFar();
            return this->transmitEvents == outputs + 1 && this->port.outBufferCount() == 0;
        })) << "output " << outputs;
    }
    ASSERT_TRUE(this->pumpUntil([&] { got += this->readFar(); return got.size() >= file.size(); }));
    EXPECT_EQ(got, file);
    EXPECT_EQ(this->transmitEvents, outputs);
}

TYPED_TEST(FarEnd, RepliesAreInputUntilTakenOrClearedAndTheReadyLinesFollowTheLine) {
    EXPECT_FALSE(this->port.dsrHolding() || this->port.ctsHolding());
    ASSERT_TRUE(this->open('E'));
    // Neither a socket nor a pseudo-terminal has modem lines: an open line counts as ready.
    EXPECT_TRUE(this->port.dsrHolding() && this->port.ctsHolding());
    ASSERT_EQ(::write(this->end.fd, "\x00\x01\x02", 3), 3);
    ASSERT_TRUE(this->pumpUntil([&] { return this->port.inBufferCount() == 3; }));
    EXPECT_EQ(this->port.input(), QByteArray("\x00\x01\x02", 3));
    EXPECT_EQ(this->port.inBufferCount(), 0);
    ASSERT_EQ(::write(this->end.fd, "xyz", 3), 3);
    ASSERT_TRUE(this->pumpUntil([&] { return this->port.inBufferCount() == 3; }));
    this->port.clearInBuffer();
    EXPECT_EQ(this->port.inBufferCount(), 0);
    this->port.close();
    EXPECT_FALSE(this->port.dsrHolding() || this->port.ctsHolding());
}

TYPED_TEST(FarEnd, AFarEndThatGoesAwayIsReportedOnceAndLeavesTheLinesLow) {
    ASSERT_TRUE(this->open());
    ::close(this->end.fd);
    this->end.fd = -1;
    ASSERT_TRUE(this->pumpUntil([&] { return !this->lostErrors.empty(); }));
    this->pumpUntil([] { return false; }, 100);  // a busy loop or a second report would show now
    ASSERT_EQ(this->lostErrors.size(), 1u);
    EXPECT_TRUE(this->lostErrors[0].description.contains(QLatin1String(TypeParam::kLostWords)))
        << this->lostErrors[0].description.toStdString();
    EXPECT_EQ(this->lostErrors[0].cause, QStringLiteral("the printer hung up"));
    EXPECT_FALSE(this->port.portOpen());
    EXPECT_FALSE(this->port.dsrHolding() || this->port.ctsHolding());
    EXPECT_EQ(this->port.outBufferCount(), 0);
    this->port.output("late");  // goes nowhere and raises nothing
    this->pumpUntil([] { return false; }, 20);
    EXPECT_EQ(this->lostErrors.size(), 1u);
}

using Pty = FarEnd<PtyEnd>;
using Tcp = FarEnd<TcpEnd>;

// A command-line tool sends, waits for the line to empty and closes before
// the other side has read: closing must not take back what was sent.
TEST_F(Pty, ClosingAfterTheLastBytesLeftKeepsThemForTheReader) {
    ASSERT_TRUE(open());
    const QByteArray sent("\x1D\x22\x01 logo \x1D\x23\x00", 13);
    const int before = transmitEvents;
    port.output(sent);
    ASSERT_TRUE(pumpUntil([&] { return transmitEvents > before && port.outBufferCount() == 0; }));
    port.close();
    EXPECT_EQ(readFar(), sent);
}

TEST_F(Pty, XoffStallsOutputUntilXonAndAStrayByteDoesNotRestartIt) {
    ASSERT_TRUE(open());
    ASSERT_EQ(::write(end.fd, "\x13", 1), 1);  // XOFF
    // The line discipline takes it on its own work queue: give it ample time
    // on a loaded machine before anything is sent.
    ::usleep(200000);
    QCoreApplication::processEvents();
    const QByteArray data(300, 'D');
    const int before = transmitEvents;
    port.output(data);
    pumpUntil([] { return false; }, 100);
    EXPECT_EQ(readFar(), QByteArray());
    EXPECT_EQ(port.outBufferCount(), 300);
    EXPECT_EQ(transmitEvents, before);

    ASSERT_EQ(::write(end.fd, "A", 1), 1);  // a stray byte: without IXANY output stays stopped
    pumpUntil([] { return false; }, 100);
    EXPECT_EQ(readFar(), QByteArray());
    EXPECT_EQ(port.input(), QByteArray("A"));  // XOFF itself is flow control, not data

    ASSERT_EQ(::write(end.fd, "\x11", 1), 1);  // XON
    QByteArray got;
    ASSERT_TRUE(pumpUntil([&] {
        got += readFar();
        return got.size() == 300 && transmitEvents == before + 1;
    }));
    EXPECT_EQ(got, data);
    EXPECT_EQ(port.outBufferCount(), 0);
}

// The whole sending path over a real device that goes away: the watchdogs run
// in virtual time while the hang-up arrives through the real event loop.
TEST_F(Pty, AHangUpDuringSendingEndsInTheRetryDialog) {
    ASSERT_TRUE(::grantpt(end.fd) == 0 && ::unlockpt(end.fd) == 0);
    struct Boxes : MessageBoxes {
        std::vector<Message> shown;
        MsgResult show(const Message& m) override {
            shown.push_back(m);
            return MsgResult::Cancel;
        }
    } boxes;
    const QString noHelp;
    VirtualClock virtualClock;
    CommLink link(virtualClock, boxes, noHelp);
    auto line = std::make_unique<TermiosPort>(virtualClock);
    PortError err;
    ASSERT_TRUE(line->open({QString::fromLocal8Bit(::ptsname(end.fd)), 9600, 'N'}, err));
    link.setPort(std::move(line));
    link.printerAnswered();
    link.WritePort("\x1B\x76\x0A");
    ASSERT_TRUE(link.SendData("first"));
    ::close(end.fd);
    end.fd = -1;
    EXPECT_FALSE(link.SendData("second"));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_TRUE(boxes.shown[0].text.startsWith("There is a Timeout error sending data to the printer."));
    EXPECT_FALSE(link.printerAnswering());  // the next printer tool asks for the connection again
    EXPECT_FALSE(link.port()->portOpen());
}

TEST_F(Pty, OpenFailuresSayWhatToDo) {
    PortError err;
    EXPECT_FALSE(port.open({"/dev/does-not-exist-rastiv", 9600, 'N'}, err));
    EXPECT_TRUE(err.description.contains("/dev/does-not-exist-rastiv"));
    EXPECT_TRUE(err.description.contains("does not exist"));
    EXPECT_FALSE(port.open({"/dev/null", 9600, 'N'}, err));
    EXPECT_TRUE(err.description.contains("is not a serial device"));

    // A second user of the same device is refused while we hold it.
    ASSERT_TRUE(open());
    TermiosPort other(clock);
    EXPECT_FALSE(other.open({QString::fromLocal8Bit(::ptsname(end.fd)), 9600, 'N'}, err));
    EXPECT_TRUE(err.description.contains("in use")) << err.description.toStdString();

    EXPECT_EQ(describeOpenError("/dev/ttyS0", EACCES).description.contains("log out and log in again"), true);
    EXPECT_EQ(describeOpenError("/dev/ttyS0", EACCES).number, EACCES);
}

TEST_F(Tcp, BytesTheServerHasNotTakenCountAsUnsentAndHoldTheTransmitEvent) {
    ASSERT_TRUE(open());
    // More than the loopback's buffers hold while the server reads nothing.
    const QByteArray big(16 * 1024 * 1024, 'x');
    port.output(big);
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    EXPECT_GT(port.outBufferCount(), 0);
    EXPECT_EQ(transmitEvents, 0);
    qsizetype taken = 0;
    ASSERT_TRUE(pumpUntil([&] { taken += readFar().size(); return transmitEvents == 1; }, 10000));
    taken += readFar().size();
    EXPECT_EQ(taken, big.size());
    EXPECT_EQ(port.outBufferCount(), 0);
}

TEST_F(Tcp, AServerThatResetsDuringAWriteIsNoticed) {
    ASSERT_TRUE(open());
    linger hard{1, 0};  // close with a reset rather than an orderly end
    ::setsockopt(end.fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    ::close(end.fd);
    end.fd = -1;
    ASSERT_TRUE(pumpUntil([&] {
        if (port.portOpen()) port.output(QByteArray(1000, 'y'));
        return !lostErrors.empty();
    }));
    EXPECT_FALSE(port.portOpen());
    EXPECT_EQ(lostErrors[0].cause, QStringLiteral("connection reset by the printer"));
}

// A peer that floods us while it takes what we send, over TCP and over a pseudo-terminal.
TEST_F(Tcp, AFloodingPeerIsReadOnlyAsFarAsAnAnswerNeedsAndTheSendGoesOn) {
    ASSERT_TRUE(open());
    const int pty = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    TermiosPort serial(clock);
    PortError err;
    ASSERT_TRUE(!::grantpt(pty) && !::unlockpt(pty) &&
                serial.open({QString::fromLocal8Bit(::ptsname(pty)), 115200, 'N'}, err));
    for (auto [line, far] : {std::pair<SerialPort*, int>{&port, end.fd}, {&serial, pty}}) {
        std::atomic<bool> stop{false};
        std::atomic<qsizetype> taken{0};
        std::thread flood([&, far = far] {
            const QByteArray noise(4096, 'n');  // no flow-control codes among them
            char buf[4096];
            for (ssize_t n; !stop;)
                if ((void)!::write(far, noise.constData(), 4096), (n = ::read(far, buf, sizeof buf)) > 0) taken += n;
        });
        line->output(QByteArray(1 << 20, 'd'));
        int most = 0;
        EXPECT_TRUE(pumpUntil([&] { return (most = std::max(most, line->inBufferCount())), taken == 1 << 20; }, 10000));
        stop = true;
        flood.join();
        EXPECT_EQ(most, kInputKept);
    }
    ::close(pty);
}

TEST_F(Tcp, ARefusedConnectionFailsCleanly) {
    const QString device = end.listener.device();
    ::close(end.listener.fd);  // nobody listens on that port any more
    end.listener.fd = -1;
    PortError err;
    EXPECT_FALSE(port.open({device, 9600, 'N'}, err));
    EXPECT_EQ(err.number, ECONNREFUSED);
    EXPECT_TRUE(err.description.contains(QStringLiteral("refused"))) << err.description.toStdString();
    EXPECT_FALSE(port.portOpen());
    EXPECT_EQ(port.outBufferCount(), 0);
    EXPECT_EQ(port.inBufferCount(), 0);
}

TEST_F(Tcp, AServerThatNeverAcceptsTimesOutWithinTheLimit) {
    // A listener whose queue is full drops further connection requests, so a
    // connect neither completes nor fails: it waits.
    Listener full(0);
    std::vector<int> queued;
    for (int i = 0; i < 8; ++i) {
        const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(full.port);
        ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
        queued.push_back(s);
    }
    port.setConnectTimeoutMs(300);
    QElapsedTimer t;
    t.start();
    PortError err;
    const bool opened = port.open({full.device(), 9600, 'N'}, err);
    const qint64 took = t.elapsed();
    for (int s : queued) ::close(s);
    if (opened) GTEST_SKIP() << "this kernel accepted beyond the listener's queue";
    EXPECT_EQ(err.number, ETIMEDOUT) << err.description.toStdString();
    EXPECT_GE(took, 250);
    EXPECT_LT(took, 2000);
}

TEST_F(Tcp, TheConnectionTestSeesTheServersReply) {
    const QString noHelp;
    struct NoBoxes : MessageBoxes {
        MsgResult show(const Message&) override { return MsgResult::Cancel; }
    } boxes;
    CommLink link(clock, boxes, noHelp);
    auto line = std::make_unique<TcpPort>(clock);
    PortError err;
    ASSERT_TRUE(line->open({end.listener.device(), 9600, 'N'}, err));
    const int server = end.listener.accept();
    ASSERT_GE(server, 0);
    link.setPort(std::move(line));
    // The server answers the status query as a printer would, once it has
    // all three bytes.
    QByteArray query;
    std::thread printer([&] {
        char buf[16];
        pollfd p{server, POLLIN, 0};
        while (query.size() < 3 && ::poll(&p, 1, 2000) == 1) {
            const ssize_t n = ::read(server, buf, sizeof buf);
            if (n <= 0) break;
            query.append(buf, n);
        }
        (void)!::write(server, "\x00", 1);
    });
    const bool answered = printerAnswers(link, 2000);
    printer.join();
    EXPECT_TRUE(answered);
    EXPECT_EQ(query, kStatusQuery);
    // The query raised the transmit event, so the first send goes at once.
    EXPECT_TRUE(link.SendData("\x1B\x40"));
    ::close(server);
}

struct AddressRow {
    const char* device;
    bool ok;
    const char* host;
    quint16 port;
    const char* problem;  // a part of the reason
};

TEST(TcpAddressTable, ParsesHostAndPortOrSaysWhyNot) {
    const AddressRow rows[] = {
        {"tcp://192.168.1.50:4001", true, "192.168.1.50", 4001, ""},
        {"tcp://printer.shop.lan:9100", true, "printer.shop.lan", 9100, ""},
        {"TCP://host:1", true, "host", 1, ""},
        {"tcp://[::1]:9100", true, "::1", 9100, ""},
        {"tcp://host:65535", true, "host", 65535, ""},
        {"tcp://host:65536", false, "", 0, "1 to 65535"},
        {"tcp://host:0", false, "", 0, "1 to 65535"},
        {"tcp://host:+80", false, "", 0, "1 to 65535"},
        {"tcp://host: 80", false, "", 0, "1 to 65535"},
        {"tcp://host:80/", false, "", 0, "1 to 65535"},
        {"tcp://host", false, "", 0, "no port"},
        {"tcp://:9100", false, "", 0, "host"},
        {"tcp://::1:9100", false, "", 0, "brackets"},
        {"tcp://[::1]9100", false, "", 0, "brackets"},
        {"udp://host:9100", false, "", 0, "tcp://"},
    };
    for (const AddressRow& r : rows) {
        TcpAddress a;
        QString problem;
        const bool ok = parseTcpAddress(QString::fromLatin1(r.device), a, problem);
        EXPECT_EQ(ok, r.ok) << r.device << ": " << problem.toStdString();
        if (r.ok) {
            EXPECT_EQ(a.host, QString::fromLatin1(r.host)) << r.device;
            EXPECT_EQ(a.port, r.port) << r.device;
        } else {
            EXPECT_TRUE(problem.contains(QString::fromLatin1(r.problem))) << r.device << ": " << problem.toStdString();
        }
    }
}

}  // namespace

// The TCP backend against a listener of the test's own on the loopback
// interface: the test accepts the connection and plays the device server.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>
#include <atomic>
#include <thread>

#include "link/clock.hpp"
#include "link/messages.hpp"
#include "link/commlink.hpp"
#include "link/connectiontest.hpp"
#include "link/tcpport.hpp"
#include "link/termiosport.hpp"
#include "portbench.hpp"

using namespace rastiv;

namespace {

using rastiv::testing::Listener;

class Tcp : public rastiv::testing::PortBench<TcpPort> {
protected:
    void TearDown() override {
        port.close();
        if (peer >= 0) ::close(peer);
    }
    bool connectPort() {
        PortError err;
        if (!port.open({listener.device(), 9600, 'N'}, err)) {
            ADD_FAILURE() << err.description.toStdString();
            return false;
        }
        peer = listener.accept();
        return peer >= 0;
    }
    QByteArray readPeer() { return readAll(peer); }

    Listener listener;
    int peer = -1;
};

TEST_F(Tcp, BytesTheServerHasNotTakenCountAsUnsentAndHoldTheTransmitEvent) {
    ASSERT_TRUE(connectPort());
    // More than the loopback's buffers hold while the server reads nothing.
    const QByteArray big(16 * 1024 * 1024, 'x');
    port.output(big);
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    EXPECT_GT(port.outBufferCount(), 0);
    EXPECT_EQ(transmitEvents, 0);
    qsizetype taken = 0;
    ASSERT_TRUE(pumpUntil([&] { taken += readPeer().size(); return transmitEvents == 1; }, 10000));
    taken += readPeer().size();
    EXPECT_EQ(taken, big.size());
    EXPECT_EQ(port.outBufferCount(), 0);
}

TEST_F(Tcp, AServerThatResetsDuringAWriteIsNoticed) {
    ASSERT_TRUE(connectPort());
    linger hard{1, 0};  // close with a reset rather than an orderly end
    ::setsockopt(peer, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    ::close(peer);
    peer = -1;
    ASSERT_TRUE(pumpUntil([&] {
        if (port.portOpen()) port.output(QByteArray(1000, 'y'));
        return !lostErrors.empty();
    }));
    EXPECT_FALSE(port.portOpen());
    EXPECT_EQ(lostErrors[0].cause, QStringLiteral("connection reset by the printer"));
}

// A peer that floods us while it takes what we send, over TCP and over a pseudo-terminal.
TEST_F(Tcp, AFloodingPeerIsReadOnlyAsFarAsAnAnswerNeedsAndTheSendGoesOn) {
    ASSERT_TRUE(connectPort());
    const int pty = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    TermiosPort serial(clock);
    PortError err;
    ASSERT_TRUE(!::grantpt(pty) && !::unlockpt(pty) &&
                serial.open({QString::fromLocal8Bit(::ptsname(pty)), 115200, 'N'}, err));
    for (auto [line, far] : {std::pair<SerialPort*, int>{&port, peer}, {&serial, pty}}) {
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
    const QString device = listener.device();
    ::close(listener.fd);  // nobody listens on that port any more
    listener.fd = -1;
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
    ASSERT_TRUE(line->open({listener.device(), 9600, 'N'}, err));
    const int server = listener.accept();
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

// What both port backends do alike, each against a real far end the test
// holds: the connection it accepted on the loopback interface, or the master
// side of a pseudo-terminal (whose terminal settings are never changed: that
// would rewrite the slave's).
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <QCoreApplication>
#include <gtest/gtest.h>
#include <string>
#include <type_traits>

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

}  // namespace

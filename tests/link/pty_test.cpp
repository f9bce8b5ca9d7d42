// The termios backend over a pseudo-terminal pair: the test holds the master
// side and plays the printer.  The master's terminal settings are never
// changed (that would rewrite the slave's).
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <QCoreApplication>
#include <gtest/gtest.h>

#include "link/clock.hpp"
#include "link/messages.hpp"
#include "link/commlink.hpp"
#include "link/termiosport.hpp"
#include "portbench.hpp"

using namespace rastiv;

namespace {

class Pty : public rastiv::testing::PortBench<TermiosPort> {
protected:
    void SetUp() override {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(master, 0);
        ASSERT_EQ(::grantpt(master), 0);
        ASSERT_EQ(::unlockpt(master), 0);
        slave = QString::fromLocal8Bit(::ptsname(master));
    }
    void TearDown() override {
        port.close();
        if (master >= 0) ::close(master);
    }

    bool openPort(int baud = 115200, char parity = 'N') {
        PortError err;
        bool ok = port.open({slave, baud, parity}, err);
        if (!ok) ADD_FAILURE() << err.description.toStdString();
        return ok;
    }
    QByteArray readMaster() { return readAll(master); }
    void writeMaster(QByteArray bytes) { ASSERT_EQ(::write(master, bytes.constData(), bytes.size()), bytes.size()); }

    int master = -1;
    QString slave;
};

// A command-line tool sends, waits for the line to empty and closes before
// the other side has read: closing must not take back what was sent.
TEST_F(Pty, ClosingAfterTheLastBytesLeftKeepsThemForTheReader) {
    ASSERT_TRUE(openPort());
    const QByteArray sent("\x1D\x22\x01 logo \x1D\x23\x00", 13);
    const int before = transmitEvents;
    port.output(sent);
    ASSERT_TRUE(pumpUntil([&] { return transmitEvents > before && port.outBufferCount() == 0; }));
    port.close();
    EXPECT_EQ(readMaster(), sent);
}

TEST_F(Pty, XoffStallsOutputUntilXonAndAStrayByteDoesNotRestartIt) {
    ASSERT_TRUE(openPort());
    writeMaster("\x13");  // XOFF
    // The line discipline takes it on its own work queue: give it ample time
    // on a loaded machine before anything is sent.
    ::usleep(200000);
    QCoreApplication::processEvents();
    const QByteArray data(300, 'D');
    const int before = transmitEvents;
    port.output(data);
    pumpUntil([] { return false; }, 100);
    EXPECT_EQ(readMaster(), QByteArray());
    EXPECT_EQ(port.outBufferCount(), 300);
    EXPECT_EQ(transmitEvents, before);

    writeMaster("A");  // a stray byte: without IXANY output stays stopped
    pumpUntil([] { return false; }, 100);
    EXPECT_EQ(readMaster(), QByteArray());
    EXPECT_EQ(port.input(), QByteArray("A"));  // XOFF itself is flow control, not data

    writeMaster("\x11");  // XON
    QByteArray got;
    ASSERT_TRUE(pumpUntil([&] {
        got += readMaster();
        return got.size() == 300 && transmitEvents == before + 1;
    }));
    EXPECT_EQ(got, data);
    EXPECT_EQ(port.outBufferCount(), 0);
}

// The whole sending path over a real device that goes away: the watchdogs run
// in virtual time while the hang-up arrives through the real event loop.
TEST(PtyLink, AHangUpDuringSendingEndsInTheRetryDialog) {
    int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    struct Boxes : MessageBoxes {
        std::vector<Message> shown;
        MsgResult show(const Message& m) override {
            shown.push_back(m);
            return MsgResult::Cancel;
        }
    } boxes;
    const QString noHelp;
    VirtualClock clock;
    CommLink link(clock, boxes, noHelp);
    auto port = std::make_unique<TermiosPort>(clock);
    PortError err;
    ASSERT_TRUE(port->open({QString::fromLocal8Bit(::ptsname(master)), 9600, 'N'}, err));
    link.setPort(std::move(port));
    link.printerAnswered();
    link.WritePort("\x1B\x76\x0A");
    ASSERT_TRUE(link.SendData("first"));
    ::close(master);
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
    ASSERT_TRUE(openPort());
    TermiosPort other(clock);
    EXPECT_FALSE(other.open({slave, 9600, 'N'}, err));
    EXPECT_TRUE(err.description.contains("in use")) << err.description.toStdString();

    EXPECT_EQ(describeOpenError("/dev/ttyS0", EACCES).description.contains("log out and log in again"), true);
    EXPECT_EQ(describeOpenError("/dev/ttyS0", EACCES).number, EACCES);
}

}  // namespace

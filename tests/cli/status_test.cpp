// The status check in virtual time: a line with nobody on it stays silent for
// the whole wait, and the wait costs no real seconds.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QTextStream>
#include <gtest/gtest.h>

#include "link/clock.hpp"
#include "cli/cli.hpp"
#include "link/serialport.hpp"

using namespace rastiv;

namespace {

struct Captured {
    QString out, err;
    QTextStream outStream{&out}, errStream{&err};
    cli::Streams streams() { return {outStream, errStream}; }
};

TEST(Status, ASilentLineIsReportedAfterTheWholeWait) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const QString slave = QString::fromLocal8Bit(::ptsname(master));
    VirtualClock clock;
    Captured io;
    QElapsedTimer real;
    real.start();
    EXPECT_EQ(cli::checkStatus(slave, {slave, 9600, 'N'}, 5000, clock, io.streams()), cli::kExitFailed);
    ::close(master);
    io.errStream.flush();
    EXPECT_TRUE(io.err.contains(QStringLiteral("did not answer within 5000 ms"))) << io.err.toStdString();
    EXPECT_GE(clock.nowMs(), 5000);
    EXPECT_LT(real.elapsed(), 4000);  // virtual seconds, not real ones
}

}  // namespace

// A pseudo-terminal whose far end is read as it arrives, as a printer would:
// the near end's name goes to the code under test as its serial device.
#pragma once

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <QByteArray>
#include <QString>
#include <thread>

namespace testing_support {

class PtyReader {
public:
    PtyReader() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        ::grantpt(master_);
        ::unlockpt(master_);
        name_ = QString::fromLocal8Bit(::ptsname(master_));
        slave_ = ::open(::ptsname(master_), O_RDWR | O_NOCTTY | O_CLOEXEC);
        reader_ = std::thread([this] {
            char buf[4096];
            for (;;) {
                const ssize_t n = ::read(master_, buf, sizeof buf);
                if (n < 0 && errno == EINTR) continue;
                // EIO once no one holds the slave side and every byte written
                // to it has been read.
                if (n <= 0) break;
                received_.append(buf, n);
            }
        });
    }
    ~PtyReader() {
        finish();
        ::close(master_);
    }
    const QString& name() const { return name_; }
    // All that arrived, once the tool has let its end go: the test lets its
    // own end go too, and the reader stops after the last byte.
    QByteArray received() {
        finish();
        return received_;
    }

private:
    void finish() {
        if (slave_ >= 0) ::close(slave_);
        slave_ = -1;
        if (reader_.joinable()) reader_.join();
    }
    int master_ = -1, slave_ = -1;
    QString name_;
    QByteArray received_;
    std::thread reader_;
};

}  // namespace testing_support

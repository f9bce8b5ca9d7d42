// The feature sequences over a real pseudo-terminal whose other end (the "printer") reads slowly, so that what the
// program has handed over is still sitting in the line's buffer when the next step of a sequence runs.  Only a real
// line shows whether a step can take back bytes already sent: the virtual printer receives each write at once.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <QWidget>
#include <atomic>
#include <mutex>
#include <thread>
#include <gtest/gtest.h>

#include "fakes.hpp"
#include "ui/printer/frmPrint.hpp"
#include "ui/printer/logocommon.hpp"
#include "link/termiosport.hpp"

using namespace rastiv;
using namespace rastiv::testing;

namespace {

// The printer's end of the line: reads a few bytes at a time with pauses, like a busy printer behind a slow adapter.
class SlowPrinter {
public:
    SlowPrinter() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
        device_ = QString::fromLocal8Bit(::ptsname(master_));
        reader_ = std::thread([this] {
            char buf[7];
            while (!stop_) {
                pollfd p{master_, POLLIN, 0};
                if (::poll(&p, 1, 5) <= 0) continue;
                if (const ssize_t n = ::read(master_, buf, sizeof buf); n > 0) {
                    std::lock_guard lock(mutex_);
                    received_.append(buf, n);
                    count_ = received_.size();
                }
                ::usleep(300);
            }
        });
    }
    ~SlowPrinter() {
        stop_ = true;
        if (reader_.joinable()) reader_.join();
        if (master_ >= 0) ::close(master_);
    }
    const QString& device() const { return device_; }
    bool ok() const { return !device_.isEmpty(); }

    // Everything received once the expected count arrived, or after two seconds.
    QByteArray receivedWhenQuiet(qsizetype expected) {
        for (int i = 0; i < 2000 && count_ < expected; ++i) ::usleep(1000);
        std::lock_guard lock(mutex_);
        return received_;
    }

private:
    int master_ = -1;
    QString device_;
    std::thread reader_;
    std::atomic<bool> stop_{false};
    std::atomic<qsizetype> count_{0};
    std::mutex mutex_;
    QByteArray received_;
};

const QByteArray kStatusQuery("\x1B\x76\x0A", 3);

// The world's link on the termios backend, to the slow printer.  Virtual time moves a millisecond a poll, so the
// flash-write pauses cost little real time while the bytes still take their real time through the line.
struct Wire : ::testing::Test, SlowPrinter, World {  // the printer's end outlives the line
    void SetUp() override {
        ASSERT_TRUE(ok());
        clock.setPumpStep(1);
        auto port = std::make_unique<TermiosPort>(clock);
        PortError err;
        ASSERT_TRUE(port->open({device(), 115200, 'N'}, err));
        link.setPort(std::move(port));
        link.printerAnswered();
        link.WritePort(kStatusQuery);  // as the connection test leaves the line
    }
    // Virtual time runs ahead of the real line, so a five-second wait can run out while the slow reader still holds
    // the line full; the retry dialog is answered OK, as an operator would, and the sending goes on.  Anything else
    // shown is a failure of the sequence.
    void expectReceivedWithOnlyRetries(const QByteArray& expected) {
        const QByteArray got = receivedWhenQuiet(expected.size());
        ASSERT_EQ(got.size(), expected.size());
        EXPECT_TRUE(got == expected) << "the first difference is at byte "
                                     << std::mismatch(got.begin(), got.end(), expected.begin()).first - got.begin();
        for (const Message& m : messages.shown)
            EXPECT_EQ(m.title, QStringLiteral("Communication Error")) << m.text.toStdString();
    }
};

QByteArray logoFile(uint8_t kind, uint8_t x, uint8_t y) {
    QByteArray f = QByteArray("\x1D\x84", 2) + char(kind) + char(x) + char(y);
    for (int i = 0; i < x * y * 8 * kind; ++i) f += char((i * 29 + 3) & 0xFF);
    return f;
}

TEST_F(Wire, EveryDownloadDeliversItsLogoNumberAndTheWholeFile) {
    const QByteArray file = logoFile(2, 4, 3);  // 197 bytes: four pieces and a short one
    const QString path = this->path("in/logo.lgo");
    testing_support::writeFile(path.toStdString(), testing_support::ByteVec(file.begin(), file.end()));
    QWidget dialog;
    QByteArray expected = kStatusQuery;
    for (int n = 1; n <= 50; ++n) {
        BusyDialog busy(&dialog, env);
        ASSERT_TRUE(downloadLogo(env, path, busy, uint8_t(n), 12)) << "download " << n;
        expected += logocmd::kBeginDownload + logocmd::selectLogo(uint8_t(n)) + file + logocmd::kDeselect;
    }
    expectReceivedWithOnlyRetries(expected);
}

TEST_F(Wire, APrintRightAfterTheStatusQueryKeepsBoth) {
    workingBitmap(200, 24);
    RecordingWorkflow main(picture);
    frmPrint dialog(env, picture, main);
    QByteArray expected;
    for (int run = 0; run < 50; ++run) {
        if (run > 0) link.WritePort(kStatusQuery);  // connecting again sends it straight to the port
        expected += kStatusQuery;
        dialog.cmdSendBMP_Click();
        QFile gfx(env.workPath("tmpfile.gfx"));
        ASSERT_TRUE(gfx.open(QIODevice::ReadOnly));
        expected += gfx.readAll() + QByteArray("\x1B\x4A\xFF\x19", 4);
    }
    expectReceivedWithOnlyRetries(expected);
}

}  // namespace

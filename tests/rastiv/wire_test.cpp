// The feature sequences over a real pseudo-terminal whose other end (the
// "printer") reads slowly, so that what the program has handed over is still
// sitting in the line's buffer when the next step of a sequence runs.  Only a
// real line shows whether a step can take back bytes already sent: the
// virtual printer receives each write at once.
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

// The printer's end of the line: reads a few bytes at a time with pauses,
// like a busy printer behind a slow adapter.
class SlowPrinter {
public:
    SlowPrinter() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
        device_ = QString::fromLocal8Bit(::ptsname(master_));
        reader_ = std::thread([this] { read(); });
    }
    ~SlowPrinter() {
        stop_ = true;
        if (reader_.joinable()) reader_.join();
        if (master_ >= 0) ::close(master_);
    }
    const QString& device() const { return device_; }
    bool ok() const { return !device_.isEmpty(); }

    // Everything received once the line has been quiet for a moment.
    QByteArray receivedWhenQuiet(qsizetype expected) {
        for (int i = 0; i < 2000; ++i) {
            {
                std::lock_guard lock(mutex_);
                if (received_.size() >= expected) return received_;
            }
            ::usleep(1000);
        }
        std::lock_guard lock(mutex_);
        return received_;
    }
    void clear() {
        std::lock_guard lock(mutex_);
        received_.clear();
    }

private:
    void read() {
        char buf[7];
        while (!stop_) {
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, 5) <= 0) continue;
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n > 0) {
                std::lock_guard lock(mutex_);
                received_.append(buf, n);
            }
            ::usleep(300);
        }
    }

    int master_ = -1;
    QString device_;
    std::thread reader_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    QByteArray received_;
};

const QByteArray kStatusQuery("\x1B\x76\x0A", 3);

// The world's link on the termios backend.  Virtual time moves a millisecond
// a poll, so the flash-write pauses cost little real time while the bytes
// still take their real time through the line.
struct WireWorld : World {
    explicit WireWorld(const QString& device) {
        clock.setPumpStep(1);
        auto port = std::make_unique<TermiosPort>(clock);
        PortError err;
        opened = port->open({device, 115200, 'N'}, err);
        link.setPort(std::move(port));
        link.printerAnswered();
        link.WritePort(kStatusQuery);  // as the connection test leaves the line
    }
    bool opened = false;
};

QByteArray logoFile(uint8_t kind, uint8_t x, uint8_t y) {
    QByteArray f("\x1D\x84", 2);
    f += char(kind);
    f += char(x);
    f += char(y);
    for (int i = 0; i < x * y * 8 * kind; ++i) f += char((i * 29 + 3) & 0xFF);
    return f;
}

// Virtual time runs ahead of the real line, so a five-second wait can run
// out while a slow reader still holds the line full; the retry dialog is
// answered OK, as an operator would, and the sending goes on.  Anything else
// shown is a failure of the sequence.
void expectOnlyRetries(const ScriptedMessages& messages) {
    for (const Message& m : messages.shown)
        EXPECT_EQ(m.title, QStringLiteral("Communication Error")) << m.text.toStdString();
}

TEST(Wire, EveryDownloadDeliversItsLogoNumberAndTheWholeFile) {
    SlowPrinter printer;
    ASSERT_TRUE(printer.ok());
    WireWorld w(printer.device());
    ASSERT_TRUE(w.opened);
    const QByteArray file = logoFile(2, 4, 3);  // 197 bytes: four pieces and a short one
    const QString path = w.path("in/logo.lgo");
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(file);
    }
    QWidget dialog;
    QByteArray expected = kStatusQuery;
    for (int n = 1; n <= 50; ++n) {
        BusyDialog busy(&dialog, w.env);
        ASSERT_TRUE(downloadLogo(w.env, path, busy, uint8_t(n), 12)) << "download " << n;
        expected += logocmd::kBeginDownload + logocmd::selectLogo(uint8_t(n)) + file + logocmd::kDeselect;
    }
    const QByteArray got = printer.receivedWhenQuiet(expected.size());
    ASSERT_EQ(got.size(), expected.size());
    EXPECT_TRUE(got == expected) << "the first difference is at byte "
                                 << std::mismatch(got.begin(), got.end(), expected.begin()).first - got.begin();
    expectOnlyRetries(w.messages);
}

TEST(Wire, APrintRightAfterTheStatusQueryKeepsBoth) {
    SlowPrinter printer;
    ASSERT_TRUE(printer.ok());
    WireWorld w(printer.device());
    ASSERT_TRUE(w.opened);
    w.workingBitmap(200, 24);
    RecordingWorkflow main(w.picture);
    frmPrint dialog(w.env, w.picture, main);
    QByteArray expected = kStatusQuery;
    for (int run = 0; run < 50; ++run) {
        if (run > 0) {
            // Connecting again sends the status query straight to the port.
            w.link.WritePort(kStatusQuery);
            expected += kStatusQuery;
        }
        dialog.cmdSendBMP_Click();
        QFile gfx(w.env.workPath("tmpfile.gfx"));
        ASSERT_TRUE(gfx.open(QIODevice::ReadOnly));
        expected += gfx.readAll() + QByteArray("\x1B\x4A\xFF\x19", 4);
    }
    const QByteArray got = printer.receivedWhenQuiet(expected.size());
    ASSERT_EQ(got.size(), expected.size());
    EXPECT_TRUE(got == expected);
    expectOnlyRetries(w.messages);
}

}  // namespace

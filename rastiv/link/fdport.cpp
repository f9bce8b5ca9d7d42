#include "link/fdport.hpp"

#include <unistd.h>

#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <climits>

#include "link/clock.hpp"

namespace rastiv {

FdPort::FdPort(Clock& clock) : drainTimer_(clock.createTimer()) {
    drainTimer_->onTimer = [this] {
        drainTimer_->setEnabled(false);
        drainCheck();
    };
}

FdPort::~FdPort() = default;

void FdPort::setRecheckMs(int ms) { recheckMs_ = ms; }

int FdPort::recheckMs(int) const { return recheckMs_; }

void FdPort::adopt(int fd) {
    fd_ = fd;
    readNotifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    connect(readNotifier_.get(), &QSocketNotifier::activated, this, [this] { readAvailable(); });
    writeNotifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Write);
    writeNotifier_->setEnabled(false);
    connect(writeNotifier_.get(), &QSocketNotifier::activated, this, [this] { writeQueued(); });
}

void FdPort::close() {
    drainTimer_->setEnabled(false);
    // close() may run inside a notifier's own signal (a hang-up seen while
    // reading): disable now, delete once the signal has returned.
    for (auto* n : {&readNotifier_, &writeNotifier_}) {
        if (*n) {
            (*n)->setEnabled(false);
            n->release()->deleteLater();
        }
    }
    if (fd_ >= 0) {
        beforeClose();
        ::close(fd_);
        fd_ = -1;
    }
    in_.clear();
    out_.clear();
    awaitingEmpty_ = false;
}

void FdPort::output(const QByteArray& bytes) {
    if (fd_ < 0) return;
    out_.append(bytes);
    awaitingEmpty_ = true;
    writeQueued();
}

void FdPort::writeQueued() {
    while (fd_ >= 0 && !out_.isEmpty()) {
        const ssize_t n = writeSome(out_.constData(), size_t(out_.size()));
        if (n > 0) {
            out_.remove(0, qsizetype(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        // The driver is full, the printer holds XOFF or the server takes no more for now.
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        fail(n < 0 ? errno : EIO);
        return;
    }
    if (fd_ < 0) return;
    writeNotifier_->setEnabled(!out_.isEmpty());
    if (out_.isEmpty() && awaitingEmpty_) drainCheck();
}

void FdPort::drainCheck() {
    if (fd_ < 0 || !awaitingEmpty_ || !out_.isEmpty()) return;
    const int queued = kernelQueue();
    if (queued == 0 && lineEmpty()) {
        awaitingEmpty_ = false;
        // Delivered while events are processed, like any other line event.
        QMetaObject::invokeMethod(this, [this] { emit transmitEvent(); }, Qt::QueuedConnection);
        return;
    }
    drainTimer_->setInterval(recheckMs(queued));
    drainTimer_->setEnabled(true);
}

bool FdPort::readAvailable() {
    // What is left unread now is read on the next round of the event loop.
    constexpr int kReadsPerCall = 16;
    char buf[4096];
    for (int reads = 0; reads < kReadsPerCall;) {
        const ssize_t n = readSome(buf, sizeof buf);
        if (n > 0) {
            ++reads;
            // Beyond what an answer needs the bytes are read only to be
            // dropped: left unread, they would wake the read notifier for ever.
            const qsizetype room = kInputKept - in_.size();
            if (room > 0) in_.append(buf, std::min<qsizetype>(room, n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
        fail(n < 0 ? errno : 0);
        return false;
    }
    return true;
}

void FdPort::fail(int err) {
    const PortError why = lostError(err);
    close();
    QMetaObject::invokeMethod(this, [this, why] { emit lost(why); }, Qt::QueuedConnection);
}

QByteArray FdPort::input() {
    if (fd_ >= 0) readAvailable();
    QByteArray taken;
    taken.swap(in_);
    return taken;
}

int FdPort::inBufferCount() {
    if (fd_ < 0) return 0;
    readAvailable();
    return int(std::min<qsizetype>(in_.size(), INT_MAX));
}

int FdPort::outBufferCount() {
    if (fd_ < 0) return 0;
    return int(std::min<long long>(out_.size() + kernelQueue(), INT_MAX));
}

int FdPort::undeliveredCount() {
    if (fd_ < 0) return 0;
    // A byte still in the shift register counts as one.
    const long long n = out_.size() + unconfirmedQueue() + (lineEmpty() ? 0 : 1);
    return int(std::min<long long>(n, INT_MAX));
}

}  // namespace rastiv

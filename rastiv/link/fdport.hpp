// What the termios and TCP backends share: a non-blocking descriptor read
// and written through socket notifiers, our own output queue in front of
// the kernel's, and the transmit event once both have emptied.
#pragma once

#include <QByteArray>
#include <memory>
#include <sys/types.h>

#include "link/serialport.hpp"

class QSocketNotifier;

namespace rastiv {

class Clock;
class Timer;

class FdPort : public SerialPort {
    Q_OBJECT
public:
    ~FdPort() override;

    void close() override;
    bool portOpen() const override { return fd_ >= 0; }
    void output(const QByteArray& bytes) override;
    QByteArray input() override;
    int inBufferCount() override;
    int outBufferCount() override;
    int undeliveredCount() override;

protected:
    explicit FdPort(Clock& clock);

    // Takes an open, non-blocking descriptor and starts watching it.
    void adopt(int fd);
    int fd() const { return fd_; }
    // Reads what has arrived into the input buffer, keeping at most
    // kInputKept bytes; false once the line is gone (it is closed then, and
    // lost() is on its way).  Reads a bounded amount per call, so that a
    // peer that never stops sending cannot hold the event loop (and with it
    // our own output) inside this call.
    bool readAvailable();
    void discardInput() { in_.clear(); }
    // The drain check looks again after this long while bytes are queued.
    void setRecheckMs(int ms);

    // The backend's own calls.
    virtual ssize_t writeSome(const char* data, size_t size) = 0;
    virtual ssize_t readSome(char* data, size_t size) = 0;
    // Bytes handed to the kernel and not yet on the line.
    virtual int kernelQueue() const = 0;
    // Bytes handed to the kernel that the far end has not yet confirmed.
    virtual int unconfirmedQueue() const { return kernelQueue(); }
    // Whether the last byte has left the hardware as well (a UART's shift register).
    virtual bool lineEmpty() const { return true; }
    // Why the line was lost: errno `err`, or 0 when the other end closed it.
    virtual PortError lostError(int err) const = 0;
    // Runs just before the descriptor is closed.
    virtual void beforeClose() {}
    // Lets the drain check choose its delay from what is still queued.
    virtual int recheckMs(int queued) const;

private:
    void writeQueued();
    void drainCheck();
    void fail(int err);

    int fd_ = -1;
    int recheckMs_ = 0;
    QByteArray in_;
    QByteArray out_;
    bool awaitingEmpty_ = false;  // an output has not yet been followed by its transmit event
    std::unique_ptr<QSocketNotifier> readNotifier_;
    std::unique_ptr<QSocketNotifier> writeNotifier_;
    std::unique_ptr<Timer> drainTimer_;
};

}  // namespace rastiv

// A real serial device through termios: non-blocking and exclusive, raw
// 8 data bits, 1 stop bit, the chosen parity, XON/XOFF without IXANY (so a
// stray byte from the printer does not restart output it has stopped).
#pragma once

#include <QByteArray>
#include <memory>

#include "link/serialport.hpp"

class QSocketNotifier;

namespace rastiv {

class Clock;
class Timer;

class TermiosPort final : public SerialPort {
    Q_OBJECT
public:
    explicit TermiosPort(Clock& clock);
    ~TermiosPort() override;

    bool open(const PortSettings& settings, PortError& error) override;
    void close() override;
    bool portOpen() const override { return fd_ >= 0; }

    void output(const QByteArray& bytes) override;
    QByteArray input() override;
    int inBufferCount() override;
    void clearInBuffer() override;
    int outBufferCount() override;
    bool dsrHolding() override;
    bool ctsHolding() override;

private:
    void readAvailable();
    void writeQueued();
    void scheduleDrainCheck();
    void drainCheck();
    void raiseTransmitEvent();
    void fail(int err);
    int driverQueue() const;
    bool transmitterEmpty() const;
    bool modemLine(int bit);

    Clock& clock_;
    int fd_ = -1;
    int baud_ = 9600;
    int bitsPerChar_ = 10;
    QByteArray in_;
    QByteArray out_;
    bool awaitingEmpty_ = false;  // an output has not yet been followed by its transmit event
    std::unique_ptr<QSocketNotifier> readNotifier_;
    std::unique_ptr<QSocketNotifier> writeNotifier_;
    std::unique_ptr<Timer> drainTimer_;
};

// Words an operator can act on for a failure to open `device` (errno `err`).
PortError describeOpenError(const QString& device, int err);

}  // namespace rastiv

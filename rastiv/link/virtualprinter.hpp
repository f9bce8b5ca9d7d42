// An in-process printer on a virtual line, so that every printer feature can
// be tried (and tested) without hardware.  On the wire it behaves as far as
// the program needs: it answers the status queries, drops its ready lines (CTS
// and DSR) while it writes its flash, acknowledges an erase, takes the
// transmission time its baud rate gives, and keeps every byte it received.
#pragma once

#include <QByteArray>
#include <QList>
#include <memory>

#include "link/printercommands.hpp"
#include "link/serialport.hpp"

namespace rastiv {

class Clock;
class Timer;

// What the printer answers to a command, as its record's answer column says
// (empty for the rest).
QByteArray printerAnswer(const Unit& u);

// The device name that stands for the virtual printer in the port settings.
inline constexpr const char* kVirtualPrinterDevice = "virtual";

class VirtualPrinter final : public SerialPort {
    Q_OBJECT
public:
    explicit VirtualPrinter(Clock& clock);
    ~VirtualPrinter() override;

    bool open(const PortSettings& settings, PortError& error) override;
    void close() override;
    bool portOpen() const override { return open_; }
    void output(const QByteArray& bytes) override;
    QByteArray input() override;
    int inBufferCount() override { return open_ ? static_cast<int>(in_.size()) : 0; }
    void clearInBuffer() override { in_.clear(); }
    int outBufferCount() override { return open_ ? static_cast<int>(pending_) : 0; }
    bool dsrHolding() override { return open_ && powered_ && !busy_; }
    bool ctsHolding() override { return open_ && powered_ && !busy_; }

    // For tests and the curious: every byte the printer has received.
    const QByteArray& received() const { return received_; }
    // Every output as it was handed to the line, one entry per write, empty
    // writes included (a file streamed in pieces shows its pieces here).
    const QList<QByteArray>& writes() const { return writes_; }
    void clearReceived() {
        received_.clear();
        writes_.clear();
    }
    // A switched-off printer neither answers nor raises its ready lines.
    void setPowered(bool on) { powered_ = on; }
    // How long a flash write keeps the ready lines low (ms).
    void setFlashBusyMs(int ms) { flashBusyMs_ = ms; }
    // How long the printer takes to answer a query (ms).
    void setReplyDelayMs(int ms) { replyDelayMs_ = ms; }
    // A printer that erases its flash without saying so.
    void setAcknowledgesErase(bool on) { acknowledgesErase_ = on; }
    // How many flash writes the printer has started: a command whose
    // parameters were taken for commands shows here as one too many or few.
    int flashWrites() const { return flashWrites_; }

signals:
    // Bytes the printer has taken in, as they arrived (a printer that is
    // switched off takes nothing): what it prints is made of these.
    void bytesReceived(const QByteArray& bytes);

private:
    void transmitted();
    void obey(const Unit& unit);
    void reply(char byte);
    void startFlashWrite(bool acknowledge);

    Clock& clock_;
    bool open_ = false;
    bool powered_ = true;
    bool busy_ = false;
    bool ackAfterBusy_ = false;
    int baud_ = 9600;
    int flashBusyMs_ = 2500;
    int replyDelayMs_ = 20;
    qsizetype pending_ = 0;  // bytes "on the line", not yet transmitted
    QByteArray in_;
    QByteArray received_;
    QList<QByteArray> writes_;
    bool acknowledgesErase_ = true;
    int flashWrites_ = 0;
    CommandSplitter commands_;
    std::unique_ptr<Timer> lineTimer_;
    std::unique_ptr<Timer> replyTimer_;
    std::unique_ptr<Timer> busyTimer_;
    QByteArray replies_;
};

}  // namespace rastiv

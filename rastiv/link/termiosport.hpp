// A real serial device through termios: non-blocking and exclusive, raw
// 8 data bits, 1 stop bit, the chosen parity, XON/XOFF without IXANY (so a
// stray byte from the printer does not restart output it has stopped).
#pragma once

#include <sys/ioctl.h>

#include <cerrno>

#include "link/fdport.hpp"

namespace rastiv {

class TermiosPort final : public FdPort {
    Q_OBJECT
public:
    explicit TermiosPort(Clock& clock);
    ~TermiosPort() override;

    bool open(const PortSettings& settings, PortError& error) override;
    void clearInBuffer() override;
    bool dsrHolding() override { return modemLine(TIOCM_DSR); }
    bool ctsHolding() override { return modemLine(TIOCM_CTS); }

private:
    ssize_t writeSome(const char* data, size_t size) override;
    ssize_t readSome(char* data, size_t size) override;
    int kernelQueue() const override;
    bool lineEmpty() const override;
    PortError lostError(int err) const override;
    void beforeClose() override;
    int recheckMs(int queued) const override;
    bool modemLine(int bit);

    int baud_ = 9600;
    int bitsPerChar_ = 10;
};

// Words an operator can act on for a failure to open `device` (errno `err`).
PortError describeOpenError(const QString& device, int err);

}  // namespace rastiv

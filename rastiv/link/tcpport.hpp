// A printer behind a serial device server, reached as raw bytes over TCP
// ("tcp://HOST:PORT").  The server does the serial line's framing and flow
// control; what reaches us is the byte stream, so:
//   - there are no modem lines: like a pseudo-terminal in the termios
//     backend, the printer counts as ready (DSR and CTS high) while the
//     connection is up, and not ready once it is down;
//   - outBufferCount() is our own queue plus what the kernel has not yet
//     sent (SIOCOUTQNSD): bytes on their way over the network are the
//     server's to deliver, as bytes in a UART's shift register are the line's;
//   - undeliveredCount() also counts bytes sent and not yet acknowledged
//     (SIOCOUTQ): an acknowledgement is the most TCP says about delivery;
//   - a peer that closes or resets the connection is a lost line (lost()),
//     like an unplugged adapter.
#pragma once

#include <QString>
#include <cerrno>

#include "link/fdport.hpp"

namespace rastiv {

// The scheme that names a device server in the port settings.
inline constexpr const char* kTcpScheme = "tcp://";

// "tcp://HOST:PORT" taken apart; IPv6 hosts in brackets ("tcp://[::1]:9100").
struct TcpAddress {
    QString host;
    quint16 port = 0;
};
// True for a well-formed address; otherwise false with the reason.
bool parseTcpAddress(const QString& device, TcpAddress& address, QString& problem);
bool isTcpDevice(const QString& device);

class TcpPort final : public FdPort {
    Q_OBJECT
public:
    explicit TcpPort(Clock& clock);
    ~TcpPort() override;

    // How long open() waits for the server to accept: a connection either
    // completes within it or fails.  The name lookup before it (for a host
    // name rather than an address) takes as long as the system's resolver.
    static constexpr int kDefaultConnectTimeoutMs = 3000;
    void setConnectTimeoutMs(int ms) { connectTimeoutMs_ = ms; }

    // Connects to settings.device; baud and parity belong to the server's
    // own configuration and are not used here.
    bool open(const PortSettings& settings, PortError& error) override;
    void clearInBuffer() override;
    bool dsrHolding() override { return portOpen(); }
    bool ctsHolding() override { return portOpen(); }

private:
    ssize_t writeSome(const char* data, size_t size) override;
    ssize_t readSome(char* data, size_t size) override;
    int kernelQueue() const override;
    int unconfirmedQueue() const override;
    PortError lostError(int err) const override;

    int connectTimeoutMs_ = kDefaultConnectTimeoutMs;
    QString device_;
};

}  // namespace rastiv

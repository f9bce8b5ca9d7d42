// What the port backends' tests share: a port of the kind under test on the
// real clock, its events counted, and real event pumping to a deadline (these
// tests talk to a real terminal or socket, which no virtual clock can drive).
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>
#include <vector>

#include "link/clock.hpp"
#include "link/serialport.hpp"

namespace rastiv::testing {

// A listening socket on 127.0.0.1 with a port the kernel chose.
struct Listener {
    explicit Listener(int backlog = 4) {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), len) != 0 || ::listen(fd, backlog) != 0 ||
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
            ADD_FAILURE() << "no listener";
            return;
        }
        port = ntohs(a.sin_port);
    }
    ~Listener() {
        if (fd >= 0) ::close(fd);
    }
    QString device() const { return QStringLiteral("tcp://127.0.0.1:%1").arg(port); }
    // The connection the port made, non-blocking.
    int accept(int ms = 2000) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, ms) != 1) return -1;
        return ::accept4(fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    }
    int fd = -1;
    quint16 port = 0;
};

template <typename Port>
class PortBench : public ::testing::Test {
protected:
    PortBench() {
        QObject::connect(&port, &SerialPort::transmitEvent, [this] { ++transmitEvents; });
        QObject::connect(&port, &SerialPort::lost, [this](const PortError& e) { lostErrors.push_back(e); });
    }
    // Lets events run for real until `done` or a short deadline.
    template <typename F>
    bool pumpUntil(F done, int ms = 3000) {
        QElapsedTimer t;
        t.start();
        while (!done()) {
            if (t.elapsed() > ms) return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            ::usleep(200);
        }
        return true;
    }
    // Everything the other end can read now, without waiting.
    static QByteArray readAll(int fd) {
        QByteArray all;
        char buf[65536];
        ssize_t n;
        while ((n = ::read(fd, buf, sizeof buf)) > 0) all.append(buf, n);
        return all;
    }

    RealClock clock;
    Port port{clock};
    int transmitEvents = 0;
    std::vector<PortError> lostErrors;
};

}  // namespace rastiv::testing

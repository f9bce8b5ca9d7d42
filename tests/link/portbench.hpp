// What the port backends' tests share: a port of the kind under test on the
// real clock, its events counted, and real event pumping to a deadline (these
// tests talk to a real terminal or socket, which no virtual clock can drive).
#pragma once

#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>
#include <vector>

#include "link/clock.hpp"
#include "link/serialport.hpp"

namespace rastiv::testing {

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

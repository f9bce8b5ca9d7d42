// Streams a 64 KB logo through SendData in 50-byte pieces over a
// pseudo-terminal pair and reports the throughput and the overhead of one
// SendData call (the time the link spends per piece beyond moving bytes).
// A pseudo-terminal has no baud-rate pacing, so the whole time per call is
// overhead: waits, event delivery and the write itself.
//
// Build: cmake --build build-release --target link_bench; run: build-release/bin/link_bench [runs]
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

#include "link/clock.hpp"
#include "ui/common/qtmessageboxes.hpp"
#include "core/modGlobal.hpp"
#include "link/commlink.hpp"
#include "link/termiosport.hpp"

using namespace rastiv;

namespace {
struct NoBoxes : MessageBoxes {
    int shown = 0;
    MsgResult show(const Message&) override { ++shown; return MsgResult::Cancel; }
};
}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    const int kBytes = 64 * 1024, kPiece = 50;
    QByteArray logo(kBytes, 0);
    for (int i = 0; i < kBytes; ++i) logo[i] = char((i * 131) & 0xFF);
    // Flow-control characters would stop the line: a real logo has them
    // scrubbed of real-time commands but not of XON/XOFF, so replace those here.
    for (char& c : logo)
        if (c == 0x11 || c == 0x13) c = 0x12;

    std::vector<double> perCall, rates;
    for (int run = 0; run < runs; ++run) {
        int master = posix_openpt(O_RDWR | O_NOCTTY);
        grantpt(master);
        unlockpt(master);
        const QString slave = QString::fromLocal8Bit(ptsname(master));
        std::atomic<long> received{0};
        std::atomic<bool> stop{false};
        std::thread reader([&] {
            char buf[4096];
            while (!stop) {
                ssize_t n = read(master, buf, sizeof buf);
                if (n > 0) received += n;
                if (n <= 0) break;
            }
        });

        modGlobal g;
        RealClock clock;
        NoBoxes boxes;
        CommLink link(clock, boxes, g.gHelpFile);
        auto port = std::make_unique<TermiosPort>(clock);
        PortError err;
        if (!port->open({slave, 115200, 'N'}, err)) {
            fprintf(stderr, "cannot open %s: %s\n", qPrintable(slave), qPrintable(err.description));
            return 1;
        }
        link.setPort(std::move(port));
        link.WritePort("\x1B\x76\x0A");  // the connection test's query raises the first transmit event
        while (!link.transmitDone()) link.yield();

        const int calls = (kBytes + kPiece - 1) / kPiece;
        QElapsedTimer t;
        t.start();
        for (int at = 0; at < kBytes; at += kPiece)
            if (!link.SendData(logo.mid(at, kPiece))) return 1;
        while (link.port()->outBufferCount() > 0 || received < kBytes + 3) link.yield();
        const double seconds = t.nsecsElapsed() / 1e9;
        stop = true;
        link.ClosePort();  // the master's read then ends with EIO
        reader.join();
        close(master);
        perCall.push_back(seconds * 1000 / calls);
        rates.push_back(kBytes / seconds);
        if (boxes.shown) fprintf(stderr, "a retry dialog appeared\n");
    }
    std::sort(perCall.begin(), perCall.end());
    std::sort(rates.begin(), rates.end());
    const double ms = perCall[perCall.size() / 2];
    // On a real 115200-baud line a 50-byte piece takes 50 x 10 / 115200 s.
    const double lineMs = 50.0 * 10 * 1000 / 115200;
    printf("64 KB logo in 50-byte pieces over a pseudo-terminal, median of %d runs\n", runs);
    printf("  throughput          %.0f bytes/s\n", rates[rates.size() / 2]);
    printf("  overhead per call   %.3f ms (target < 0.25 ms)\n", ms);
    printf("  line busy at 115200 %.1f %% (a piece takes %.2f ms on the wire)\n", 100 * lineMs / (lineMs + ms), lineMs);
    return 0;
}

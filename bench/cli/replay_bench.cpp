// Replays a recorded 64 KB logo download to 8 pseudo-terminals at once and
// to one, through "rastiv-cli replay" in-process, and reports both times,
// their ratio (the workers should overlap: target 8 ports <= 1.5 x one) and
// the time per SendData of one port (replay sends pieces of at most 100
// bytes).  Twice: the recording as made (its pause for the flash write
// takes the printer's fixed seconds on every port), and without its pause
// mark, where only the transfer is timed.
//
// Run: bench/cli/replay_bench.sh [build dir] [runs]
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include "cli/cli.hpp"
#include "ptyreader.hpp"

using testing_support::PtyReader;

namespace {

double replaySeconds(const QString& recording, int ports, long expected) {
    std::vector<std::unique_ptr<PtyReader>> ptys;
    QStringList args{QStringLiteral("rastiv-cli"), QStringLiteral("replay"), recording};
    for (int i = 0; i < ports; ++i) {
        ptys.push_back(std::make_unique<PtyReader>());
        args << QStringLiteral("--port") << ptys.back()->name();
    }
    QString out, err;
    QTextStream o(&out), e(&err);
    QElapsedTimer t;
    t.start();
    const int rc = rastiv::cli::run(args, {o, e});
    const double s = t.nsecsElapsed() / 1e9;
    for (auto& p : ptys) {
        const long got = long(p->received().size());
        if (rc != 0 || got != expected) {
            e.flush();
            fprintf(stderr, "replay failed (rc %d, %ld of %ld bytes): %s\n", rc, got, expected, qPrintable(err));
            exit(1);
        }
    }
    return s;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 3;
    const int kBytes = 64 * 1024 - 8;
    // 64 KB behind a logo header: a replay does not look inside, so the
    // picture bytes only have to be free of XON/XOFF, which would stop the line.
    QByteArray logo("\x1D\x84\x01\x40\x80", 5);
    for (int i = 0; logo.size() < kBytes; ++i) {
        char c = char((i * 131) & 0xFF);
        if (c == 0x11 || c == 0x13) c = 0x12;
        logo += c;
    }
    const QByteArray marker("Morvex<PaUsE-pAuSe-PaUsE>xevroM");
    const QByteArray head("\x1D\x22\x01\x1D\x23\x05", 6), tail("\x1D\x23\x00", 3);
    QTemporaryDir dir;
    const QString withPause = dir.filePath(QStringLiteral("logo.cpb")), without = dir.filePath(QStringLiteral("nopause.cpb"));
    for (const auto& [path, bytes] : {std::pair{withPause, head + logo + marker + tail}, {without, head + logo + tail}}) {
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
    }
    const long sent = head.size() + logo.size() + tail.size();
    const long pieces = (head.size() + logo.size() + 99) / 100 + 1;

    printf("Replay of a recorded %ld-byte logo download to pseudo-terminals, median of %d runs\n", sent, runs);
    for (const auto& [label, path] : {std::pair{"without its pause mark", without}, {"as recorded (one flash pause)", withPause}}) {
        std::vector<double> one, eight;
        for (int r = 0; r < runs; ++r) {
            one.push_back(replaySeconds(path, 1, sent));
            eight.push_back(replaySeconds(path, 8, sent));
        }
        const double t1 = median(one), t8 = median(eight);
        printf("  %s\n", label);
        printf("    1 port    %.3f s\n", t1);
        printf("    8 ports   %.3f s\n", t8);
        printf("    ratio     %.2f x (target <= 1.5 x)\n", t8 / t1);
        if (path == without) printf("    per SendData, one port  %.3f ms (%ld pieces)\n", t1 * 1000 / pieces, pieces);
    }
    return 0;
}

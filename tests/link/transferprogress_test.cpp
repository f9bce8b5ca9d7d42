// The figures a transfer shows while it runs, and when its Cancel counts.
#include <gtest/gtest.h>

#include "link/transferprogress.hpp"

using namespace rastiv;

namespace {

TEST(TransferProgress, FiguresCountTheBytesAndTheTimeTheRestTakesOnTheLine) {
    const struct {
        qint64 total, sent;
        int baud;
        char parity;
        qint64 seconds;
        const char* text;
    } rows[] = {
        // 3,072 bytes left at 10 bits each: 3.2 s, said as 4.
        {4096, 1024, 9600, 'N', 4, "1,024 of 4,096 bytes sent, about 4 s left"},
        {960, 0, 9600, 'N', 1, "0 of 960 bytes sent, about 1 s left"},  // exactly one second
        {960, 0, 9600, 'E', 2, "0 of 960 bytes sent, about 2 s left"},  // a parity bit makes 11 bits a byte
        {961, 960, 115200, 'O', 1, "960 of 961 bytes sent, about 1 s left"},  // a byte left is never 0 s
        {4096, 4096, 9600, 'N', 0, "4,096 of 4,096 bytes sent, about 0 s left"},
        {1000000, 0, 1200, 'N', 8334, "0 of 1,000,000 bytes sent, about 8334 s left"},
        {0, 0, 9600, 'N', 0, "0 of 0 bytes sent, about 0 s left"},
    };
    for (const auto& r : rows) {
        TransferProgress p({QString(), r.baud, r.parity});
        p.start(r.total);
        p.add(r.sent);
        EXPECT_EQ(p.remaining(), r.total - r.sent) << r.text;
        EXPECT_EQ(p.secondsLeft(), r.seconds) << r.text;
        EXPECT_EQ(progressText(p), QString::fromLatin1(r.text));
    }
    TransferProgress played;
    played.start(792);
    played.add(300);
    EXPECT_EQ(progressText(played, QStringLiteral("played")), "300 of 792 bytes played, about 1 s left");
}

TEST(TransferProgress, CancelCountsOnlyWhileSomethingIsLeftToStop) {
    TransferProgress p;
    int changes = 0;
    p.onChange = [&] { ++changes; };
    p.requestCancel();  // nothing started
    EXPECT_FALSE(p.cancelRequested());
    EXPECT_FALSE(p.cancellable());

    p.start(100);
    p.add(60);
    EXPECT_TRUE(p.cancellable());
    p.requestCancel();
    EXPECT_TRUE(p.cancelRequested());
    EXPECT_FALSE(p.cancellable());  // asked once is enough
    EXPECT_EQ(changes, 3);

    p.start(10);  // the next transfer starts without it
    EXPECT_FALSE(p.cancelRequested());
    p.add(10);
    EXPECT_FALSE(p.cancellable());
    p.requestCancel();  // the last byte is out: too late to stop anything
    EXPECT_FALSE(p.cancelRequested());
    p.add(0);
    EXPECT_EQ(changes, 5);
}

}  // namespace

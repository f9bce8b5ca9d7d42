// The printer's own colorization: the configuration that switches its top
// logo, bottom logo, margin message and watermark on or off, the text
// attribute substitution entries, and the sample receipts that show what
// the printer adds by itself.  Plain values in, how the sending ended out;
// the boxes the operator ticks and the messages stay with the dialogs.
#pragma once

#include <QByteArray>
#include <QList>
#include <cstdint>
#include <vector>

namespace rastiv {

class BatchRecording;
class CommLink;

namespace legacy {

// What the four boxes ask for, and the top logo spacing byte.
struct Options {
    bool topLogo = false;
    bool bottomLogo = false;
    bool marginMessage = false;
    bool watermark = false;
    uint8_t spacing = 128;
};

// One command of the configuration; after a flash write the printer needs
// its pause (and a batch recording its marker) before the next one.
struct Command {
    QByteArray bytes;
    bool flashWrite = false;
};

// The whole configuration, every feature switched on or off: 5 to 10
// commands ending in the 1D FF that makes the printer store it.
std::vector<Command> configuration(const Options& o);

// Sends the configuration command by command with the pause after each
// flash write.  False when a send was cancelled: what follows it is not sent.
bool enableSelected(CommLink& link, BatchRecording& batch, const Options& o);

// The sample receipt up to the cut, one SendData each; the status request
// and the wait for its answer follow (printSampleReceipt).
QList<QByteArray> sampleReceipt();

}  // namespace legacy

// The sixteen attributes as one number, bit k for the k-th: the seven
// "From" attributes (bold, italic, reverse video, underline, double high,
// double wide, compressed), then the nine "To" attributes (the same seven,
// colour, colour reverse).  Its low byte is the entry's byte A, its high
// byte byte B.
using AttributeSet = uint16_t;

namespace textsub {
inline constexpr int kFromCount = 7;
inline constexpr int kToCount = 9;
constexpr AttributeSet from(int i) { return AttributeSet(1u << i); }
constexpr AttributeSet to(int i) { return AttributeSet(1u << (kFromCount + i)); }

// The words the sample's combined line uses for attribute k (bit order).
const char* attributeWord(int k);

// 1F 03 17 n A B: entry n on; with A = B = 0 it is off.
QByteArray entry(uint8_t n, AttributeSet set);

// Entry n with `set`, stored in the flash, and the pause for the flash
// write.  False when a send was cancelled (nothing was waited for then).
bool sendEntry(CommLink& link, BatchRecording& batch, uint8_t n, AttributeSet set);

// Every string of the sample receipt, one SendData each, up to the paper
// feed; the status request and the wait for its answer follow
// (printSampleReceipt).
QList<QByteArray> sampleReceipt(AttributeSet set);
}  // namespace textsub

}  // namespace rastiv

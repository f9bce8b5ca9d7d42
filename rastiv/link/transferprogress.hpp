// How far a transfer to the printer has got, and whether the operator wants
// it stopped.  The sending code counts what it hands to the port and looks
// at Cancel between pieces; a dialog (or a terminal) shows the figures.  No
// widgets here: the sequences that send must run without a window too.
#pragma once

#include <QString>
#include <QtGlobal>
#include <functional>

#include "link/serialport.hpp"

namespace rastiv {

// How a command sequence to the printer, or one piece of it, ended.
enum class TransferEnd {
    Complete,   // everything went out
    Cancelled,  // the operator pressed Cancel; what followed was held back, the framing was still sent
    Abandoned,  // a retry dialog was cancelled, or the file could not be read: the rest was not sent
};

class TransferProgress {
public:
    // The line the bytes go out on sets the time they take.
    explicit TransferProgress(const PortSettings& line = {}) : line_(line) {}
    TransferProgress(const TransferProgress&) = delete;
    TransferProgress& operator=(const TransferProgress&) = delete;

    // A transfer of `total` bytes begins.  The total counts what Cancel can
    // still hold back (a file's bytes, and the commands a cancelled sequence
    // leaves out); the framing that goes out in any case (a download's
    // header and end) is not counted.
    void start(qint64 total);
    // `bytes` more were handed to the port (or, in a playback, read past).
    void add(qint64 bytes);

    bool started() const { return started_; }
    qint64 total() const { return total_; }
    qint64 sent() const { return sent_; }
    qint64 remaining() const { return total_ > sent_ ? total_ - sent_ : 0; }
    // The whole seconds the remaining bytes take at the line's rate, rounded
    // up so that a transfer with bytes left never says 0.  Pauses of the
    // printer (flash writes) are not foreseen.
    qint64 secondsLeft() const;

    // Cancel can hold something back only while bytes remain; once the last
    // has been handed over there is nothing left to stop.
    bool cancellable() const { return started_ && !cancelRequested_ && sent_ < total_; }
    // The operator's Cancel; ignored when nothing is left to stop.
    void requestCancel();
    bool cancelRequested() const { return cancelRequested_; }
    // After a Cancel, what the sender still finishes so as not to leave the
    // printer inside it ("logo 7"); empty while there is nothing to finish.
    void setFinishing(const QString& what);
    QString finishing() const { return finishing_; }

    // Called after every change, to show the figures.
    std::function<void()> onChange;

private:
    void changed();

    PortSettings line_;
    bool started_ = false;
    bool cancelRequested_ = false;
    qint64 total_ = 0;
    qint64 sent_ = 0;
    QString finishing_;
};

// A count of bytes as an operator reads it: 4096 -> "4,096".
QString byteCount(qint64 bytes);

// "1,024 of 4,096 bytes sent, about 4 s left"; `verb` says what happens to
// the bytes ("sent", "played").  After a Cancel with something to finish:
// "Cancel: finishing logo 7 ..." instead.
QString progressText(const TransferProgress& progress, const QString& verb = QStringLiteral("sent"));

}  // namespace rastiv

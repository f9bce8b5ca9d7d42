// Where one printer command ends.  The printer reads its input as a stream of
// units: a byte that starts no command (text, a line feed, anything unknown)
// is a unit of its own; a command is a unit with its parameter bytes and, for
// raster lines and logo definitions, the picture data that follows them, which
// must never be read as commands.  The virtual printer and the receipt
// renderer cut the stream with the same table, so they cannot disagree about
// where a picture ends.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <functional>

namespace rastiv {

// The length of the unit that starts with `start`, data included; 0 while its
// first bytes do not tell yet.  Unknown commands end after their first two
// bytes (after four for an unknown 1F 03 setting).
qsizetype unitLength(QByteArrayView start);

// Cuts a byte stream into units, whatever pieces it arrives in.
class CommandSplitter {
public:
    // Calls `unit` for every unit these bytes complete, in order; the view
    // lives only for the call.  Bytes of an unfinished unit wait for the next
    // feed.
    void feed(QByteArrayView bytes, const std::function<void(QByteArrayView)>& unit);
    bool midUnit() const { return !pending_.isEmpty(); }

private:
    void startUnit();

    QByteArray pending_;
    qsizetype length_ = 0;  // of the unit in pending_, once its first bytes tell
};

}  // namespace rastiv

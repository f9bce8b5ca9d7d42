// Where one printer command ends.  The printer reads its input as a stream of
// units: a byte that starts no command (text, a line feed) is a unit of its
// own; a command is a unit with its parameter bytes and the picture data that
// follows them, which must never be read as commands.  The lengths come from
// the command table (commandtable.hpp), which also says how an unknown
// command is skipped; the sender, the virtual printer and the receipt
// renderer cut the stream the same way, so they cannot disagree about where
// a picture ends.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <functional>

#include "link/commandtable.hpp"

namespace rastiv {

// The length of the unit that starts with `start`, data included; 0 while its
// first bytes do not tell yet.  Unknown commands end after their first two
// bytes (after four for an unknown 1F 03 setting).
qsizetype unitLength(QByteArrayView start);

// One unit as a reader sees it.
struct Unit {
    QByteArrayView bytes;                // the whole unit; only its start when it is oversize
    const CommandInfo* command = nullptr;  // null for a text or control byte, and when unknown
    bool unknown = false;                // a command the table does not know, skipped as `bytes`
    bool oversize = false;               // longer than kMaxUnitBytes: the rest is skipped unread
    qint64 offset = 0;                   // of its first byte in the stream
    qint64 length = 0;                   // its whole length
    uint8_t byte() const { return static_cast<uint8_t>(bytes[0]); }
    // Parameter k after the prefix (0 when the unit is too short).
    uint8_t param(qsizetype k) const {
        const qsizetype i = (command ? command->prefixLength : 0) + k;
        return i < bytes.size() ? static_cast<uint8_t>(bytes[i]) : 0;
    }
};

// What the unit does to the flash, its parameters weighed: GS @ erases with
// n 31h only, and of the extended graphics functions only the definition of
// NV graphics writes.
Flash flashEffect(const Unit& u);

// Cuts a byte stream into units, whatever pieces it arrives in.
class CommandSplitter {
public:
    // Calls `unit` for every unit these bytes complete, in order; the view
    // lives only for the call.  Bytes of an unfinished unit wait for the next
    // feed.
    void feed(QByteArrayView bytes, const std::function<void(const Unit&)>& unit);
    void feed(QByteArrayView bytes, const std::function<void(QByteArrayView)>& unit);
    bool midUnit() const { return !pending_.isEmpty() || skip_ > 0; }
    // The unit under way when the stream ends here: its offset and, once its
    // first bytes tell, its command (null while they do not).
    qint64 pendingOffset() const { return offset_ - pending_.size(); }
    const CommandInfo* pendingCommand() const;
    // Bytes taken so far.
    qint64 offset() const { return offset_; }
    // How many of the `next` bytes the unit under way still takes: 0 when
    // none is under way, all of them when they do not complete it.
    qsizetype untilUnitEnds(QByteArrayView next) const;

private:
    void startUnit();
    void complete(const std::function<void(const Unit&)>& unit);

    QByteArray pending_;
    qint64 length_ = 0;  // of the unit in pending_, once its first bytes tell
    qint64 offset_ = 0;
    qint64 skip_ = 0;    // bytes of an oversize unit still to pass over
    qint64 need_ = 0;    // bytes the unit needs before its length can tell more
};

// Where the printer stands in what it has been sent, for a sender that
// has to stop early without leaving it inside something: inside a command
// (its parameters or picture data still to come) or inside a logo download
// (begun with 1D 22 01 and its logo number, not yet ended with 1D 23 00).
class CommandTracker {
public:
    // These bytes went to the printer.
    void sent(QByteArrayView bytes);
    // The printer has been waited for after a flash write.
    void waited() { definitionStoring_ = false; }

    // A command is under way; the logo number after a download's 1D 22 01
    // counts as part of it, since 1D 23 00 then would name logo 0 instead
    // of ending the download.
    bool midCommand() const { return splitter_.midUnit() || download_ == Download::Header; }
    // How many of the `next` bytes complete what is under way (see midCommand).
    qsizetype toFinishCommand(QByteArrayView next) const;

    bool inDownload() const { return download_ != Download::None; }
    // The number of the logo being downloaded, once it has been sent; -1 before.
    int downloadLogo() const { return download_ == Download::Open ? logo_ : -1; }
    // A logo definition has gone out in the download under way and the
    // printer has not been waited for since: it is writing its flash.
    bool definitionStoring() const { return definitionStoring_; }

private:
    enum class Download { None, Header, Open };
    void unit(const Unit& u);

    CommandSplitter splitter_;
    Download download_ = Download::None;
    int logo_ = -1;
    bool definitionStoring_ = false;
};

}  // namespace rastiv

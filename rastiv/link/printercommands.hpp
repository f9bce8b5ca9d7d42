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
    // How many of the `next` bytes the unit under way still takes: 0 when
    // none is under way, all of them when they do not complete it.
    qsizetype untilUnitEnds(QByteArrayView next) const;

private:
    void startUnit();

    QByteArray pending_;
    qsizetype length_ = 0;  // of the unit in pending_, once its first bytes tell
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
    void unit(QByteArrayView u);

    CommandSplitter splitter_;
    Download download_ = Download::None;
    int logo_ = -1;
    bool definitionStoring_ = false;
};

}  // namespace rastiv

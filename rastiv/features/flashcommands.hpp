// The printer commands that end in a flash write, without any dialog: the
// logo commands and the logo download, the erase of the logos, and the paper
// type.  The dialogs, the main window and the command-line tool send them
// through these same functions, so that all of them put the same bytes on
// the wire and into a recording.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

#include "link/transferprogress.hpp"

namespace rastiv {

class BatchRecording;
class CommLink;
class Timer;
struct modGlobal;

// gSendingPrintSample for the length of a sample command, so that a batch
// recording can leave the sample out; cleared on every way out.
class SendingPrintSample {
public:
    explicit SendingPrintSample(modGlobal& g);
    ~SendingPrintSample();
    SendingPrintSample(const SendingPrintSample&) = delete;
    SendingPrintSample& operator=(const SendingPrintSample&) = delete;

private:
    modGlobal& g_;
};


// ---- Printer commands ----

namespace logocmd {
// GS " 1: a logo definition follows (the download header).
inline const QByteArray kBeginDownload("\x1D\x22\x01", 3);
// GS # n: select logo n; GS # 0 after a download or print deselects again.
QByteArray selectLogo(uint8_t n);
inline const QByteArray kDeselect("\x1D\x23\x00", 3);
// GS / 0: print the selected logo once.
inline const QByteArray kPrintSelected("\x1D\x2F\x00", 3);
// ESC J 255 then 19h: feeds the sample past the tear bar, as after a graphic.
inline const QByteArray kFeed("\x1B\x4A\xFF\x19", 4);
// GS FF: the printer stores the settings sent before it in its flash.
inline const QByteArray kStoreSettings("\x1D\xFF", 2);
// GS @ 1: erase every logo and user character set in the flash.
inline const QByteArray kEraseFlash("\x1D\x40\x31", 3);
// ESC a 0: back to left justification after a watermark definition.
inline const QByteArray kLeftJustify("\x1B\x61\x00", 3);
// ESC a 1 (centred) and GS 8B L S W in one string: the printer centres the
// watermark it makes from logo L with shading S as watermark W.
QByteArray defineWatermark(uint8_t logo, uint8_t shading, uint8_t watermark);
// GS 8C on W: watermark W behind the following text, or off again.
QByteArray watermarkSwitch(bool on, uint8_t watermark);
// GS 99 side n 32h 00: logo n as a margin message on side 1 (left) or 2
// (right); side 0 switches it off.
QByteArray marginMessage(uint8_t side, uint8_t logo);
}  // namespace logocmd

// The download itself, once the file is known to be good, counted into a
// started `progress`.  A Cancel holds back the rest of the file and skips
// the pause, but the download still ends with 1D 23 00.
TransferEnd sendLogo(CommLink& link, BatchRecording& batch, const QString& path, uint8_t n, int chunk,
                     TransferProgress& progress);

// ---- Erasing the logos ----

// How long the printer may take to acknowledge an erase (ms).
inline constexpr int kEraseReplyMs = 10000;

enum class EraseEnd {
    Erased,       // acknowledged, and legacy colorization switched off
    NotAnswered,  // the erase went out but no acknowledgement came in time
    Abandoned,    // a retry dialog of the erase command was cancelled
};

// GS @ 1 and the pause for the flash write; then up to kEraseReplyMs on
// `replyTimer` for the acknowledgement; then every legacy colorization
// feature off and the pause for storing that.
EraseEnd eraseFlash(CommLink& link, BatchRecording& batch, Timer& replyTimer);

// ---- Paper type ----

// The paper types the printer knows (the Paper menu's items).
inline constexpr uint8_t kPaperTypes[] = {0, 1, 4, 5};

// GS 81 n FF: paper type n.
QByteArray paperTypeCommand(uint8_t type);

// The paper type, stored in the flash, and the pause for the flash write.
// False when a retry dialog was cancelled (nothing was waited for then).
bool sendPaperType(CommLink& link, BatchRecording& batch, uint8_t type);

}  // namespace rastiv

// Command sequences the dialogs and the tool send as a whole: the logo
// download, the sample receipts and their wait for the printer.  No dialog
// behaviour here: each takes the link and says how it ended; checking the
// operator's input and showing the outcome stay with the caller.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>

#include "link/transferprogress.hpp"

namespace rastiv {

class BatchRecording;
class CommLink;
class Timer;

// The recording's gSendingPrintSample for the length of a sample command, so
// that it can leave the sample out; cleared on every way out.
class SendingPrintSample {
public:
    explicit SendingPrintSample(BatchRecording& batch);
    ~SendingPrintSample();
    SendingPrintSample(const SendingPrintSample&) = delete;
    SendingPrintSample& operator=(const SendingPrintSample&) = delete;

private:
    BatchRecording& batch_;
};

// Stores the logo file at `path` as logo n, counted into a started
// `progress`: the download header, the logo number, the file in pieces of
// `chunk` with the last piece sent even when empty, the pause for the flash
// write (with its batch marker), and the deselect.  A Cancel holds back the
// rest of the file and skips the pause, but the download still ends with
// 1D 23 00.  The file is expected to be a whole logo (printerfiles checks it).
TransferEnd sendLogo(CommLink& link, BatchRecording& batch, const QString& path, uint8_t n, int chunk,
                     TransferProgress& progress);
// The same for a logo file read (and checked) before: exactly these bytes go out.
TransferEnd sendLogo(CommLink& link, BatchRecording& batch, const QByteArray& file, uint8_t n, int chunk,
                     TransferProgress& progress);

// The twenty lines of a sample receipt, one SendData each:
// "Sample Receipt Item  1" to "Sample Receipt Item  20", each ending in LF.
QByteArray sampleLine(int i);
bool sendSampleLines(CommLink& link);

// How long a printed sample receipt may take before the printer answers.
inline constexpr int kSampleReplyWaitMs = 10000;

// Sends a sample receipt string by string, then the status request, and
// waits for the answer: `timer` runs kSampleReplyWaitMs and stops early as
// soon as a byte has come in.  The answer itself is not read.  False when a
// send was cancelled.
bool printSampleReceipt(CommLink& link, Timer& timer, const QList<QByteArray>& receipt);

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

// The paper types the printer knows (the Media menu's items).
inline constexpr uint8_t kPaperTypes[] = {0, 1, 4, 5};

// The paper type, stored in the flash, and the pause for the flash write.
// False when a retry dialog was cancelled (nothing was waited for then).
bool sendPaperType(CommLink& link, BatchRecording& batch, uint8_t type);

// ---- Watermarks ----

// A watermark is made from a stored logo by shading it: the logo's number,
// the shading (0 dark to 100 light, as the slider gives it) and the number
// the watermark is stored under.
struct WatermarkDefinition {
    uint8_t logo = 0;
    uint8_t shading = 0;
    uint8_t watermark = 0;
};

enum class WatermarkEnd {
    Defined,             // logo (when sent), definition, and back to left justification
    LogoCutShort,        // the logo download was cancelled or stopped; no definition went out
    SameNumber,          // the logo went out, but the watermark would overwrite it: nothing more sent
    DefinitionCutShort,  // the logo is stored; the definition was cancelled or stopped
    NotLeftJustified,    // defined, but the return to left justification did not go out
};

struct WatermarkResult {
    WatermarkEnd end = WatermarkEnd::Defined;
    TransferEnd transfer = TransferEnd::Complete;  // how the cut-short part ended
    qint64 logoBytes = 0;                          // of the logo file, sent
};

// Downloads the logo file at `logoPath` as logo d.logo (see sendLogo), then
// defines the watermark from it, waits for the flash write and goes back to
// left justification.  `progress` is started here, counting the file and the
// definition: a Cancel can still hold the definition back.  With an empty
// path the logo is taken to be in the printer already and nothing is
// counted (a closed port, where a batch recording still takes the
// definition).  The file is expected to have been checked by the caller.
WatermarkResult defineWatermark(CommLink& link, BatchRecording& batch, const QString& logoPath,
                                const WatermarkDefinition& d, int chunk, TransferProgress& progress);

// The watermark on, the twenty sample lines, the watermark off and the feed.
// False when a send was cancelled.
bool printWatermarkSample(CommLink& link, uint8_t watermark);

// ---- Margin messages ----

// The edge a margin message runs down; the codes are the command's.
enum class MarginSide : uint8_t { Off = 0, Left = 1, Right = 2 };

// The margin message on at `side` from logo n, the twenty sample lines, then
// switched off again (or the printer would keep it on every receipt that
// follows) and the feed.  False when a send was cancelled.
bool printMarginSample(CommLink& link, MarginSide side, uint8_t n);

}  // namespace rastiv

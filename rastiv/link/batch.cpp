#include "link/batch.hpp"

#include <QFileInfo>

#include "link/messages.hpp"
#include "link/commands.hpp"
#include "link/commlink.hpp"
#include "link/printercommands.hpp"

namespace rastiv {

const QByteArray kBatchPauseMarker("Morvex<PaUsE-pAuSe-PaUsE>xevroM");

// The library reports batch failures itself, as a plain box with OK only.
void BatchRecording::showLibraryMessage(const char* text, const char* title, void* self) {
    Message m;
    m.text = QString::fromLocal8Bit(text);
    m.title = QString::fromLocal8Bit(title);
    static_cast<BatchRecording*>(self)->messages_.show(m);
}

void BatchRecording::hookMessages() {
    if (hooked_) return;
    hooked_ = true;
    files_.PixmillSetMessageHook(&BatchRecording::showLibraryMessage, this);
}

void BatchRecording::OpenBatchFile(const QString& FileName, bool bWrite) {
    hookMessages();
    CloseBatchFile();
    gBatchFileHandle = bWrite ? files_.BatchOpenForWrite(FileName) : files_.BatchOpenForRead(FileName);
    open_ = gBatchFileHandle >= 0;
}

// The handle keeps its value after closing, so closing twice (the main
// window closes whether or not a file is open) would close whatever file
// has been given that number since.
void BatchRecording::CloseBatchFile() {
    if (!open_) return;
    open_ = false;
    files_.BatchClose(gBatchFileHandle);
}

void BatchRecording::startOff() {
    gBatchModeEnabled = false;
    gOmitPrintSampleData = true;
    gSendingPrintSample = false;
}

bool BatchRecording::recordingNow() const {
    return gBatchModeEnabled && !(gSendingPrintSample && gOmitPrintSampleData);
}

void BatchRecording::InsertBatchPlayWait() {
    if (recordingNow() && open_) files_.BatchWrite(gBatchFileHandle, kBatchPauseMarker);
}

void BatchRecording::WriteBatchFile(const QByteArray& cData) {
    if (recordingNow() && open_) files_.BatchWrite(gBatchFileHandle, cData);
}

int32_t BatchRecording::ReadBatchFile(QByteArray& buffer, int32_t& count, int32_t& pause) {
    return files_.BatchRead(gBatchFileHandle, buffer, count, pause);
}

namespace {
constexpr int kReadCount = 100;

// What a cancelled playback still sends, for the operator watching it.
QString finishingText(const CommandTracker& printer) {
    const int logo = printer.downloadLogo();
    if (logo >= 0) return QStringLiteral("logo %1").arg(logo);
    return printer.inDownload() ? QStringLiteral("the logo download") : QStringLiteral("the command under way");
}
}  // namespace

// Each pause is answered with WaitForPrinter alone: the marker's stand-in
// zero bytes are not printer data, so a replay sends exactly what was
// recorded.
Playback playBatchFile(CommLink& link, BatchRecording& batch, const QString& path, TransferProgress& progress,
                       const std::function<void(bool waiting)>& waiting) {
    Playback result;
    batch.OpenBatchFile(path, false);
    if (!batch.isOpen()) {  // the library has said why
        result.end = TransferEnd::Abandoned;
        return result;
    }
    progress.start(QFileInfo(path).size());
    CommandTracker printer;
    bool stopping = false;  // Cancel was pressed: only the command under way is finished
    for (;;) {
        QByteArray buffer(kReadCount + 10, ' ');
        int32_t count = kReadCount;
        int32_t pause = 0;
        const bool more = batch.ReadBatchFile(buffer, count, pause) == 1;
        if (pause) {
            if (waiting) waiting(true);
            link.WaitForPrinter();
            printer.waited();
            if (waiting) waiting(false);
            progress.add(count);
        } else if (more) {
            QByteArray piece = buffer.left(count);
            if (!stopping) {
                const TransferEnd sent = link.SendPiece(piece, progress);
                if (sent == TransferEnd::Abandoned) {
                    result.end = sent;
                    break;
                }
                if (sent == TransferEnd::Complete) {
                    printer.sent(piece);
                } else {
                    stopping = true;
                }
            }
            if (stopping && printer.midCommand()) {
                progress.setFinishing(finishingText(printer));
                piece.truncate(printer.toFinishCommand(piece));
                if (!link.SendData(piece)) {
                    result.end = TransferEnd::Abandoned;
                    break;
                }
                progress.add(piece.size());
                printer.sent(piece);
            }
        }
        link.yield();
        if (!more) break;
        // A Cancel pressed while a pause was answered takes effect here.
        stopping = stopping || progress.cancelRequested();
        if (stopping && !printer.midCommand()) {
            result.end = TransferEnd::Cancelled;
            break;
        }
    }
    batch.CloseBatchFile();
    if (result.end == TransferEnd::Cancelled && printer.inDownload()) {
        progress.setFinishing(finishingText(printer));
        if (printer.definitionStoring()) link.WaitForPrinter();
        result.downloadEnded = link.SendData(cmd::kDeselect);
        if (!result.downloadEnded) result.end = TransferEnd::Abandoned;
    }
    return result;
}

}  // namespace rastiv

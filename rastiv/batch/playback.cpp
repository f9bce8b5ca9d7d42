#include "batch/playback.hpp"

#include <QFileInfo>

#include "app/env.hpp"
#include "app/modGlobal.hpp"
#include "app/pixmill.hpp"
#include "batch/batchmode.hpp"
#include "link/commands.hpp"
#include "link/commlink.hpp"
#include "link/printercommands.hpp"

namespace rastiv {

namespace {
constexpr int kReadCount = 100;
}  // namespace

// Each pause is answered with WaitForPrinter alone: the marker's stand-in
// zero bytes are not printer data, so a replay sends exactly what was
// recorded.
Playback playBatchFile(Env& env, const QString& path, TransferProgress& progress,
                       const std::function<void(bool waiting)>& waiting) {
    Playback result;
    BatchRecording& batch = env.batch;
    CommLink& link = env.link;
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
        const bool more = env.pixmill.BatchRead(env.g.gBatchFileHandle, buffer, count, pause) == 1;
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
        if (printer.definitionStoring()) link.WaitForPrinter();
        result.downloadEnded = link.SendData(cmd::kDeselect);
        if (!result.downloadEnded) result.end = TransferEnd::Abandoned;
    }
    return result;
}

}  // namespace rastiv

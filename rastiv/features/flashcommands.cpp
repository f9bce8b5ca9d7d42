#include "features/flashcommands.hpp"

#include "app/clock.hpp"
#include "app/modGlobal.hpp"
#include "batch/batchmode.hpp"
#include "features/filestream.hpp"
#include "link/commlink.hpp"

namespace rastiv {

SendingPrintSample::SendingPrintSample(modGlobal& g) : g_(g) { g_.gSendingPrintSample = true; }
SendingPrintSample::~SendingPrintSample() { g_.gSendingPrintSample = false; }

namespace logocmd {

QByteArray selectLogo(uint8_t n) { return QByteArray("\x1D\x23", 2) + char(n); }

QByteArray defineWatermark(uint8_t logo, uint8_t shading, uint8_t watermark) {
    QByteArray s("\x1B\x61\x01\x1D\x8B", 5);
    s += char(logo);
    s += char(shading);
    s += char(watermark);
    return s;
}

QByteArray watermarkSwitch(bool on, uint8_t watermark) {
    QByteArray s("\x1D\x8C", 2);
    s += char(on ? 1 : 0);
    s += char(watermark);
    return s;
}

QByteArray marginMessage(uint8_t side, uint8_t logo) {
    QByteArray s("\x1D\x99", 2);
    s += char(side);
    s += char(logo);
    s += QByteArray("\x32\x00", 2);
    return s;
}

}  // namespace logocmd

namespace {

// Switching every legacy colorization feature off, then closing the
// configuration so that the printer stores it: after an erase the printer
// would otherwise go on printing logos it no longer has.
const QByteArray kLegacyOff[] = {
    QByteArray("\x1F\x03\x16\x01\x00\x00", 6),      // top logo off
    QByteArray("\x1F\x03\x16\x04\x00\x00", 6),      // bottom logo off
    QByteArray("\x1F\x03\x16\x03\x00\x00\x00", 7),  // margin message off
    QByteArray("\x1F\x03\x16\x02\x00\x00", 6),      // watermark off
    QByteArray("\x1D\xFF", 2),                      // close the configuration
};

}  // namespace

TransferEnd sendLogo(CommLink& link, BatchRecording& batch, const QString& path, uint8_t n, int chunk,
                     TransferProgress& progress) {
    if (!link.SendData(logocmd::kBeginDownload)) return TransferEnd::Abandoned;
    if (!link.SendData(logocmd::selectLogo(n))) return TransferEnd::Abandoned;
    const TransferEnd file = streamFile(link, path, chunk, LastPiece::AlwaysSend, progress);
    if (file == TransferEnd::Abandoned) return file;
    // A logo cut short is not stored, so there is no flash write to wait
    // for.  The end command goes out all the same: it is what closes a
    // download.  (A printer still counting the definition's picture bytes
    // takes it as three more of them; only the missing bytes would end the
    // definition, and sending them would store a broken logo.)
    if (file == TransferEnd::Complete) {
        link.WaitForPrinter();
        batch.InsertBatchPlayWait();
    }
    return link.SendData(logocmd::kDeselect) ? file : TransferEnd::Abandoned;
}

EraseEnd eraseFlash(CommLink& link, BatchRecording& batch, Timer& replyTimer) {
    // The reply to the connection test may still be waiting; it must not pass
    // for the erase's acknowledgement.
    link.ClearInputBuffer();
    if (!link.SendData(logocmd::kEraseFlash)) return EraseEnd::Abandoned;
    link.WaitForPrinter();
    batch.InsertBatchPlayWait();

    // Any byte is the acknowledgement; its value means nothing here.
    bool answered = false;
    replyTimer.onTimer = [&replyTimer] { replyTimer.setEnabled(false); };
    replyTimer.setEnabled(false);
    replyTimer.setInterval(kEraseReplyMs);
    replyTimer.setEnabled(true);
    while (replyTimer.isEnabled()) {
        link.yield();
        if (!link.ReadPort().isEmpty()) {
            replyTimer.setEnabled(false);
            answered = true;
        }
    }
    if (!answered) return EraseEnd::NotAnswered;
    // Each switch is a command of its own; one the operator cancels does not
    // keep the others from going out.
    for (const QByteArray& command : kLegacyOff) link.SendData(command);
    link.WaitForPrinter();
    batch.InsertBatchPlayWait();
    return EraseEnd::Erased;
}

QByteArray paperTypeCommand(uint8_t type) { return QByteArray("\x1D\x81", 2) + char(type) + '\xFF'; }

bool sendPaperType(CommLink& link, BatchRecording& batch, uint8_t type) {
    if (!(link.SendData(paperTypeCommand(type)) && link.SendData(logocmd::kStoreSettings))) return false;
    link.WaitForPrinter();
    batch.InsertBatchPlayWait();
    return true;
}

}  // namespace rastiv

#include "link/sequences.hpp"

#include <QFileInfo>
#include <functional>

#include "link/batch.hpp"
#include "link/clock.hpp"
#include "link/commands.hpp"
#include "link/commlink.hpp"
#include "link/filestream.hpp"

namespace rastiv {

SendingPrintSample::SendingPrintSample(BatchRecording& batch) : batch_(batch) { batch_.gSendingPrintSample = true; }
SendingPrintSample::~SendingPrintSample() { batch_.gSendingPrintSample = false; }

namespace {

TransferEnd sendLogoWith(CommLink& link, BatchRecording& batch, uint8_t n,
                         const std::function<TransferEnd()>& streamTheFile) {
    if (!link.SendData(cmd::kBeginDownload)) return TransferEnd::Abandoned;
    if (!link.SendData(cmd::selectLogo(n))) return TransferEnd::Abandoned;
    const TransferEnd file = streamTheFile();
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
    return link.SendData(cmd::kDeselect) ? file : TransferEnd::Abandoned;
}

}  // namespace

TransferEnd sendLogo(CommLink& link, BatchRecording& batch, const QString& path, uint8_t n, int chunk,
                     TransferProgress& progress) {
    return sendLogoWith(link, batch, n,
                        [&] { return streamFile(link, path, chunk, LastPiece::AlwaysSend, progress); });
}

TransferEnd sendLogo(CommLink& link, BatchRecording& batch, const QByteArray& file, uint8_t n, int chunk,
                     TransferProgress& progress) {
    return sendLogoWith(link, batch, n,
                        [&] { return streamBytes(link, file, chunk, LastPiece::AlwaysSend, progress); });
}

QByteArray sampleLine(int i) {
    // The number as the printer has always printed it: a blank stands where
    // a minus sign would.
    return QByteArrayLiteral("Sample Receipt Item  ") + QByteArray::number(i) + '\n';
}

bool sendSampleLines(CommLink& link) {
    for (int i = 1; i <= 20; ++i)
        if (!link.SendData(sampleLine(i))) return false;
    return true;
}

bool printSampleReceipt(CommLink& link, Timer& timer, const QList<QByteArray>& receipt) {
    for (const QByteArray& s : receipt)
        if (!link.SendData(s)) return false;
    link.ClearInputBuffer();
    if (!link.SendData(cmd::kStatusRequest)) return false;
    timer.setEnabled(false);
    timer.setInterval(kSampleReplyWaitMs);
    timer.setEnabled(true);
    while (timer.isEnabled()) {
        link.yield();
        if (link.InputBufferCount() != 0) timer.setEnabled(false);
    }
    return true;
}

EraseEnd eraseFlash(CommLink& link, BatchRecording& batch, Timer& replyTimer) {
    // The reply to the connection test may still be waiting; it must not pass
    // for the erase's acknowledgement.
    link.ClearInputBuffer();
    if (!link.SendData(cmd::kEraseFlash)) return EraseEnd::Abandoned;
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
    // Every legacy colorization feature off, then the configuration closed so
    // that the printer stores it: after an erase the printer would otherwise
    // go on printing logos it no longer has.  Each switch is a command of its
    // own; one the operator cancels does not keep the others from going out.
    for (const QByteArray& command :
         {cmd::kTopLogoOff, cmd::kBottomLogoOff, cmd::kLegacyMarginOff, cmd::kLegacyWatermarkOff, cmd::kStoreSettings})
        link.SendData(command);
    link.WaitForPrinter();
    batch.InsertBatchPlayWait();
    return EraseEnd::Erased;
}

bool sendPaperType(CommLink& link, BatchRecording& batch, uint8_t type) {
    if (!(link.SendData(cmd::paperType(type)) && link.SendData(cmd::kStoreSettings))) return false;
    link.WaitForPrinter();
    batch.InsertBatchPlayWait();
    return true;
}

WatermarkResult defineWatermark(CommLink& link, BatchRecording& batch, const QString& logoPath,
                                const WatermarkDefinition& d, int chunk, TransferProgress& progress) {
    WatermarkResult r;
    const QByteArray definition = cmd::defineWatermark(d.logo, d.shading, d.watermark);
    if (!logoPath.isEmpty()) {
        progress.start(QFileInfo(logoPath).size() + definition.size());
        r.transfer = sendLogo(link, batch, logoPath, d.logo, chunk, progress);
        if (r.transfer != TransferEnd::Complete) {
            r.end = WatermarkEnd::LogoCutShort;
            return r;
        }
        r.logoBytes = progress.sent();
    }
    // Defined over its own logo, the watermark would replace the picture it
    // is made from.
    if (d.logo == d.watermark) {
        r.end = WatermarkEnd::SameNumber;
        return r;
    }
    // A Cancel during the logo's flash write holds back the definition.
    r.transfer = progress.cancelRequested() ? TransferEnd::Cancelled : link.SendPiece(definition, progress);
    if (r.transfer != TransferEnd::Complete) {
        r.end = WatermarkEnd::DefinitionCutShort;
        return r;
    }
    link.WaitForPrinter();
    batch.InsertBatchPlayWait();
    // The definition centres; what is printed next must not be.
    if (!link.SendData(cmd::kLeftJustify)) r.end = WatermarkEnd::NotLeftJustified;
    return r;
}

bool printWatermarkSample(CommLink& link, uint8_t watermark) {
    return link.SendData(cmd::watermarkSwitch(true, watermark)) && sendSampleLines(link) &&
           link.SendData(cmd::watermarkSwitch(false, watermark)) && link.SendData(cmd::kFeed);
}

bool printMarginSample(CommLink& link, MarginSide side, uint8_t n) {
    return link.SendData(cmd::marginMessage(uint8_t(side), n)) && sendSampleLines(link) &&
           link.SendData(cmd::marginMessage(uint8_t(MarginSide::Off), n)) && link.SendData(cmd::kFeed);
}

}  // namespace rastiv

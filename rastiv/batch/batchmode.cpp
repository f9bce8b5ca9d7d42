#include "batch/batchmode.hpp"

#include "app/messages.hpp"
#include "app/modGlobal.hpp"
#include "app/pixmill.hpp"

namespace rastiv {

const QByteArray kBatchPauseMarker("Morvex<PaUsE-pAuSe-PaUsE>xevroM");

FileRequest batchFileRequest(const QString& startFolder, const QString& defaultExtension) {
    FileRequest r;
    r.mode = FileRequest::Mode::Open;
    r.startFolder = startFolder;
    r.title = QStringLiteral("Open a Batch File");
    r.filter = QStringLiteral("CPB file (*.cpb)|*.cpb|All Files (*.*)|*.*");
    r.defaultExtension = defaultExtension;
    return r;
}

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
    pixmill_.PixmillSetMessageHook(&BatchRecording::showLibraryMessage, this);
}

void BatchRecording::OpenBatchFile(const QString& FileName, bool bWrite) {
    hookMessages();
    CloseBatchFile();
    g_.gBatchFileHandle = bWrite ? pixmill_.BatchOpenForWrite(FileName) : pixmill_.BatchOpenForRead(FileName);
    open_ = g_.gBatchFileHandle >= 0;
}

// The handle keeps its value after closing, so closing twice (the main
// window closes whether or not a file is open) would close whatever file
// has been given that number since.
void BatchRecording::CloseBatchFile() {
    if (!open_) return;
    open_ = false;
    pixmill_.BatchClose(g_.gBatchFileHandle);
}

bool BatchRecording::recordingNow() const {
    return g_.gBatchModeEnabled && !(g_.gSendingPrintSample && g_.gOmitPrintSampleData);
}

void BatchRecording::InsertBatchPlayWait() {
    if (recordingNow() && open_) pixmill_.BatchWrite(g_.gBatchFileHandle, kBatchPauseMarker);
}

void BatchRecording::WriteBatchFile(const QByteArray& cData) {
    if (recordingNow() && open_) pixmill_.BatchWrite(g_.gBatchFileHandle, cData);
}

}  // namespace rastiv

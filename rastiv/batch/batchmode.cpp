#include "batch/batchmode.hpp"

#include "app/env.hpp"
#include "app/messages.hpp"
#include "app/modGlobal.hpp"
#include "app/pixmill.hpp"
#include "app/settings.hpp"

#include <QFileInfo>

namespace rastiv {

const QByteArray kBatchPauseMarker("Morvex<PaUsE-pAuSe-PaUsE>xevroM");

namespace {
constexpr int kBatchHelpTopic = 15;
}  // namespace

FileRequest batchFileRequest(const QString& startFolder, const QString& defaultExtension) {
    FileRequest r;
    r.mode = FileRequest::Mode::Open;
    r.startFolder = startFolder;
    r.title = QStringLiteral("Open a Batch File");
    r.filter = QStringLiteral("CPB file (*.cpb)|*.cpb|All Files (*.*)|*.*");
    r.defaultExtension = defaultExtension;
    return r;
}

FileChoice chooseRecordingFile(const Env& env) {
    FileRequest r = batchFileRequest(env.settings.read(Key::InitBatDir), QStringLiteral(".CPB"));
    r.mustExist = false;
    for (;;) {
        const FileChoice chosen = env.files.ask(r);
        if (chosen.cancelled() || !QFileInfo::exists(chosen.path)) return chosen;
        const MsgResult answer =
            tell(env,
                 QStringLiteral("The file \"%1\" already exists.  Recording into it replaces everything it holds.  "
                                "Replace it?")
                     .arg(chosen.path),
                 QStringLiteral("Replace Batch File"), MsgIcon::Exclamation, kBatchHelpTopic, MsgButtons::OkCancel);
        if (answer == MsgResult::Ok) return chosen;
        r.startFolder = chosen.folder();
    }
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

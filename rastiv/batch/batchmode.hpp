// Batch recording: while it is on, every string written to the printer is
// also appended to a batch file, with a pause marker after each flash write.
#pragma once

#include <QByteArray>
#include <QString>

#include "app/filedialogs.hpp"
#include <cstdint>

namespace rastiv {

struct modGlobal;
class PixmillBinding;
class MessageBoxes;

// Where playback must wait for the printer: recognised by the library's reader.
extern const QByteArray kBatchPauseMarker;

// The Open dialog for batch files, in the folder used last for them.
FileRequest batchFileRequest(const QString& startFolder, const QString& defaultExtension);

struct Env;
// The file for a new recording, from the same dialog: a new name is
// accepted, and an existing file is replaced only when the operator agrees
// (a recording replaced by mistake is lost work); declining shows the
// dialog again.  Cancelled when no file was chosen.
FileChoice chooseRecordingFile(const Env& env);

class BatchRecording {
public:
    // The library's own batch messages are shown through `messages`.
    BatchRecording(modGlobal& g, PixmillBinding& pixmill, MessageBoxes& messages)
        : g_(g), pixmill_(pixmill), messages_(messages) {}

    // bWrite: create anew for recording; otherwise open for playback.  The
    // handle (-1 on failure, after the library's own message) lands in
    // gBatchFileHandle.
    void OpenBatchFile(const QString& FileName, bool bWrite);
    // Closes the file opened last, once; later calls do nothing.
    void CloseBatchFile();
    // A pause marker, unless recording is off or print samples are omitted.
    void InsertBatchPlayWait();
    // A copy of what was written to the port, under the same condition.
    void WriteBatchFile(const QByteArray& cData);

    bool isOpen() const { return open_; }

private:
    bool recordingNow() const;
    void hookMessages();
    static void showLibraryMessage(const char* text, const char* title, void* self);

    modGlobal& g_;
    PixmillBinding& pixmill_;
    MessageBoxes& messages_;
    bool open_ = false;
    bool hooked_ = false;
};

}  // namespace rastiv

// Batch recording and playback.  While recording is on, every string written
// to the printer is also appended to a batch file, with a pause marker after
// each flash write; playback sends a file's bytes again and answers each
// pause with WaitForPrinter.  The files are the image library's: the link
// reaches its batch exports through BatchFiles, which the program's binding
// of the library implements.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>

#include "link/transferprogress.hpp"

namespace rastiv {

class CommLink;
class MessageBoxes;

// The image library's batch file exports.  When an export cannot be called:
// open gives -1, write, read and close give 0 (the library's own failure values).
class BatchFiles {
public:
    // The library's message hook (see pixmill.h).
    using MessageHook = void (*)(const char* text, const char* title, void* user);

    virtual ~BatchFiles() = default;
    virtual int32_t BatchOpenForWrite(const QString& path) = 0;
    virtual int32_t BatchOpenForRead(const QString& path) = 0;
    virtual int32_t BatchWrite(int32_t handle, const QByteArray& bytes) = 0;
    // Reads up to count bytes (never more than buffer holds) into buffer;
    // count and pause are set as the library reports them.  1 while more follows.
    virtual int32_t BatchRead(int32_t handle, QByteArray& buffer, int32_t& count, int32_t& pause) = 0;
    virtual int32_t BatchClose(int32_t handle) = 0;
    virtual void PixmillSetMessageHook(MessageHook hook, void* user) = 0;
};

// Where playback must wait for the printer: recognised by the library's reader.
extern const QByteArray kBatchPauseMarker;

class BatchRecording {
public:
    // The library's own batch messages are shown through `messages`.
    BatchRecording(BatchFiles& files, MessageBoxes& messages) : files_(files), messages_(messages) {}

    // Whether what is sent is recorded (gBatchModeEnabled).
    bool enabled() const { return gBatchModeEnabled; }
    void setEnabled(bool on) { gBatchModeEnabled = on; }
    // Whether print samples are left out of the recording (gOmitPrintSampleData).
    bool omitsPrintSamples() const { return gOmitPrintSampleData; }
    void setOmitPrintSamples(bool omit) { gOmitPrintSampleData = omit; }
    // Whether a print sample is being sent (see SendingPrintSample).
    bool sendingPrintSample() const { return gSendingPrintSample; }
    // The program starts with recording off and print samples left out.
    void startOff();

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
    // The next piece of a file opened for playback (see BatchFiles::BatchRead).
    int32_t ReadBatchFile(QByteArray& buffer, int32_t& count, int32_t& pause);

    bool isOpen() const { return open_; }

private:
    friend class SendingPrintSample;
    bool recordingNow() const;
    void hookMessages();
    static void showLibraryMessage(const char* text, const char* title, void* self);

    BatchFiles& files_;
    MessageBoxes& messages_;
    bool open_ = false;
    bool hooked_ = false;
    bool gBatchModeEnabled = false;
    bool gOmitPrintSampleData = true;
    bool gSendingPrintSample = false;
    int32_t gBatchFileHandle = 0;
};

struct Playback {
    TransferEnd end = TransferEnd::Complete;  // Abandoned also when the file could not be opened
    bool downloadEnded = false;               // Cancel came inside a logo download, which playback then ended
};

// Plays the file at `path` to the printer on `link`: the recorded bytes in
// pieces of at most 100, each pause answered with WaitForPrinter.
// `progress` is started with the file's size and counts every byte read
// past, a pause marker's too; `waiting` is told when the printer is waited
// for (true) and when sending goes on (false).
//
// A Cancel takes effect between two pieces.  When the printer is then inside
// a command, the file is played on to that command's end (and no further),
// so that no half command goes out; when it is inside a logo download, the
// download is ended with 1D 23 00, after the wait for the flash write when
// the logo had gone out whole.
Playback playBatchFile(CommLink& link, BatchRecording& batch, const QString& path, TransferProgress& progress,
                       const std::function<void(bool waiting)>& waiting);

}  // namespace rastiv

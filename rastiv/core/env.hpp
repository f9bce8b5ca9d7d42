// What a dialog may use: the shared state and the program's seams.  Dialogs
// get this, never the main window; tests build it from fakes.
#pragma once

#include "link/messages.hpp"

#include <QString>
#include <cstdint>

class QImage;

namespace rastiv {

struct modGlobal;
class PixmillBinding;
class FileDialogs;
class SettingsStore;
class Clock;
class Desktop;
class CommLink;
class BatchRecording;

struct Env {
    modGlobal& g;
    PixmillBinding& pixmill;
    MessageBoxes& messages;
    FileDialogs& files;
    SettingsStore& settings;
    Clock& clock;
    Desktop& desktop;
    CommLink& link;        // the printer link: SendData, WaitForPrinter, the port routines
    BatchRecording& batch; // the batch recording that everything sent is copied into
    QString workDir;  // "the program's directory" for the working files

    QString workPath(const char* name) const { return workDir + QStringLiteral("/") + QString::fromLatin1(name); }
};

// The few operations of the main window that the image dialogs use, so that
// they need not know the window.
class Workflow {
public:
    virtual ~Workflow() = default;
    virtual void ShowBitmap(const QString& path) = 0;
    // Shows a picture that no file holds (yet), at one screen pixel per
    // picture pixel, leaving the picture's size as the file says.
    virtual void ShowPicture(const QImage& picture) { (void)picture; }
    virtual void ReadBitmapSize(const QString& path) = 0;
    virtual void MoveStepMarker(int step) = 0;  // 1..5
    virtual void EnableButtons() = 0;
    virtual void DisableButtons() = 0;
    // The working bitmap, as it is now, has been saved to a file.
    virtual void PictureSaved() {}
};

// "Error #" + N in the program's number form: status 12 reads "Error # 12".
QString errorNumber(int32_t status);

// Shows a box with this program's help file; topic -1 = no help.  The
// informative text is the box's visible second paragraph.
MsgResult tell(const Env& env, const QString& text, const QString& title, MsgIcon icon, int helpTopic = -1,
               MsgButtons buttons = MsgButtons::Ok, const QString& details = {}, const QString& informative = {});

}  // namespace rastiv

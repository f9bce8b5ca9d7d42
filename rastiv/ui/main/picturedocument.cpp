#include "ui/main/picturedocument.hpp"

#include "link/clock.hpp"
#include "core/loadproblem.hpp"
#include "core/modUserGfx.hpp"
#include "core/picturepipeline.hpp"
#include "core/pixmill.hpp"
#include "core/printable.hpp"
#include "core/settings.hpp"
#include "ui/common/waitcursor.hpp"

#include <QFile>

namespace rastiv {

QString notLoadedText() { return QStringLiteral("You have not loaded a BMP file into this utility yet."); }

namespace {
QString tooWideText() {
    return QStringLiteral("The bitmap is too wide.  Make sure to Re-size it before modifying the colors or saving it "
                          "as a graphic or logo.");
}
}  // namespace

PictureDocument::PictureDocument(Env& env, WorkingPicture& picture, Workflow& window, QObject* parent)
    : QObject(parent), env_(env), picture_(picture), window_(window), history_(env.workDir) {}

bool PictureDocument::hasUnsavedChanges() {
    if (!picture_.loaded()) return false;
    recordChange();
    return history_.unsaved();
}

bool PictureDocument::mayReplace(const QString& doing) {
    if (!hasUnsavedChanges()) return true;
    Message m;
    m.text = QStringLiteral("Save the changes to the picture before %1?").arg(doing);
    m.informative = QStringLiteral("Changes you do not save are lost.  The file you loaded stays as it was.");
    m.title = QStringLiteral("Rastiv");
    m.icon = MsgIcon::Exclamation;
    m.buttons = MsgButtons::SaveDiscardCancel;
    switch (env_.messages.show(m)) {
        case MsgResult::Discard: return true;
        case MsgResult::Save:
            if (save) save();
            return !history_.unsaved();
        default: return false;
    }
}

// A picture without a file (pasted, or dragged from another program) takes
// the same way from a 24-bit copy in the working folder.
void PictureDocument::loadImage(const QImage& picture, const QString& name) {
    const ImportedPicture in = importImage(picture, importTarget());
    adopt(in);
    if (in.kind != ImportedPicture::Kind::Converted) {
        tell(env_, QStringLiteral("The picture could not be loaded."), QStringLiteral("Rastiv"), MsgIcon::Exclamation,
             1, MsgButtons::Ok, in.problem);
        window_.EnableButtons();
        return;
    }
    loadPrepared(in.path, name, {});
}

// Each picture brought in from another format gets a name of its own, so
// that the copy of the picture before stays intact until this one has
// replaced it.
QString PictureDocument::importTarget() const { return env_.workPath("picture%1.bmp").arg(importSerial_ + 1); }

void PictureDocument::adopt(const ImportedPicture& in) {
    if (in.kind != ImportedPicture::Kind::Converted) return;
    QFile::remove(env_.workPath("picture%1.bmp").arg(importSerial_));
    ++importSerial_;
}

void PictureDocument::load(const FileChoice& choice) {
    env_.settings.write(Key::InitInBmpDir, choice.folder());
    env_.settings.write(Key::InitInDir, choice.folder());
    ImportedPicture in = importPicture(choice.path, importTarget());
    // A bitmap the library does not read may still be a proper picture
    // (RLE8, 32 bits per pixel): the picture readers bring it in instead.
    if (in.kind == ImportedPicture::Kind::Bitmap && leftToPictureReaders(env_.pixmill, choice.path)) {
        const ImportedPicture read = importWithReaders(choice.path, importTarget());
        if (read.kind == ImportedPicture::Kind::Converted) in = read;
    }
    adopt(in);
    loadPrepared(in.path, choice.name, in.problem);
}

void PictureDocument::loadPrepared(const QString& original, const QString& name, const QString& readerProblem) {
    const QString before = picture_.original;
    const bool hadPicture = picture_.loaded();
    picture_.original = original;
    env_.clock.pumpEvents();
    auto refuse = [&](const QString& text) {
        const QString d = loadProblemDetails(env_.pixmill, original);
        tell(env_, text, QStringLiteral("PIXMILL DLL Error"), MsgIcon::Exclamation, 1, MsgButtons::Ok,
             readerProblem.isEmpty() ? d : d + QStringLiteral("\n") + readerProblem,
             loadAdvice(env_.pixmill, original));
        // The library wrote nothing: the picture loaded before is still the working one.
        if (hadPicture) picture_.original = before;
        window_.EnableButtons();
    };

    picture_.current = env_.workPath("tmpfile.bmp");
    // A wide true-colour picture gets one box that says both things.
    const HeaderSize size = readHeaderSize(original);
    bool toldTooWide = false;
    if (needsConversion(env_.pixmill, original)) {
        toldTooWide = size.ok && size.width > kMaxPrintWidth;
        tell(env_,
             QStringLiteral("This bitmap has 24 bits/pixel.  The utility will convert this to 8 bits/pixel before "
                            "continuing.  This could take a few minutes."),
             QStringLiteral("Bitmap Translation Message"), MsgIcon::Information, -1, MsgButtons::Ok, {},
             toldTooWide ? tooWideText() : QString());
        StepResult r;
        {
            WaitCursor hourglass;
            r = loadWorkingCopy(env_.pixmill, original, picture_.current, true);
        }
        if (!r.ok()) return refuse(stepError(r));
        window_.ShowBitmap(picture_.current);
    } else {
        if (const StepResult r = loadWorkingCopy(env_.pixmill, original, picture_.current, false); !r.ok())
            return refuse(stepError(r));
        window_.ShowBitmap(original);
    }

    window_.MoveStepMarker(2);
    name_ = name;
    history_.start(picture_.current, PictureState::of(picture_));
    emit loaded();
    window_.EnableButtons();
    if (picture_.widthOrZero() > kMaxPrintWidth && !toldTooWide)
        tell(env_, tooWideText(), QStringLiteral("Bitmap Size Error"), MsgIcon::Information, 1);
}

void PictureDocument::rotate(int32_t direction) {
    WaitCursor hourglass;
    const QString pdl = QStringLiteral("PIXMILL DLL Error");
    if (!picture_.loaded()) {
        hourglass.restore();
        tell(env_, notLoadedText(), QStringLiteral("Re-size Error"), MsgIcon::Exclamation, 1);
    } else {
        window_.DisableButtons();
        const StepResult r = rotateWorkingCopy(env_.pixmill, picture_.current, env_.workDir, direction);
        if (!r.ok()) {
            hourglass.restore();
            // Only the copy names a file the operator can do something about.
            const bool copying = r.stage == PictureStage::CopyForRotation;
            tell(env_, stepError(r), pdl, MsgIcon::Exclamation, 10, MsgButtons::Ok, {},
                 copying ? fileAdvice(env_.pixmill, r.status, picture_.current) : QString());
        } else {
            window_.ShowBitmap(picture_.current);
        }
    }
    hourglass.restore();
    env_.clock.pumpEvents();
    window_.EnableButtons();
    recordChange(direction == PIXMILL_TURN_CLOCKWISE ? QStringLiteral("Rotate +90") : QStringLiteral("Rotate -90"));
}

bool PictureDocument::recordChange(const QString& what) {
    if (!picture_.loaded()) return false;
    const QString name = what.isEmpty() ? QStringLiteral("Edit in the Paint Program") : what;
    const bool changed = history_.noteChange(picture_.current, PictureState::of(picture_), name);
    emit historyChanged();
    return changed;
}

// The step marker and the colour steps' findings come back with the pixels.
void PictureDocument::restore(const std::optional<PictureState>& state) {
    if (!state) return;
    state->restoreInto(picture_);
    window_.ShowBitmap(picture_.current);
    window_.MoveStepMarker(state->step);
    emit historyChanged();
}

void PictureDocument::undo() {
    // A change made outside the program (in a paint program) is a step too.
    recordChange();
    restore(history_.undo(picture_.current));
}

void PictureDocument::redo() { restore(history_.redo(picture_.current)); }

void PictureDocument::markSaved() {
    recordChange();
    history_.markSaved();
    emit historyChanged();
}

}  // namespace rastiv

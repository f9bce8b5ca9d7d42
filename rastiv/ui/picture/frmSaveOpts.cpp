#include "ui/picture/frmSaveOpts.hpp"

#include "core/printable.hpp"
#include "link/clock.hpp"
#include "ui/common/dialogform.hpp"
#include "ui/common/f1help.hpp"
#include "core/filedialogs.hpp"
#include "core/modGlobal.hpp"
#include "core/picturepipeline.hpp"
#include "core/pixmill.hpp"
#include "core/settings.hpp"

#include "core/loadproblem.hpp"

#include "core/placement.hpp"

#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>

namespace rastiv {

namespace {
constexpr int kHelpTopic = 4;

// What differs between the three kinds of file.
struct KindInfo {
    bool widthCheck;
    Key folder;
    const char* title;
    const char* filter;
    const char* noFileTitle;
    const char* extension;  // added to a name typed without one
    const char* what;       // for the status line
};

KindInfo infoFor(SaveKind kind) {
    switch (kind) {
        case SaveKind::Bmp:
            return {false, Key::InitOutBmpDir, "Save a Bitmap File", "BMP file (*.bmp)|*.bmp|All Files (*.*)|*.*",
                    "Save Error", ".bmp", "the bitmap"};
        case SaveKind::Gfx:
            return {true, Key::InitGfxDir, "Save a Graphics File",
                    "Graphics file (*.gfx)|*.gfx|All Files (*.*)|*.*", "Save Warning", ".gfx", "the graphics file"};
        case SaveKind::Logo:
            break;
    }
    return {true, Key::InitLgoDir, "Save a Logo File", "Logo file (*.lgo)|*.lgo|All Files (*.*)|*.*",
            "Save Warning", ".lgo", "the logo file"};
}

QString failureText(SaveKind kind, int32_t r) {
    switch (kind) {
        case SaveKind::Bmp: return QStringLiteral("Error saving bitmap file.\r\n") + errorNumber(r);
        case SaveKind::Gfx: return errorNumber(r) + QStringLiteral(" saving the BMP file as a graphics (*.GFX) file.");
        case SaveKind::Logo: break;
    }
    return errorNumber(r) + QStringLiteral(" saving the BMP file as a logo (*.LGO) file.");
}
}  // namespace

int32_t saveWorkingPicture(Env& env, const WorkingPicture& picture, SaveKind kind, const QString& file) {
    switch (kind) {
        case SaveKind::Bmp: return env.pixmill.SaveBMP(picture.current, file);
        case SaveKind::Gfx:
            return saveBMPAsPlacedGfx(env.pixmill, picture.current, file, env.g.paperKind(),
                                      storedPlacement(env.settings), env.workPath("tmpplaced.bmp"));
        case SaveKind::Logo: break;
    }
    return env.pixmill.SaveBMPAsLogo(picture.current, file, env.g.paperKind());
}

void tellSaveFailed(Env& env, const WorkingPicture& picture, SaveKind kind, int32_t r, const QString& file) {
    // A printer file of a picture still in too many colours is the usual
    // refusal: say what to do about it.
    const QString advice = kind != SaveKind::Bmp && r == PIXMILL_E_FORMAT
                               ? unprintableColoursAdvice(picture.current, env.g.paperKind())
                               : fileAdvice(env.pixmill, r, picture.current, file);
    tell(env, failureText(kind, r), QStringLiteral("Save Error"), MsgIcon::Exclamation, kHelpTopic, MsgButtons::Ok, {},
         advice);
}

frmSaveOpts::frmSaveOpts(Env& env, const WorkingPicture& picture, Workflow& main, QWidget* parent)
    : QDialog(parent), env_(env), picture_(picture), main_(main) {
    // Wider than its buttons, so that the title bar shows the whole title,
    // with room under them for the status line.
    setUpDialog(*this, "frmSaveOpts", QStringLiteral("Save Options"), kHelpTopic, {289, 185});

    auto button = [this](QPushButton*& b, const char* name, const char* caption, int y) {
        b = makeButton(this, name, QString::fromUtf8(caption), {8, y, 145, 25});
    };
    button(cmdSaveLogo, "cmdSaveLogo", "Save &Logo Definition", 8);
    button(cmdSaveGfx, "cmdSaveGfx", "Save &Graphics Definition", 40);
    button(cmdSaveBMP, "cmdSaveBMP", "Save &BMP File", 72);
    button(cmdExit, "cmdExit", "E&xit", 104);
    lblStatus = makeLabel(this, "lblStatus", {}, {8, 136, 273, 41});
    lblStatus->setWordWrap(true);
    lblStatus->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    cbPlacement = makePlacementChoice(this, env_.settings,
                                      QStringLiteral("Where a graphics file prints a picture narrower than the paper."),
                                      {161, 40, 120, 17}, {161, 60, 120, 25}, lblPlacement);
    QWidget::setTabOrder(cmdSaveLogo, cmdSaveGfx);
    QWidget::setTabOrder(cmdSaveGfx, cbPlacement);
    QWidget::setTabOrder(cbPlacement, cmdSaveBMP);
    QWidget::setTabOrder(cmdSaveBMP, cmdExit);
    cmdSaveLogo->setFocus();

    connect(cmdSaveLogo, &QPushButton::clicked, this, &frmSaveOpts::cmdSaveLogo_Click);
    connect(cmdSaveGfx, &QPushButton::clicked, this, &frmSaveOpts::cmdSaveGfx_Click);
    connect(cmdSaveBMP, &QPushButton::clicked, this, &frmSaveOpts::cmdSaveBMP_Click);
    connect(cmdExit, &QPushButton::clicked, this, &frmSaveOpts::cmdExit_Click);
}

void frmSaveOpts::cmdSaveLogo_Click() { save(SaveKind::Logo); }
void frmSaveOpts::cmdSaveGfx_Click() { save(SaveKind::Gfx); }
void frmSaveOpts::cmdSaveBMP_Click() { save(SaveKind::Bmp); }
void frmSaveOpts::cmdExit_Click() { accept(); }

void frmSaveOpts::save(SaveKind kind) {
    const KindInfo info = infoFor(kind);
    setEnabled(false);
    [&] {
        if (info.widthCheck && picture_.widthOrZero() > kMaxPrintWidth) {
            tell(env_,
                 QStringLiteral("The bitmap is too wide.  Make sure to re-size it before modifying the colors or "
                                "saving it as a graphic or logo."),
                 QStringLiteral("Bitmap Size Error"), MsgIcon::Information, 1);
            return;
        }
        FileRequest request;
        request.mode = FileRequest::Mode::Save;
        request.startFolder = env_.settings.read(info.folder);
        request.title = QString::fromLatin1(info.title);
        request.askBeforeOverwrite = true;
        request.filter = QString::fromLatin1(info.filter);
        request.defaultExtension = QString::fromLatin1(info.extension);
        const FileChoice choice = env_.files.ask(request);
        env_.clock.pumpEvents();
        if (choice.cancelled()) {
            tell(env_, QStringLiteral("No file specified.  Nothing has been saved."),
                 QString::fromLatin1(info.noFileTitle), MsgIcon::Information, kHelpTopic);
            lblStatus->setText(QStringLiteral("Not saved: no file was chosen."));
            return;
        }
        env_.settings.write(info.folder, choice.folder());
        const QString file = destination(kind, choice);
        if (file.isEmpty()) {
            lblStatus->setText(QStringLiteral("Not saved: the file that is there was kept."));
            return;
        }
        const int32_t r = saveWorkingPicture(env_, picture_, kind, file);
        if (r != 0) {
            tellSaveFailed(env_, picture_, kind, r, file);
            lblStatus->setText(QStringLiteral("Not saved: ") + errorNumber(r) + u'.');
            return;
        }
        lblStatus->setText(QStringLiteral("Done: %1 was saved as %2.").arg(QString::fromLatin1(info.what), file));
        lastSaved_ = SavedFile{kind, file};
        main_.PictureSaved();
    }();
    env_.clock.pumpEvents();
    setEnabled(true);
    cmdExit->setFocus();
}

// The chosen file, with the kind's extension when the name has none, as the
// file dialog adds it.  A name made here was not asked about by the dialog:
// an existing file of that name is replaced only when the operator agrees.
// Empty when not.
QString frmSaveOpts::destination(SaveKind kind, const FileChoice& choice) {
    if (!QFileInfo(choice.name).suffix().isEmpty() || choice.name.endsWith(u'.')) return choice.path;
    const QString file = choice.path + QString::fromLatin1(infoFor(kind).extension);
    if (!QFileInfo::exists(file)) return file;
    const MsgResult replace =
        tell(env_, QStringLiteral("%1 already exists.  Do you want to replace it?").arg(file),
             QString::fromLatin1(infoFor(kind).title), MsgIcon::Exclamation, kHelpTopic, MsgButtons::OkCancel);
    return replace == MsgResult::Ok ? file : QString();
}

void frmSaveOpts::done(int result) {
    Form_Unload();
    QDialog::done(result);
}

void frmSaveOpts::Form_Unload() {
    if (unloaded_) return;
    unloaded_ = true;
    main_.MoveStepMarker(5);
    main_.EnableButtons();
}

}  // namespace rastiv

// The main window's own work: the five steps, the step marker and the
// buttons it keeps, the title and the status bar, and the ways a picture
// comes in (Load Bitmap, the command line, a drop, a paste).
#include "ui/main/frmMain.hpp"

#include "core/batchmode.hpp"
#include "core/desktop.hpp"
#include "core/filedialogs.hpp"
#include "core/modGlobal.hpp"
#include "core/modUserGfx.hpp"
#include "core/numtext.hpp"
#include "core/pictureimport.hpp"
#include "core/pixmill.hpp"
#include "core/picturepipeline.hpp"
#include "core/printable.hpp"
#include "core/settings.hpp"
#include "link/commlink.hpp"
#include "link/regularfile.hpp"
#include "ui/common/dialogform.hpp"
#include "ui/common/f1help.hpp"
#include "ui/common/frmSplash.hpp"
#include "ui/picture/frmColors.hpp"
#include "ui/picture/frmPhoto.hpp"
#include "ui/picture/frmResize.hpp"
#include "ui/picture/frmSaveOpts.hpp"

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>

namespace rastiv {

namespace {
constexpr int kMarkerOffset = 5;  // the marker's left edge sits this far left of its step label

// Short enough that the status bar shows all of it at the window's smallest
// size.  A photograph's colours take the Photo path: Modify Colors would
// fold them into a few flat ones.
QString nextStepText(int step, bool photograph) {
    switch (step) {
        case 1: return QStringLiteral("Next: Step 1, Load Bitmap");
        case 2:
            return photograph ? QStringLiteral("Next: Step 2, Re-size, or Photo")
                              : QStringLiteral("Next: Step 2, Re-size");
        case 3:
            return photograph ? QStringLiteral("Next: Step 3, Photo or Modify Colors")
                              : QStringLiteral("Next: Step 3, Modify Colors");
        case 4: return QStringLiteral("Next: Step 4, Save Options");
        default: return QStringLiteral("Next: the Tools, or Exit");
    }
}

bool isBatchFile(const QString& path) { return path.endsWith(QStringLiteral(".cpb"), Qt::CaseInsensitive); }

// The first local file among dropped or copied addresses.
QString firstLocalFile(const QMimeData* data) {
    if (!data) return {};
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) return url.toLocalFile();
    return {};
}
}  // namespace

frmMain::frmMain(Env& env, QWidget* parent) : QMainWindow(parent), env_(env), document_(env, picture_, *this) {
    endProgram = [] { QCoreApplication::exit(0); };
    createControls();
    lbNextStep->setText(nextStepText(1, false));
    createMenus();
    setTabOrder();
    connectSignals();
    Form_Load();
}

frmMain::~frmMain() {
    if (about_) delete about_.data();
}

void frmMain::Form_Load() {
    // The final size first: Qt forgets that a window's position includes its
    // frame when the window is sized after being moved, and a window manager
    // then puts the client area at the corner and the title bar off screen.
    adjustSize();
    move(0, 0);

    // A spacing outside 1..255, missing or unreadable, goes back to the default.
    const double stored = roundHalfEven(leadingNumber(env_.settings.read(Key::TopLogoSpacing, QStringLiteral("-1"))));
    if (stored < 1 || stored > 255) {
        env_.g.gTopLogoSpacing = 128;
        env_.settings.write(Key::TopLogoSpacing, QStringLiteral("128"));
    } else {
        env_.g.gTopLogoSpacing = int16_t(stored);
    }


    if (env_.settings.read(Key::ScreenColor) == QLatin1String("None")) SetScreenRed();
    if (env_.settings.read(Key::ScreenColor) == QLatin1String("Blue")) SetScreenBlue();
    else SetScreenRed();

    env_.link.startUnconnected();
    env_.batch.startOff();
}

void frmMain::closeEvent(QCloseEvent* event) {
    // A sequence to the printer ends through its own steps, never halfway.
    if (env_.link.transferring() || (!unloaded_ && !mayReplacePicture(QStringLiteral("quitting")))) {
        event->ignore();
        return;
    }
    Form_Unload();
    event->accept();
}

bool frmMain::mayReplacePicture(const QString& doing) { return document_.mayReplace(doing); }

void frmMain::Form_Unload() {
    if (unloaded_) return;
    unloaded_ = true;
    env_.batch.CloseBatchFile();
    if (about_) about_->close();
    if (endProgram) endProgram();
}

void frmMain::keyPressEvent(QKeyEvent* event) {
    // Enter anywhere but on a button means Load Bitmap, the default button.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && cmdLoad->isEnabled()) {
        cmdLoad->click();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

QLabel* frmMain::stepLabel(int step) const {
    switch (step) {
        case 1: return lbStep1;
        case 2: return lbStep2;
        case 3: return lbStep3;
        case 4: return lbStep4;
        default: return lbStep5;
    }
}

QPushButton* frmMain::stepButton(int step) const {
    switch (step) {
        case 1: return cmdLoad;
        case 2: return cmdResize;
        case 3: return cmdColor;
        case 4: return cmdSaveOpts;
        default: return cmdPrint;  // step 5 is "Exit, or the Tools"
    }
}

// Disabling the focused button moves the focus along to the one button
// left enabled, Exit, where the next Enter would end the program.  The
// rotations keep it, to be pressed again; everything else hands it to the
// step the marker points at.
void frmMain::focusHarmless() {
    QWidget* keep = focusBeforeBusy_;
    if (keep != cmdRotLeft && keep != cmdRotRight) keep = stepButton(picture_.step);
    keep->setFocus();
}

QList<QPushButton*> frmMain::busyButtons() const {
    return {cmdLoad, cmdResize, cmdColor, cmdSaveOpts, cmdPrint, cmdLogo,
            cmdLegacy, cmdRotLeft, cmdRotRight, cmdShowCurrentBMP, cmdShowOriginalBMP, cmdPhoto};
}

void frmMain::DisableButtons() {
    if (!busy_) focusBeforeBusy_ = focusWidget();
    for (QPushButton* b : busyButtons()) b->setEnabled(false);
    busy_ = true;
    updateEditActions();
}

void frmMain::EnableButtons() {
    for (QPushButton* b : busyButtons()) b->setEnabled(true);
    cmdExit->setEnabled(true);
    busy_ = false;
    updateEditActions();
    focusHarmless();
}

void frmMain::MoveStepMarker(int step) {
    picture_.step = step;
    shBox->move(stepLabel(step)->x() - kMarkerOffset, 0);
    // The marker moves after every change of the picture: the time to look again.
    coloursUsed_ = picture_.loaded() ? coloursUsed(env_.pixmill, picture_.current) : 0;
    lbNextStep->setText(nextStepText(step, isPhotograph(coloursUsed_)));
}

void frmMain::PictureSaved() { document_.markSaved(); }

QString frmMain::statusText() const { return lbStatus->text(); }

// What was done last and how it ended, until the next thing is done.
void frmMain::showStatus(const QString& text) {
    lbStatus->setText(text);
    lbStatus->setToolTip(text);
}

void frmMain::updateTitle() {
    const QString& name = document_.name();
    // "[*]" is where the desktop marks changes that no file holds yet.
    QString title = name.isEmpty() ? QStringLiteral("Rastiv[*]") : name + QStringLiteral("[*] - Rastiv");
    if (env_.batch.enabled() && env_.batch.isOpen())
        title += QStringLiteral(" (recording to %1)").arg(QFileInfo(recordingFile_).fileName());
    setWindowTitle(title);
}

void frmMain::ReadBitmapSize(const QString& path) {
    const HeaderSize s = readHeaderSize(path);
    if (!s.ok) {
        tell(env_, QStringLiteral("%1: %2").arg(s.errorNumber).arg(s.description), QStringLiteral("Rastiv"),
             MsgIcon::Stop);
        return;
    }
    picture_.width = s.width;
    picture_.height = s.height;
}

void frmMain::ShowBitmap(const QString& path) {
    ReadBitmapSize(path);
    picArea->hidePicture();
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    const QImage picture = reader.read();
    if (picture.isNull()) {
        tell(env_, QStringLiteral("%1: %2").arg(kErrInvalidPicture).arg(QStringLiteral("Invalid picture")),
             QStringLiteral("Rastiv"), MsgIcon::Stop);
        return;
    }
    // At 100% one screen pixel per picture pixel.  The header's size is used
    // as it stands, except where it cannot be a widget's size (a top-down
    // bitmap has a negative height, which reads as a huge unsigned one).
    constexpr uint32_t kWidgetLimit = 32767;
    int w = picture.width(), h = picture.height();
    if (picture_.width && picture_.height && *picture_.width <= kWidgetLimit && *picture_.height <= kWidgetLimit) {
        w = int(*picture_.width);
        h = int(*picture_.height);
    }
    picArea->showPicture(picture, QSize(w, h));
}

void frmMain::ShowPicture(const QImage& picture) { picArea->showPicture(picture, picture.size()); }

void frmMain::mnuViewFit_Click() { picArea->fit(); }
void frmMain::mnuViewActual_Click() { picArea->actualSize(); }

bool frmMain::requireBitmap(const QString& title) {
    if (picture_.loaded()) return true;
    tell(env_, notLoadedText(), title, MsgIcon::Exclamation, 1);
    return false;
}

// The marker stays where it is until a picture has been loaded: a
// cancelled or failed load leaves the picture that is there, and its step.
void frmMain::cmdLoad_Click() {
    if (!mayReplacePicture(QStringLiteral("loading another picture"))) return;
    DisableButtons();
    MoveStepMarker(picture_.step);  // squarely on its step, where it stays

    FileRequest request;
    request.mode = FileRequest::Mode::Open;
    request.startFolder = env_.settings.read(Key::InitInBmpDir);
    request.title = QStringLiteral("Open a Bitmap File");
    request.defaultExtension = QStringLiteral(".BMP");
    const QString pictures = pictureExtensions().replace(u' ', u';');
    request.filter = QStringLiteral("All pictures (%1)|%1|BMP file (*.bmp)|*.bmp|All Files (*.*)|*.*").arg(pictures);
    const FileChoice choice = env_.files.ask(request);
    if (choice.cancelled()) {
        EnableButtons();
        return;
    }
    loading_ = choice.path;
    document_.load(choice);
}

// A picture named on the command line, as a file manager passes it, or
// dropped on the window, loads as if it had been chosen with Load Bitmap.
void frmMain::loadFile(const QString& path) {
    const QFileInfo info(path);
    // Opening a FIFO would wait for a writer with the window frozen.
    if (const QString why = notRegularFileProblem(path); !why.isEmpty()) {
        tell(env_, why + u'.', QStringLiteral("Rastiv"), MsgIcon::Exclamation, 1);
        return;
    }
    if (isBatchFile(path)) {
        // A recording sends to a printer: that is never started by a double click.
        tell(env_,
             QStringLiteral("%1 is a batch file, not a picture, so nothing was opened.  To send it to a printer, "
                            "choose Play Batch File from the Batch Mode menu.")
                 .arg(info.fileName()),
             QStringLiteral("Rastiv"), MsgIcon::Information, 15);
        return;
    }
    if (!mayReplacePicture(QStringLiteral("loading another picture"))) return;
    DisableButtons();
    loading_ = info.absoluteFilePath();
    document_.load({info.absoluteFilePath(), info.fileName()});
}

// A picture without a file (pasted, or dragged from another program) takes
// the same way from a 24-bit copy in the working folder.
void frmMain::loadImage(const QImage& picture, const QString& name) {
    if (!mayReplacePicture(QStringLiteral("loading another picture"))) return;
    DisableButtons();
    loading_.clear();
    document_.loadImage(picture, name);
}

// "+90" turns clockwise and "-90" anticlockwise (library directions 2 and 1).
void frmMain::cmdRotLeft_Click() { document_.rotate(PIXMILL_TURN_CLOCKWISE); }
void frmMain::cmdRotRight_Click() { document_.rotate(PIXMILL_TURN_ANTICLOCKWISE); }

void frmMain::cmdResize_Click() {
    if (!requireBitmap(QStringLiteral("Re-size Error"))) return;
    DisableButtons();
    {
        frmResize dialog(env_, picture_, *this, this);
        runModal(dialog);
    }
    document_.recordChange(QStringLiteral("Re-size"));
    focusHarmless();
}

// Anything but a finished Re-Map (a cancel in either dialog, or a library
// error) puts the picture back as it was before Modify Colors; the reduced
// picture stays one Redo away.
void frmMain::cmdColor_Click() {
    if (!requireBitmap(QStringLiteral("Re-size Error"))) return;
    if (isPhotograph(coloursUsed_)) {
        Message m;
        m.title = QStringLiteral("Modify Colors");
        m.text = QStringLiteral("This picture looks like a photograph: it has %1 colours.").arg(coloursUsed_);
        m.informative = QStringLiteral("Photo keeps its tones as printer dots of black, white and %1.  Modify Colors "
                                       "folds it into a few flat colours, which suits drawings and logos.")
                            .arg(highlightName());
        m.icon = MsgIcon::Information;
        m.buttons = MsgButtons::ChoiceCancel;
        m.firstChoice = QStringLiteral("&Photo...");
        m.secondChoice = QStringLiteral("&Modify Colors...");
        const MsgResult answer = env_.messages.show(m);
        if (answer == MsgResult::Ok) cmdPhoto_Click();
        if (answer != MsgResult::Other) return;
    }
    modifyColours();
}

void frmMain::modifyColours() {
    document_.recordChange();
    DisableButtons();
    bool mapped = false;
    {
        // The translation, and the mapping it opens, hand the buttons back.
        frmColors dialog(env_, picture_, *this, this);
        runModal(dialog);
        mapped = dialog.mapped();
        if (mapped) picture_.colours = dialog.session();
    }
    if (mapped) {
        document_.recordChange(QStringLiteral("Modify Colors"));
    } else if (document_.recordChange(QStringLiteral("Modify Colors (not finished)"))) {
        document_.undo();
        showStatus(QStringLiteral("Modify Colors did not finish: the picture is as it was before.  Edit > Redo "
                                  "brings back the reduced colours."));
    }
    focusHarmless();
}

// The photograph path beside Modify Colors: one step that Undo takes back,
// and Save Options next, as after Re-Map!.
void frmMain::cmdPhoto_Click() {
    if (!requireBitmap(QStringLiteral("Photo"))) return;
    DisableButtons();
    bool applied = false;
    uint32_t fittedFrom = 0;
    {
        frmPhoto dialog(env_, picture_, *this, this);  // gives the buttons back however it closes
        applied = dialog.exec() == QDialog::Accepted;
        fittedFrom = dialog.fittedFrom();
    }
    document_.recordChange(QStringLiteral("Photo"));
    if (applied && fittedFrom)
        showStatus(QStringLiteral("Photo fitted the picture from %1 to %2 dots wide, the paper's width, and made it "
                                  "printer dots.  Edit > Undo brings the wide picture back.")
                       .arg(fittedFrom)
                       .arg(kMaxPrintWidth));
    (applied ? cmdSaveOpts : cmdPhoto)->setFocus();
}

void frmMain::cmdSaveOpts_Click() {
    if (!requireBitmap(QStringLiteral("Re-size Error"))) return;
    DisableButtons();
    {
        frmSaveOpts dialog(env_, picture_, *this, this);
        runModal(dialog);
        if (dialog.lastSaved()) lastSaved_ = dialog.lastSaved();
    }
    document_.recordChange();
    focusHarmless();
}

void frmMain::cmdExit_Click() { close(); }

void frmMain::cmdCrop_Click() {}

void frmMain::cmdMSPaint_Click() {
    if (!requireBitmap(QStringLiteral("Re-size Error"))) return;
    const QString program = env_.desktop.findPaintProgram();
    if (program.isEmpty() || !env_.desktop.startDetached(program, {picture_.current}))
        tell(env_, QStringLiteral("Unable to Launch MS Paint"), QStringLiteral("Application Error"),
             MsgIcon::Exclamation);
}

void frmMain::cmdShowOriginalBMP_Click() {
    if (picture_.original.isEmpty()) {
        tell(env_, notLoadedText(), QStringLiteral("Bitmap Error"), MsgIcon::Exclamation, 1);
        return;
    }
    ShowBitmap(picture_.original);
}

void frmMain::cmdShowCurrentBMP_Click() {
    if (!picture_.loaded()) {
        tell(env_, notLoadedText(), QStringLiteral("Bitmap Error"), MsgIcon::Exclamation, 1);
        return;
    }
    ShowBitmap(picture_.current);
}

void frmMain::mnuFileExit_Click() {
    if (env_.link.transferring() || !mayReplacePicture(QStringLiteral("quitting"))) return;
    unloaded_ = true;  // ends at once, without the unload steps
    if (endProgram) endProgram();
}

void frmMain::updateEditActions() {
    const bool idle = !busy_;
    const EditHistory& history = document_.history();
    mnuEditUndo->setEnabled(idle && history.canUndo());
    mnuEditRedo->setEnabled(idle && history.canRedo());
    mnuEditPaste->setEnabled(idle);
    setWindowModified(document_.history().unsaved());
    // "Undo Re-size", "Redo Modify Colors (not finished)": what the step is.
    auto caption = [](const char* verb, const QString& what) {
        return what.isEmpty() ? QString::fromLatin1(verb) : QString::fromLatin1(verb) + u' ' + what;
    };
    mnuEditUndo->setText(caption("&Undo", history.undoName()));
    mnuEditRedo->setText(caption("&Redo", history.redoName()));
}

void frmMain::mnuEditUndo_Click() {
    if (busy_) return;
    document_.undo();
}

void frmMain::mnuEditRedo_Click() {
    if (busy_) return;
    document_.redo();
}

void frmMain::mnuEditPaste_Click() {
    if (busy_) return;
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    const QString file = firstLocalFile(data);
    if (!file.isEmpty()) {
        loadFile(file);
    } else if (data && data->hasImage()) {
        loadImage(qvariant_cast<QImage>(data->imageData()), QStringLiteral("Pasted picture"));
    } else {
        showStatus(QStringLiteral("The clipboard holds no picture."));
    }
}

void frmMain::dragEnterEvent(QDragEnterEvent* event) {
    const QMimeData* data = event->mimeData();
    if (!busy_ && (!firstLocalFile(data).isEmpty() || data->hasImage())) event->acceptProposedAction();
}

void frmMain::dropEvent(QDropEvent* event) {
    if (busy_) return;
    const QMimeData* data = event->mimeData();
    const QString file = firstLocalFile(data);
    if (!file.isEmpty()) {
        event->acceptProposedAction();
        loadFile(file);
    } else if (data->hasImage()) {
        event->acceptProposedAction();
        loadImage(qvariant_cast<QImage>(data->imageData()), QStringLiteral("Dropped picture"));
    }
}

void frmMain::mnuHelpContents_Click() { openHelp(env_.desktop, &env_.messages, env_.g.gHelpFile, -1); }

void frmMain::mnuAbout_Click() {
    if (!about_) {
        about_ = new frmSplash(env_.clock, nullptr);
        about_->setAttribute(Qt::WA_DeleteOnClose);
    }
    about_->ShowAbout();
}

}  // namespace rastiv

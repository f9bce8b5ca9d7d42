// The File menu: opening (and the pictures opened lately), saving again,
// Save As, the picture as it will print as a PNG file, Print, and the ways
// out; and changes other programs make to the working bitmap.
#include "ui/main/frmMain.hpp"

#include "core/modGlobal.hpp"
#include "core/picturepipeline.hpp"
#include "core/placement.hpp"
#include "core/pixmill.hpp"
#include "core/loadproblem.hpp"
#include "core/printable.hpp"
#include "core/settings.hpp"
#include "receipt/receiptrenderer.hpp"
#include "ui/common/stepindicator.hpp"
#include "ui/common/waitcursor.hpp"

#include <QAction>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QMenu>

namespace rastiv {

namespace {
constexpr int kRecentKept = 10;
constexpr int kHelpSave = 4;

QStringList splitRecent(const QString& stored) {
    QStringList files = stored.split(u'\n', Qt::SkipEmptyParts);
    if (files.size() > kRecentKept) files.resize(kRecentKept);
    return files;
}
}  // namespace

void frmMain::createFileMenu() {
    auto item = [this](QAction*& a, const char* name, const char* caption, const QKeySequence& keys) {
        a = mnuFile->addAction(QString::fromUtf8(caption));
        a->setObjectName(QString::fromLatin1(name));
        a->setShortcut(keys);
    };
    item(mnuFileOpen, "mnuFileOpen", "&Open...", QKeySequence::Open);
    mnuFileRecent = mnuFile->addMenu(QStringLiteral("Open &Recent"));
    mnuFileRecent->setObjectName(QStringLiteral("mnuFileRecent"));
    fillRecentMenu();
    mnuFile->addSeparator();
    item(mnuFileSave, "mnuFileSave", "&Save", QKeySequence::Save);
    item(mnuFileSaveAs, "mnuFileSaveAs", "Save &As...", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    item(mnuFileExport, "mnuFileExport", "E&xport as PNG...", QKeySequence(Qt::CTRL | Qt::Key_E));
    mnuFileExport->setStatusTip(QStringLiteral("The picture as the printer will print it, one pixel a dot."));
    mnuFile->addSeparator();
    item(mnuFilePrint, "mnuFilePrint", "&Print...", QKeySequence::Print);
    mnuFile->addSeparator();
    item(mnuFileExit, "mnuFileExit", "&Exit", {});
    item(mnuFileQuit, "mnuFileQuit", "&Quit", QKeySequence(Qt::CTRL | Qt::Key_Q));
}

QStringList frmMain::recentFiles() const { return splitRecent(env_.settings.read(Key::RecentFiles)); }

void frmMain::rememberRecent(const QString& path) {
    if (path.isEmpty()) return;
    QStringList files = recentFiles();
    files.removeAll(path);
    files.prepend(path);
    if (files.size() > kRecentKept) files.resize(kRecentKept);
    env_.settings.write(Key::RecentFiles, files.join(u'\n'));
    fillRecentMenu();
}

void frmMain::fillRecentMenu() {
    mnuFileRecent->clear();
    const QStringList files = recentFiles();
    for (qsizetype i = 0; i < files.size(); ++i) {
        // "&1 parrots.bmp": the digit is the key; the whole path is the tip.
        const QString name = QFileInfo(files[i]).fileName().replace(u'&', QStringLiteral("&&"));
        QAction* a = mnuFileRecent->addAction(i < 9 ? QStringLiteral("&%1 %2").arg(i + 1).arg(name) : name);
        a->setObjectName(QStringLiteral("mnuFileRecent%1").arg(i + 1));
        a->setToolTip(files[i]);
        a->setStatusTip(files[i]);
        connect(a, &QAction::triggered, this, [this, path = files[i]] { openRecent(path); });
    }
    mnuFileRecent->setToolTipsVisible(true);
    mnuFileRecent->setEnabled(!files.isEmpty());
}

void frmMain::openRecent(const QString& path) {
    if (busy_) return;
    if (!QFileInfo::exists(path)) {
        QStringList files = recentFiles();
        files.removeAll(path);
        env_.settings.write(Key::RecentFiles, files.join(u'\n'));
        fillRecentMenu();
        tell(env_, QStringLiteral("%1 is no longer there, so it was taken off the list of recent pictures.").arg(path),
             QStringLiteral("Open Recent"), MsgIcon::Information, 1);
        return;
    }
    loadFile(path);
}

void frmMain::mnuFileOpen_Click() {
    if (!busy_) cmdLoad_Click();
}

// Save writes the picture again to the file and in the kind it was saved
// last; before the first save it is Save As.
void frmMain::mnuFileSave_Click() {
    if (busy_) return;
    if (!lastSaved_) {
        mnuFileSaveAs_Click();
        return;
    }
    if (!requireBitmap(QStringLiteral("Save Error"))) return;
    if (lastSaved_->kind != SaveKind::Bmp && picture_.widthOrZero() > kMaxPrintWidth) {
        mnuFileSaveAs_Click();  // which says why a printer file cannot be made
        return;
    }
    int32_t r = 0;
    {
        WaitCursor hourglass;
        r = saveWorkingPicture(env_, picture_, lastSaved_->kind, lastSaved_->path);
    }
    if (r != 0) {
        tellSaveFailed(env_, picture_, lastSaved_->kind, r, lastSaved_->path);
        return;
    }
    PictureSaved();
    showStatus(QStringLiteral("Saved as %1.").arg(lastSaved_->path));
}

void frmMain::mnuFileSaveAs_Click() {
    if (!busy_) cmdSaveOpts_Click();
}

void frmMain::mnuFilePrint_Click() {
    if (busy_) return;
    cmdPrint_Click();
}

void frmMain::mnuFileQuit_Click() { mnuFileExit_Click(); }

// What the printer would print, dot for dot and placed on the paper as it
// will be: the graphics file it would be sent, printed by the receipt
// engine onto a strip of paper 576 dots wide.
void frmMain::mnuFileExport_Click() {
    if (busy_ || !requireBitmap(QStringLiteral("Export Error"))) return;
    if (picture_.widthOrZero() > kMaxPrintWidth) {
        tell(env_,
             QStringLiteral("The bitmap is too wide.  Make sure to re-size it before modifying the colors or saving "
                            "it as a graphic or logo."),
             QStringLiteral("Bitmap Size Error"), MsgIcon::Information, 1);
        return;
    }
    const QString gfx = env_.workPath("tmpexport.gfx");
    int32_t r = 0;
    {
        WaitCursor hourglass;
        r = saveBMPAsPlacedGfx(env_.pixmill, picture_.current, gfx, env_.g.paperKind(), storedPlacement(env_.settings),
                               env_.workPath("tmpplaced.bmp"));
    }
    if (r != 0) {
        tell(env_, errorNumber(r) + QStringLiteral(" making the picture as the printer would print it."),
             QStringLiteral("Export Error"), MsgIcon::Exclamation, kHelpSave, MsgButtons::Ok, {},
             r == PIXMILL_E_FORMAT ? unprintableColoursAdvice(picture_.current, env_.g.paperKind())
                                   : fileAdvice(env_.pixmill, r, picture_.current));
        return;
    }
    FileRequest request;
    request.mode = FileRequest::Mode::Save;
    request.startFolder = env_.settings.read(Key::InitOutBmpDir);
    request.title = QStringLiteral("Export as PNG");
    request.filter = QStringLiteral("PNG picture (*.png)|*.png|All Files (*.*)|*.*");
    request.defaultExtension = QStringLiteral(".png");
    request.fileName = QFileInfo(document_.name()).completeBaseName() + QStringLiteral(".png");
    request.askBeforeOverwrite = true;
    request.mustExist = false;
    const FileChoice choice = env_.files.ask(request);
    if (choice.cancelled()) return;
    env_.settings.write(Key::InitOutBmpDir, choice.folder());
    QString path = choice.path;
    if (QFileInfo(choice.name).suffix().isEmpty()) {
        path += QStringLiteral(".png");
        if (QFileInfo::exists(path) &&
            tell(env_, QStringLiteral("%1 already exists.  Do you want to replace it?").arg(path),
                 QStringLiteral("Export as PNG"), MsgIcon::Exclamation, kHelpSave, MsgButtons::OkCancel) !=
                MsgResult::Ok)
            return;
    }
    QFile file(gfx);
    if (!file.open(QIODevice::ReadOnly)) {
        tell(env_, QStringLiteral("%1 cannot be read: %2.").arg(gfx, file.errorString()), QStringLiteral("Export Error"),
             MsgIcon::Exclamation, kHelpSave);
        return;
    }
    ReceiptRenderer paper;
    paper.setHighlight(highlightColour(env_.g.gScreenRed));
    paper.feed(file.readAll());
    paper.engine().finish();
    QString error;
    if (!writePng(paper.receipt(), path, error)) {
        tell(env_, QStringLiteral("%1 could not be written: %2.").arg(path, error), QStringLiteral("Export Error"),
             MsgIcon::Exclamation, kHelpSave);
        return;
    }
    showStatus(QStringLiteral("Exported as %1: the picture as it will print.").arg(path));
}

void frmMain::checkOutsideEdit() {
    if (busy_ || !picture_.loaded()) return;
    if (document_.recordChange()) {
        ShowBitmap(picture_.current);
        document_.recordChange();  // the size shown now belongs with the new pixels
        showStatus(QStringLiteral("The picture was changed by another program: Edit > Undo takes the change back."));
    }
}

void frmMain::changeEvent(QEvent* event) {
    // Back from the paint program: what it saved is a change like any other.
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) checkOutsideEdit();
    QMainWindow::changeEvent(event);
}

}  // namespace rastiv

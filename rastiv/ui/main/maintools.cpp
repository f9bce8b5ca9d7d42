// What the tools and the menus do beyond the picture's steps: the screen
// colour, the paper type, batch recording, and the printer's dialogs, each
// after the connection it needs.
#include "ui/main/frmMain.hpp"

#include "core/batchmode.hpp"
#include "core/loadproblem.hpp"
#include "core/modUserGfx.hpp"
#include "core/pixmill.hpp"
#include "core/picturepipeline.hpp"
#include "core/printable.hpp"
#include "core/settings.hpp"
#include "link/commlink.hpp"
#include "ui/batch/frmBatch.hpp"
#include "ui/common/dialogform.hpp"
#include "ui/common/stepindicator.hpp"
#include "ui/common/waitcursor.hpp"
#include "ui/picture/frmAdvanced.hpp"
#include "ui/printer/frmComm.hpp"
#include "ui/printer/frmLegacy.hpp"
#include "ui/printer/frmLogo2.hpp"
#include "ui/printer/frmPrint.hpp"
#include "ui/printer/logocommon.hpp"

#include <QAction>
#include <QActionGroup>
#include <QFileInfo>
#include <QLabel>

namespace rastiv {

namespace {

// A menu item's caption as a sentence reads it: "Type 5 (Mitsubishi PB770 Blue/Black)".
QString plainCaption(const QAction* a) { return QString(a->text()).remove(u'&').trimmed(); }
}  // namespace

void frmMain::setScreenColour(const QColor& c) {
    for (int i = 1; i <= 5; ++i) {
        QPalette p = stepLabel(i)->palette();
        p.setColor(QPalette::WindowText, c);
        stepLabel(i)->setPalette(p);
    }
    shBox->setBorderColor(c);
}

void frmMain::SetScreenRed() {
    env_.g.gScreenRed = true;
    env_.settings.write(Key::ScreenColor, QStringLiteral("Red"));
    setScreenColour(highlightColour(true));
    mnuColorScreenRed->setChecked(true);
}

void frmMain::SetScreenBlue() {
    env_.g.gScreenRed = false;
    env_.settings.write(Key::ScreenColor, QStringLiteral("Blue"));
    setScreenColour(highlightColour(false));
    mnuColorScreenBlue->setChecked(true);
}

frmComm& frmMain::comm() {
    if (!comm_) comm_ = new frmComm(env_, *this, this);
    return *comm_;
}

void frmMain::withConnection(const std::function<void()>& then) { comm().withConnection(then); }

void frmMain::showPrintDialog() {
    frmPrint dialog(env_, picture_, *this, this);
    dialog.changePrinter = [this] { comm().choosePrinter(); };
    runModal(dialog);
}

void frmMain::showLogoDialog() {
    frmLogo2 dialog(env_, picture_, this);
    runModal(dialog);
}

void frmMain::showBatchDialog() {
    frmBatch dialog(env_, this);
    runModal(dialog);
}

void frmMain::showLegacyDialog() {
    frmLegacy dialog(env_, this);
    runModal(dialog);
}

QString frmMain::highlightName() const {
    return env_.g.paperKind() == PIXMILL_PAPER_BLUE ? QStringLiteral("blue") : QStringLiteral("red");
}

bool frmMain::mayPrint() {
    if (!picture_.loaded()) return true;  // the print dialog says that nothing is loaded
    const PrintReadiness ready =
        printReadiness(env_.pixmill, picture_.current, picture_.widthOrZero(), env_.g.paperKind());
    // Only too wide: the print dialog refuses that itself, before it writes anything.
    if (ready.coloursReady) return true;
    const bool photograph = isPhotograph(ready.colours);
    Message m;
    m.title = QStringLiteral("Print");
    m.text = QStringLiteral("The printer cannot print this picture yet.");
    m.informative = QStringLiteral("It has %1 colour%2; the printer prints black, white and %3.  ")
                        .arg(ready.colours)
                        .arg(ready.colours == 1 ? QString() : QStringLiteral("s"))
                        .arg(highlightName());
    m.informative += photograph ? QStringLiteral("Photo makes a photograph's tones into printer dots; Modify Colors "
                                                 "gives each of a drawing's few colours a printer colour.")
                                : QStringLiteral("Modify Colors gives each of a drawing's few colours a printer "
                                                 "colour; Photo makes a photograph's tones into printer dots.");
    if (ready.tooWide)
        m.informative += QStringLiteral("  It is also %1 dots wide, wider than the paper's %2: Photo fits it to the "
                                        "paper.")
                             .arg(picture_.widthOrZero())
                             .arg(kMaxPrintWidth);
    m.icon = MsgIcon::Information;
    m.helpFile = env_.g.gHelpFile;
    m.helpTopic = 6;
    m.buttons = MsgButtons::ChoiceCancel;
    // The way that suits the picture first, as the default.
    const QString photo = QStringLiteral("&Photo..."), colours = QStringLiteral("&Modify Colors...");
    m.firstChoice = photograph ? photo : colours;
    m.secondChoice = photograph ? colours : photo;
    const MsgResult answer = env_.messages.show(m);
    if (answer == MsgResult::Cancel) return false;
    const bool choosePhoto = (answer == MsgResult::Ok) == photograph;
    if (choosePhoto) cmdPhoto_Click();
    else modifyColours();
    return false;
}

void frmMain::cmdPrint_Click() {
    if (!mayPrint()) return;
    DisableButtons();
    // The print dialog, or the communication dialog when cancelled, gives the buttons back.
    withConnection([this] { showPrintDialog(); });
}

void frmMain::cmdLogo_Click() {
    DisableButtons();
    withConnection([this] { showLogoDialog(); });
    EnableButtons();
}

void frmMain::cmdLegacy_Click() {
    DisableButtons();
    withConnection([this] { showLegacyDialog(); });
    EnableButtons();
}

void frmMain::mnuBatchModeEnable_Click() {
    // The recording state decides, not the check mark Qt has already toggled.
    BatchRecording& batch = env_.batch;
    mnuBatchModeEnable->setChecked(batch.enabled());
    if (batch.enabled()) {
        mnuBatchModeEnable->setChecked(false);
        batch.setEnabled(false);
        env_.batch.CloseBatchFile();
        updateTitle();
        showStatus(QStringLiteral("Recording ended: %1 holds what was sent.").arg(QFileInfo(recordingFile_).fileName()));
        return;
    }
    const FileChoice chosen = chooseRecordingFile(env_);
    if (chosen.cancelled()) {
        mnuBatchModeEnable->setChecked(false);
        tell(env_, QStringLiteral("No file was selected.  Batch mode recording has not been turned on."),
             QStringLiteral("File Open Error"), MsgIcon::Information, 15);
        return;
    }
    env_.settings.write(Key::InitBatDir, chosen.folder());
    env_.batch.OpenBatchFile(chosen.path, true);
    // A file that cannot be created (the library has said why) records nothing.
    const bool on = env_.batch.isOpen();
    mnuBatchModeEnable->setChecked(on);
    batch.setEnabled(on);
    recordingFile_ = chosen.path;
    updateTitle();
    if (on) showStatus(QStringLiteral("Recording: everything sent to the printer goes into %1.").arg(chosen.name));
}

void frmMain::mnuBatchModeOmit_Click() {
    env_.batch.setOmitPrintSamples(!env_.batch.omitsPrintSamples());
    mnuBatchModeOmit->setChecked(env_.batch.omitsPrintSamples());
}

void frmMain::mnuBatchModePlay_Click() {
    DisableButtons();
    if (env_.batch.enabled()) {
        mnuBatchModeEnable->setChecked(false);
        mnuBatchModeOmit->setEnabled(false);
        env_.batch.setEnabled(false);
        env_.batch.CloseBatchFile();
        updateTitle();
    }
    withConnection([this] { showBatchDialog(); });
    EnableButtons();
}

void frmMain::mnuColorScreenRed_Click() {
    SetScreenRed();
    screenColourNote();
    offerRecolour();
}

void frmMain::mnuColorScreenBlue_Click() {
    SetScreenBlue();
    screenColourNote();
    offerRecolour();
}

// A picture in the other highlight colour than the screen's cannot be
// printed or saved for the printer: offer to recolour it at once, rather
// than have the print refuse it later.
void frmMain::offerRecolour() {
    modGlobal& g = env_.g;
    if (!picture_.loaded() || busy_) return;
    const HighlightUse use = highlightsUsed(picture_.current);
    const bool toBlue = !g.gScreenRed;
    if (!(toBlue ? use.red && !use.blue : use.blue && !use.red)) return;
    const QString from = toBlue ? QStringLiteral("red") : QStringLiteral("blue");
    const QString to = toBlue ? QStringLiteral("blue") : QStringLiteral("red");
    if (tell(env_, QStringLiteral("The picture's highlight colour is %1.  Recolour it %2, to match?").arg(from, to),
             QStringLiteral("Recolour the Picture"), MsgIcon::Information, 8, MsgButtons::OkCancel, {},
             QStringLiteral("A %1 picture cannot be printed on %2 paper.  Edit > Undo takes the recolouring back.")
                 .arg(from, to)) != MsgResult::Ok)
        return;
    const uint32_t source = toBlue ? modGlobal::gMarkColor1 : modGlobal::gMarkColor2;
    const uint32_t target = toBlue ? modGlobal::gMarkColor2 : modGlobal::gMarkColor1;
    const int32_t r = env_.pixmill.ColorSwap(picture_.current, source, target);
    // The swap marks the entries it wrote; nothing else is to come.
    env_.pixmill.CleanBMP(picture_.current);
    if (r != 0) {
        tell(env_, QStringLiteral("Error mapping colors.\r\n") + errorNumber(r), QStringLiteral("Color Swap Error"),
             MsgIcon::Information, 3, MsgButtons::Ok, {}, fileAdvice(env_.pixmill, r, picture_.current));
        return;
    }
    ShowBitmap(picture_.current);
    document_.recordChange(QStringLiteral("Recolour"));
    showStatus(QStringLiteral("Done: the picture was recoloured %1.").arg(to));
}

void frmMain::screenColourNote() {
    Message m;
    m.text = QStringLiteral("This setting only affects the color of the image on the screen.  You must choose a media "
                            "type from the Color->Media menu to configure the printer to match the paper you will be "
                            "using.");
    m.title = QStringLiteral("Configuration Information");
    m.icon = MsgIcon::Information;
    // Its topic is for F1; the box itself offers OK only.
    m.helpFile = env_.g.gHelpFile;
    m.helpTopic = 8;
    m.helpButton = false;
    env_.messages.show(m);
}

void frmMain::mnuColorMediaType0_Click() { chooseMedia(mnuColorMediaType0, 0); }
void frmMain::mnuColorMediaType1_Click() { chooseMedia(mnuColorMediaType1, 1); }
void frmMain::mnuColorMediaType4_Click() { chooseMedia(mnuColorMediaType4, 4); }
// The three papers of type 5 differ only in their names.
void frmMain::mnuColorMediaType5_Click(int index) { chooseMedia(mnuColorMediaType5[index], 5); }

// The item the printer was told last keeps the mark; one that was not sent
// does not take it.
void frmMain::chooseMedia(QAction* item, int16_t type) {
    SetMediaType(type);
    if (paperTypeSet_) {
        mediaItem_ = item;
        showStatus(QStringLiteral("Done: the printer was told %1 and has stored it.").arg(plainCaption(item)));
    } else if (env_.link.printerAnswering()) {
        showStatus(QStringLiteral("Not done: the paper type was not sent."));
    } else {
        showStatus(QStringLiteral("Not done: there is no connection to the printer."));
    }
    for (QAction* a : mediaChoice->actions()) a->setChecked(a == mediaItem_);
}

void frmMain::SetMediaType(const int16_t& type) {
    modGlobal& g = env_.g;
    paperTypeSet_ = false;
    DisableButtons();
    withConnection({});  // the connection only: the paper type is sent below
    if (env_.link.printerAnswering()) {
        WaitCursor hourglass;
        Transfer transfer(env_.link);
        paperTypeSet_ = sendPaperType(env_.link, env_.batch, uint8_t(type));
    } else {
        Message m;
        m.text = QStringLiteral("The utility did not establish communications with the printer, so it will not "
                                "configure the printer for the correct paper type.");
        m.title = QStringLiteral("Communication Message");
        m.icon = MsgIcon::Information;
        // Its topic is for F1; the box itself offers OK only.
        m.helpFile = g.gHelpFile;
        m.helpTopic = 7;
        m.helpButton = false;
        env_.messages.show(m);
    }
    EnableButtons();
}

void frmMain::mnuAdvancedTopLogoSpacing_Click() {
    frmAdvanced dialog(env_, this);
    runModal(dialog);
}

}  // namespace rastiv

#include "ui/printer/frmLogo2.hpp"

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

#include "link/clock.hpp"
#include "ui/common/dialogform.hpp"
#include "ui/common/f1help.hpp"
#include "core/loadproblem.hpp"
#include "core/filedialogs.hpp"
#include "core/modGlobal.hpp"
#include "core/picturepipeline.hpp"
#include "core/pixmill.hpp"
#include "core/settings.hpp"
#include "core/batchmode.hpp"
#include "ui/printer/frmDownloadLogo.hpp"
#include "ui/printer/frmRibbonLogo.hpp"
#include "ui/printer/frmWatermark.hpp"
#include "core/printable.hpp"
#include "ui/printer/logocommon.hpp"
#include "link/commlink.hpp"

namespace rastiv {

namespace {

constexpr int kHelpLogos = 5;
constexpr int kHelpBitmap = 1;
constexpr int kHelpErase = 0;

}  // namespace

frmLogo2::frmLogo2(Env& env, const WorkingPicture& picture, QWidget* parent)
    : QDialog(parent), Timer1(env.clock.createTimer()), env_(env), picture_(picture) {
    createControls();
    connectSignals();
    Form_Load();
}

frmLogo2::~frmLogo2() = default;

void frmLogo2::createControls() {
    setUpDialog(*this, "frmLogo2", QStringLiteral("Logo Management"), kHelpLogos, {329, 341});

    auto button = [this](const char* name, const char* text, int top) {
        return makeButton(this, name, QString::fromLatin1(text), {80, top, 241, 25});
    };
    cmdUseCurrentBitmap = button("cmdUseCurrentBitmap", "&Use Current Image", 8);
    cmdLogoFromFile = button("cmdLogoFromFile", "&Get Logo from a File", 40);
    Label1 = makeLabel(this, "Label1", QStringLiteral("Logo File"), {80, 72, 241, 17});
    tbLogoName = new QLineEdit(this);
    tbLogoName->setObjectName(QStringLiteral("tbLogoName"));
    tbLogoName->setGeometry(80, 90, 241, 21);
    // It shows the logo file; only the two buttons above choose the file.
    tbLogoName->setReadOnly(true);
    Label1->setBuddy(tbLogoName);
    cmdErase = button("cmdErase", "&Erase All Logos in Printer", 124);
    cmdLogo = button("cmdLogo", "Send to Printer as a &Logo", 164);
    cmdWatermark = button("cmdWatermark", "Send to Printer as a &Watermark", 196);
    cmdRibbon = button("cmdRibbon", "Send to Printer as a &Margin Message", 228);
    cmdExit = button("cmdExit", "E&xit", 268);
    addSteps(steps, this, {{12, 12}, {12, 128}, {12, 168}, {12, 272}});
    lblStatus = makeLabel(this, "lblStatus", {}, {80, 300, 241, 33});
    lblStatus->setWordWrap(true);
    lblStatus->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    Timer1->setInterval(kEraseReplyMs);
    Timer1->onTimer = [this] { Timer1->setEnabled(false); };
}

void frmLogo2::connectSignals() {
    connect(cmdUseCurrentBitmap, &QPushButton::clicked, this, &frmLogo2::cmdUseCurrentBitmap_Click);
    connect(cmdLogoFromFile, &QPushButton::clicked, this, &frmLogo2::cmdLogoFromFile_Click);
    connect(cmdErase, &QPushButton::clicked, this, &frmLogo2::cmdErase_Click);
    connect(cmdLogo, &QPushButton::clicked, this, &frmLogo2::cmdLogo_Click);
    connect(cmdWatermark, &QPushButton::clicked, this, &frmLogo2::cmdWatermark_Click);
    connect(cmdRibbon, &QPushButton::clicked, this, &frmLogo2::cmdRibbon_Click);
    connect(cmdExit, &QPushButton::clicked, this, &frmLogo2::cmdExit_Click);
    connect(tbLogoName, &QLineEdit::textChanged, this, &frmLogo2::tbLogoName_Change);
}

void frmLogo2::Form_Load() {
    centreOnScreen(*this);
    tbLogoName->clear();
    logoFile_.clear();
    steps.setScreenRed(env_.g.gScreenRed);
    steps.show(1);
}

void frmLogo2::tbLogoName_Change() { steps.show(1); }

void frmLogo2::cmdUseCurrentBitmap_Click() {
    const int32_t paper = env_.g.paperKind();
    steps.show(1);
    {
        BusyDialog busy(this, env_);
        if (picture_.widthOrZero() > kMaxPrintWidth) {
            busy.tell(QStringLiteral("The bitmap is too wide.  Make sure to Re-size it before modifying the colors or "
                                     "saving it as a graphic or logo."),
                      QStringLiteral("Bitmap Size Warning"), MsgIcon::Information, kHelpBitmap);
        } else if (!picture_.loaded()) {
            busy.refuse(QStringLiteral("You must load a BMP file before you can send it to the printer."), kHelpBitmap);
        } else {
            logoFile_ = env_.workPath("tmpfile.lgo");
            const int32_t r = env_.pixmill.SaveBMPAsLogo(picture_.current, logoFile_, paper);
            if (r == 0) {
                tbLogoName->setText(logoFile_);
            } else {
                logoFile_.clear();
                tbLogoName->clear();
                busy.tell(errorNumber(r) + QStringLiteral(" saving the BMP file as a logo (*.LGO) file."),
                          QStringLiteral("PIXMILL DLL Error"), MsgIcon::Exclamation, kHelpLogos, MsgButtons::Ok, {},
                          r == PIXMILL_E_FORMAT ? unprintableColoursAdvice(picture_.current, paper)
                                  : fileAdvice(env_.pixmill, r, picture_.current));
            }
        }
    }
    steps.show(2);
}

void frmLogo2::cmdLogoFromFile_Click() {
    steps.show(1);
    FileRequest r;
    r.mode = FileRequest::Mode::Open;
    r.startFolder = env_.settings.read(Key::InitLgoDir);
    r.title = QStringLiteral("Open a Logo File");
    r.filter = QStringLiteral("LGO file (*.lgo)|*.lgo|All Files (*.*)|*.*");
    r.defaultExtension = QStringLiteral(".LGO");
    const FileChoice chosen = env_.files.ask(r);
    // The box always shows the logo the send buttons would use, so it is
    // emptied together with the logo file.
    if (chosen.cancelled()) {
        logoFile_.clear();
        tbLogoName->clear();
    } else if (env_.pixmill.IsBitmap(chosen.path) == 1) {
        logoFile_.clear();
        tbLogoName->clear();
        tell(env_,
             QStringLiteral("You must select a *.LGO file, not a *.BMP file.  If you have not converted the BMP file "
                            "to a *.LGO file then do so now."),
             QStringLiteral("File Format Error"), MsgIcon::Information, kHelpLogos);
    } else {
        logoFile_ = chosen.path;
        env_.settings.write(Key::InitLgoDir, chosen.folder());
        tbLogoName->setText(logoFile_);
    }
    steps.show(2);
}

void frmLogo2::cmdErase_Click() {
    steps.show(2);
    if (tell(env_, QStringLiteral("This action will erase all logos and user-defined character sets from your printer."),
             QStringLiteral("Erase Confirmation"), MsgIcon::Information, kHelpLogos,
             MsgButtons::OkCancel) != MsgResult::Ok)
        return;
    if (erase()) steps.show(3);
}

// True when the printer acknowledged the erase and its legacy colorization
// was switched off.
bool frmLogo2::erase() {
    BusyDialog busy(this, env_);
    const EraseEnd end = eraseFlash(env_.link, env_.batch, *Timer1);
    switch (end) {
        case EraseEnd::Erased:
            lblStatus->setText(QStringLiteral("Done: the printer's logos and user-defined character sets were erased, "
                                              "and legacy colorization was switched off."));
            break;
        case EraseEnd::NotAnswered:
            lblStatus->setText(QStringLiteral("Not erased: the printer did not answer."));
            busy.tell(QStringLiteral("Unable to erase the flash memory."), QStringLiteral("Erase Error"),
                      MsgIcon::Exclamation, kHelpErase);
            break;
        case EraseEnd::Abandoned:
            lblStatus->setText(QStringLiteral("Not erased: the erase command was not sent."));
            break;
    }
    return end == EraseEnd::Erased;
}

template <class Dialog>
void frmLogo2::sendAs() {
    steps.show(3);
    if (logoFile_.isEmpty()) {
        tell(env_, QStringLiteral("You must select a graphic before you can send it to the printer."),
             QStringLiteral("Parameter Error"), MsgIcon::Information, kHelpLogos);
    } else {
        Dialog dialog(env_, logoFile_, this);
        runModal(dialog);
    }
    steps.show(4);
}

void frmLogo2::cmdLogo_Click() { sendAs<frmDownloadLogo>(); }
void frmLogo2::cmdWatermark_Click() { sendAs<frmWatermark>(); }
void frmLogo2::cmdRibbon_Click() { sendAs<frmRibbonLogo>(); }

void frmLogo2::cmdExit_Click() { done(QDialog::Accepted); }

}  // namespace rastiv

#include "ui/printer/frmDownloadLogo.hpp"

#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

#include "ui/common/dialogform.hpp"
#include "ui/common/f1help.hpp"
#include "core/modGlobal.hpp"
#include "core/numtext.hpp"
#include "ui/common/transferpanel.hpp"
#include "ui/printer/logocommon.hpp"
#include "link/commlink.hpp"

namespace rastiv {

namespace {

constexpr int kHelpTopic = 11;
// The numbers legacy colorization prints at the top and bottom of a receipt.
constexpr int kTopLogo = 240;
constexpr int kBottomLogo = 243;

}  // namespace

frmDownloadLogo::frmDownloadLogo(Env& env, QString logoFile, QWidget* parent)
    : QDialog(parent), env_(env), logoFile_(std::move(logoFile)) {
    createControls();
    connectSignals();
    Form_Load();
}

void frmDownloadLogo::createControls() {
    setUpDialog(*this, "frmDownloadLogo", QStringLiteral("Download a Logo"), kHelpTopic, {377, 360});

    Label1 = makeLabel(this, "Label1", QStringLiteral("Enter a logo number (0-255)"), {80, 8, 177, 17});
    tbLogoNum = new QLineEdit(this);
    tbLogoNum->setObjectName(QStringLiteral("tbLogoNum"));
    tbLogoNum->setGeometry(264, 6, 57, 21);
    Label1->setBuddy(tbLogoNum);

    Frame1 = new QGroupBox(QStringLiteral("Legacy Colorization"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setGeometry(80, 34, 289, 125);
    auto radio = [this](const char* name, const char* text, int top) {
        auto* r = new QRadioButton(QString::fromLatin1(text), Frame1);
        r->setObjectName(QString::fromLatin1(name));
        r->setGeometry(12, top, 265, 19);
        return r;
    };
    rbTopLogo = radio("rbTopLogo", "&Top Logo", 20);
    rbBottomLogo = radio("rbBottomLogo", "&Bottom Logo", 42);
    rbNoLogo = radio("rbNoLogo", "&Non Legacy Logo", 64);
    lblNote = new QLabel(QStringLiteral("Go to the Advanced->Top Logo Spacing... menu on the Rastiv form for options"),
                         Frame1);
    lblNote->setObjectName(QStringLiteral("lblNote"));
    lblNote->setWordWrap(true);
    lblNote->setGeometry(12, 88, 265, 31);

    auto button = [this](const char* name, const char* text, int top) {
        return makeButton(this, name, QString::fromLatin1(text), {80, top, 289, 25});
    };
    cmdDownloadLogo = button("cmdDownloadLogo", "&Download Logo", 168);
    cmdPrintLogo = button("cmdPrintLogo", "&Print Logo (Optional)", 204);
    cmdExit = button("cmdExit", "&Exit", 244);
    transfer = new TransferPanel(this, {12, 280, 357, 72});
    addSteps(steps, this, {{12, 8}, {12, 172}, {12, 208}, {12, 248}});
}

void frmDownloadLogo::connectSignals() {
    // A radio button's click is its becoming selected, however that happens.
    connect(rbTopLogo, &QRadioButton::toggled, this, [this](bool on) { if (on) rbTopLogo_Click(); });
    connect(rbBottomLogo, &QRadioButton::toggled, this, [this](bool on) { if (on) rbBottomLogo_Click(); });
    connect(rbNoLogo, &QRadioButton::toggled, this, [this](bool on) { if (on) rbNoLogo_Click(); });
    connect(tbLogoNum, &QLineEdit::textChanged, this, &frmDownloadLogo::tbLogoNum_Change);
    onClick(tbLogoNum, [this] { tbLogoNum_Click(); });
    connect(cmdDownloadLogo, &QPushButton::clicked, this, &frmDownloadLogo::cmdDownloadLogo_Click);
    connect(cmdPrintLogo, &QPushButton::clicked, this, &frmDownloadLogo::cmdPrintLogo_Click);
    connect(cmdExit, &QPushButton::clicked, this, &frmDownloadLogo::cmdExit_Click);
}

void frmDownloadLogo::Form_Load() {
    centreOnScreen(*this);
    tbLogoNum->clear();
    steps.setScreenRed(env_.g.gScreenRed);
    rbNoLogo->setChecked(true);
    steps.show(1);
}

// The reserved numbers are filled in and locked, so that the legacy logos
// cannot be stored under a mistyped number.
void frmDownloadLogo::useReservedNumber(int n) {
    tbLogoNum->setReadOnly(false);
    tbLogoNum->setText(numToText(n));
    tbLogoNum->setReadOnly(true);
    Label1->setEnabled(false);
    steps.show(1);
}

void frmDownloadLogo::rbTopLogo_Click() { useReservedNumber(kTopLogo); }
void frmDownloadLogo::rbBottomLogo_Click() { useReservedNumber(kBottomLogo); }

void frmDownloadLogo::rbNoLogo_Click() {
    tbLogoNum->setReadOnly(false);
    tbLogoNum->clear();
    Label1->setEnabled(true);
    tbLogoNum->setFocus();
    steps.show(1);
}

void frmDownloadLogo::tbLogoNum_Change() { steps.show(2); }
void frmDownloadLogo::tbLogoNum_Click() { steps.show(1); }

void frmDownloadLogo::cmdDownloadLogo_Click() {
    steps.show(2);
    if (download()) steps.show(3);
}

// True when the logo went out whole, or when there is no open port to send
// it to (nothing to wait for then).
bool frmDownloadLogo::download() {
    return downloadNumberedLogo(this, env_, logoFile_, *transfer, tbLogoNum->text(), kHelpTopic,
                                QStringLiteral("You must enter a logo number (0-255) before you can download a logo."),
                                QStringLiteral("Done: logo %1 was downloaded (%2 bytes)."), QStringLiteral("the logo"));
}

void frmDownloadLogo::cmdPrintLogo_Click() {
    steps.show(3);
    if (printLogo()) steps.show(4);
}

bool frmDownloadLogo::printLogo() {
    SendingPrintSample sample(env_.batch);
    BusyDialog busy(this, env_);
    const std::optional<uint8_t> n = logoNumberOrRefuse(
        busy, tbLogoNum->text(),
        QStringLiteral("You must enter a logo number (0-255) before you can print a logo."),
        kHelpTopic);
    if (!n) return false;
    CommLink& link = env_.link;
    return link.SendData(cmd::selectLogo(*n)) && link.SendData(cmd::kPrintSelected) &&
           link.SendData(cmd::kFeed) && link.SendData(cmd::kDeselect);
}

void frmDownloadLogo::cmdExit_Click() { done(QDialog::Accepted); }

}  // namespace rastiv

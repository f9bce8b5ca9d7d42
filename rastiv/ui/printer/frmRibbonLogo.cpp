#include "ui/printer/frmRibbonLogo.hpp"

#include <QCheckBox>
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

constexpr int kHelpTopic = 10;
// The logo legacy colorization prints as its margin message.
constexpr int kLegacyMargin = 242;

}  // namespace

frmRibbonLogo::frmRibbonLogo(Env& env, QString logoFile, QWidget* parent)
    : QDialog(parent), env_(env), logoFile_(std::move(logoFile)) {
    createControls();
    connectSignals();
    Form_Load();
}

void frmRibbonLogo::createControls() {
    setUpDialog(*this, "frmRibbonLogo", QStringLiteral("Download Margin Message"), kHelpTopic, {481, 478});

    auto label = [this](const char* name, const char* text, const QRect& at) {
        auto* l = makeLabel(this, name, QString::fromLatin1(text), at);
        l->setWordWrap(true);
        return l;
    };
    auto button = [this](const char* name, const char* text, int top) {
        return makeButton(this, name, QString::fromLatin1(text), {80, top, 393, 25});
    };
    Label1 = label("Label1",
                   "Margin messages are regular logos that get printed either left-justified or right-justified.  "
                   "Typically, a margin message is long and skinny.  It contains rotated text or other graphic that "
                   "will run down the edge(s) of the receipt.  This form will let you download a logo to a given index "
                   "and print it as a left or right margin message.",
                   {8, 8, 465, 72});
    Label3 = label("Label3",
                   "Before downloading, make sure the logo is rotated properly by using the Rotate +90 and Rotate -90 "
                   "buttons in the Tools box on the Rastiv form.  Typically, logos for left-edge margin messages are "
                   "rotated +90 degrees, and logos for right-edge margin messages are rotated -90 degrees.",
                   {80, 88, 393, 80});
    Label2 = label("Label2", "Enter a logo number (0-255)", {80, 182, 177, 17});
    tbLogoNum = new QLineEdit(this);
    tbLogoNum->setObjectName(QStringLiteral("tbLogoNum"));
    tbLogoNum->setGeometry(264, 180, 57, 21);
    Label2->setBuddy(tbLogoNum);
    chkLegacyColorization = new QCheckBox(QStringLiteral("&Legacy Colorization"), this);
    chkLegacyColorization->setObjectName(QStringLiteral("chkLegacyColorization"));
    chkLegacyColorization->setGeometry(80, 206, 177, 19);

    cmdRibbon = button("cmdRibbon", "&Download Margin Message", 236);
    Frame1 = new QGroupBox(QStringLiteral("&Side (Optional)"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setGeometry(80, 270, 393, 47);
    // F, not L: Alt+L is Legacy Colorization's.
    rbLeft = new QRadioButton(QStringLiteral("Le&ft"), Frame1);
    rbLeft->setObjectName(QStringLiteral("rbLeft"));
    rbLeft->setGeometry(12, 20, 89, 19);
    rbRight = new QRadioButton(QStringLiteral("&Right"), Frame1);
    rbRight->setObjectName(QStringLiteral("rbRight"));
    rbRight->setGeometry(120, 20, 89, 19);
    cmdPrintSample = button("cmdPrintSample", "&Print Sample (Optional)", 328);
    cmdExit = button("cmdExit", "&Exit", 364);
    transfer = new TransferPanel(this, {80, 398, 393, 72});
    addSteps(steps, this, {{12, 118}, {12, 182}, {12, 240}, {12, 286}, {12, 332}, {12, 368}});
}

void frmRibbonLogo::connectSignals() {
    onClick(Label3, [this] { Label3_Click(); });
    connect(tbLogoNum, &QLineEdit::textChanged, this, &frmRibbonLogo::tbLogoNum_Change);
    connect(chkLegacyColorization, &QCheckBox::toggled, this, &frmRibbonLogo::chkLegacyColorization_Click);
    connect(rbLeft, &QRadioButton::clicked, this, &frmRibbonLogo::rbLeft_Click);
    connect(rbRight, &QRadioButton::clicked, this, &frmRibbonLogo::rbRight_Click);
    connect(cmdRibbon, &QPushButton::clicked, this, &frmRibbonLogo::cmdRibbon_Click);
    connect(cmdPrintSample, &QPushButton::clicked, this, &frmRibbonLogo::cmdPrintSample_Click);
    connect(cmdExit, &QPushButton::clicked, this, &frmRibbonLogo::cmdExit_Click);
}

void frmRibbonLogo::Form_Load() {
    centreOnScreen(*this);
    tbLogoNum->clear();
    rbLeft->setChecked(true);
    steps.setScreenRed(env_.g.gScreenRed);
    steps.show(1);
}

void frmRibbonLogo::Label3_Click() { steps.show(2); }
void frmRibbonLogo::tbLogoNum_Change() { steps.show(3); }
void frmRibbonLogo::rbLeft_Click() { steps.show(5); }
void frmRibbonLogo::rbRight_Click() { steps.show(5); }

// Legacy colorization prints logo 242 by itself: lock that number in.
void frmRibbonLogo::chkLegacyColorization_Click() {
    const bool legacy = chkLegacyColorization->isChecked();
    if (legacy) {
        tbLogoNum->setReadOnly(false);
        tbLogoNum->setText(numToText(kLegacyMargin));
    }
    tbLogoNum->setReadOnly(legacy);
    Label2->setEnabled(!legacy);
}

void frmRibbonLogo::cmdRibbon_Click() {
    steps.show(3);
    if (download()) steps.show(4);
}

// The side is not part of the download: any logo can go on either edge.
bool frmRibbonLogo::download() {
    return downloadNumberedLogo(
        this, env_, logoFile_, *transfer, tbLogoNum->text(), kHelpTopic,
        QStringLiteral("You must enter a logo number (0-255) before you can download a margin message."),
        QStringLiteral("Done: the margin message was downloaded as logo %1 (%2 bytes)."),
        QStringLiteral("the margin message"));
}

void frmRibbonLogo::cmdPrintSample_Click() {
    SendingPrintSample sample(env_.batch);
    steps.show(5);
    bool printed;
    {
        BusyDialog busy(this, env_);
        printed = printSample(busy);
    }
    if (printed) steps.show(6);
}

bool frmRibbonLogo::printSample(BusyDialog& busy) {
    const std::optional<uint8_t> n = logoNumberOrRefuse(
        busy, tbLogoNum->text(),
        QStringLiteral("You must enter a logo number (0-255) before you can print a margin message."),
        kHelpTopic);
    if (!n) return false;
    if (chkLegacyColorization->isChecked()) {
        tellLegacyAdvice(busy, QStringLiteral("Margin Message"));
        return true;
    }
    return printMarginSample(env_.link, rbLeft->isChecked() ? MarginSide::Left : MarginSide::Right, *n);
}

void frmRibbonLogo::cmdExit_Click() { done(QDialog::Accepted); }

}  // namespace rastiv

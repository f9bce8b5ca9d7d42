#include "ui/printer/frmWatermark.hpp"

#include <QCheckBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSlider>

#include "ui/common/dialogform.hpp"
#include "ui/common/f1help.hpp"
#include "core/modGlobal.hpp"
#include "core/numtext.hpp"
#include "ui/common/transferpanel.hpp"
#include "core/batchmode.hpp"
#include "ui/printer/logocommon.hpp"
#include "link/commlink.hpp"

namespace rastiv {

namespace {

constexpr int kHelpTopic = 9;
constexpr int kDefaultShading = 80;
// The logo and the watermark made from it that legacy colorization uses.
constexpr int kLegacyLogo = 239;
constexpr int kLegacyWatermark = 241;

const QString kWatermarkRangeText = QStringLiteral("The watermark number must be between 0 and 255.");

// What the status line says about a logo download cut short.
QString logoCutShortText(TransferEnd end, int logo, qint64 sent, qint64 size) {
    if (end == TransferEnd::Cancelled)
        return QStringLiteral("Cancelled: %1 of %2 bytes of logo %3 were sent, then the end of the download; the "
                              "rest and the watermark definition were not sent.")
            .arg(byteCount(sent), byteCount(size))
            .arg(logo);
    return QStringLiteral("Stopped: %1 of %2 bytes of logo %3 were sent; the rest of the download and the watermark "
                          "definition were not.")
        .arg(byteCount(sent), byteCount(size))
        .arg(logo);
}

// The logo is in the printer; what became of the watermark.
QString logoStoredText(const QString& head, int logo, qint64 size, const QString& tail) {
    return QStringLiteral("%1logo %2 was downloaded (%3 bytes); %4").arg(head).arg(logo).arg(byteCount(size), tail);
}

}  // namespace

frmWatermark::frmWatermark(Env& env, QString logoFile, QWidget* parent)
    : QDialog(parent), env_(env), logoFile_(std::move(logoFile)) {
    createControls();
    connectSignals();
    Form_Load();
}

void frmWatermark::createControls() {
    setUpDialog(*this, "frmWatermark", QStringLiteral("Define and Download Watermark"), kHelpTopic, {345, 406});

    auto label = [this](const char* name, const char* text, const QRect& at) {
        return makeLabel(this, name, QString::fromLatin1(text), at);
    };
    auto numberBox = [this](const char* name, int top) {
        auto* t = new QLineEdit(this);
        t->setObjectName(QString::fromLatin1(name));
        t->setGeometry(288, top, 49, 21);
        return t;
    };
    auto button = [this](const char* name, const char* text, int top) {
        return makeButton(this, name, QString::fromLatin1(text), {80, top, 257, 25});
    };
    Label12 = label("Label12",
                    "To create a watermark, you must first save the bitmap as a logo, and then convert the logo to a "
                    "watermark by applying a level of shading.",
                    {8, 8, 329, 41});
    Label12->setWordWrap(true);
    Label11 = label("Label11", "Enter a logo number (0-255)", {80, 60, 201, 17});
    tbLogoIndex = numberBox("tbLogoIndex", 58);
    Label11->setBuddy(tbLogoIndex);
    chkLegacyColorization = new QCheckBox(QStringLiteral("&Legacy Colorization"), this);
    chkLegacyColorization->setObjectName(QStringLiteral("chkLegacyColorization"));
    chkLegacyColorization->setGeometry(80, 84, 177, 19);

    Label4 = label("Label4", "Select a Shading Value", {80, 114, 257, 17});
    slider1 = new QSlider(Qt::Horizontal, this);
    slider1->setObjectName(QStringLiteral("slider1"));
    slider1->setGeometry(80, 132, 257, 25);
    slider1->setRange(0, 100);
    slider1->setTickPosition(QSlider::TicksBelow);
    slider1->setTickInterval(10);
    Label4->setBuddy(slider1);
    Label1 = label("Label1", "Dark", {80, 158, 57, 17});
    Label2 = label("Label2", "Light", {280, 158, 57, 17});
    Label2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    Label3 = label("Label3", "Enter a watermark number (0-255)", {80, 190, 201, 17});
    tbWmIndex = numberBox("tbWmIndex", 188);
    Label3->setBuddy(tbWmIndex);

    cmdDefine = button("cmdDefine", "&Define Watermark", 220);
    cmdPrintSample = button("cmdPrintSample", "&Print Sample (Optional)", 256);
    cmdExit = button("cmdExit", "&Exit", 292);
    transfer = new TransferPanel(this, {12, 326, 325, 72});
    addSteps(steps, this, {{12, 60}, {12, 136}, {12, 190}, {12, 224}, {12, 260}, {12, 296}});
}

void frmWatermark::connectSignals() {
    connect(chkLegacyColorization, &QCheckBox::toggled, this, &frmWatermark::chkLegacyColorization_Click);
    connect(tbLogoIndex, &QLineEdit::textChanged, this, &frmWatermark::tbLogoIndex_Change);
    connect(tbWmIndex, &QLineEdit::textChanged, this, &frmWatermark::tbWmIndex_Change);
    connect(slider1, &QSlider::valueChanged, this, &frmWatermark::slider1_Change);
    connect(cmdDefine, &QPushButton::clicked, this, &frmWatermark::cmdDefine_Click);
    connect(cmdPrintSample, &QPushButton::clicked, this, &frmWatermark::cmdPrintSample_Click);
    connect(cmdExit, &QPushButton::clicked, this, &frmWatermark::cmdExit_Click);
}

void frmWatermark::Form_Load() {
    centreOnScreen(*this);
    steps.setScreenRed(env_.g.gScreenRed);
    tbLogoIndex->clear();
    tbWmIndex->clear();
    slider1->setValue(kDefaultShading);
    steps.show(1);
}

// Legacy colorization knows its watermark by fixed numbers: lock them in.
void frmWatermark::chkLegacyColorization_Click() {
    const bool legacy = chkLegacyColorization->isChecked();
    if (legacy) {
        tbLogoIndex->setReadOnly(false);
        tbWmIndex->setReadOnly(false);
        tbLogoIndex->setText(numToText(kLegacyLogo));
        tbWmIndex->setText(numToText(kLegacyWatermark));
    }
    tbLogoIndex->setReadOnly(legacy);
    tbWmIndex->setReadOnly(legacy);
    Label11->setEnabled(!legacy);
    Label3->setEnabled(!legacy);
    steps.show(2);
}

void frmWatermark::tbLogoIndex_Change() { steps.show(2); }
void frmWatermark::tbWmIndex_Change() { steps.show(4); }
// With the numbers fixed by legacy colorization the next thing is Define.
void frmWatermark::slider1_Change() { steps.show(chkLegacyColorization->isChecked() ? 4 : 3); }

void frmWatermark::cmdDefine_Click() {
    steps.show(4);
    bool defined;
    {
        TransferProgress progress(env_.link.lineSettings());
        BusyDialog busy(this, env_, *transfer, progress);
        defined = define(busy, progress);
    }
    if (defined) steps.show(5);
}

// The progress counts the logo and the definition, the part of the command
// that a Cancel can still hold back; the end of the download and the return
// to left justification go out in any case.
bool frmWatermark::define(BusyDialog& busy, TransferProgress& progress) {
    const LogoNumber logo = readLogoNumber(tbLogoIndex->text());
    if (logo.check == NumberCheck::Empty) {
        busy.refuse(QStringLiteral("You must enter a logo number (0-255) before you can download a logo."), kHelpTopic);
        return false;
    }
    if (logo.check == NumberCheck::OutOfRange) {
        busy.refuse(QStringLiteral("The logo number must be between 0 and 255."), kHelpTopic);
        return false;
    }
    const LogoNumber wm = readLogoNumber(tbWmIndex->text());
    if (wm.check == NumberCheck::Empty) {
        busy.refuse(QStringLiteral("You must enter a watermark number (0-255) before you can define a watermark."),
                    kHelpTopic);
        return false;
    }
    if (wm.check == NumberCheck::OutOfRange) {
        busy.refuse(kWatermarkRangeText, kHelpTopic);
        return false;
    }
    // Every input is checked before the first byte goes out, so that no
    // refusal comes after a download of many seconds.  The numbers as the
    // printer gets them: "7" and "07" (or "2" and "2.5") name the same logo.
    if (logo.byte == wm.byte) {
        transfer->setStatus(QStringLiteral("Not defined: the watermark needs a number of its own; nothing was sent."));
        busy.tell(QStringLiteral("The watermark number cannot be the same as the logo number."),
                  QStringLiteral("Parameter Error"), MsgIcon::Exclamation, kHelpTopic);
        return false;
    }
    const WatermarkDefinition d{logo.byte, uint8_t(slider1->value()), wm.byte};
    // With the port closed there is no logo download, only the definition a
    // batch recording takes.
    const bool sendTheLogo = env_.link.lineOpen();
    if (sendTheLogo && checkedLogoFile(logoFile_, busy, kHelpTopic) < 0) return false;
    const WatermarkResult r = defineWatermark(env_.link, env_.batch, sendTheLogo ? logoFile_ : QString(), d,
                                              env_.link.sendChunk(), progress);
    // Only a transfer that ran has something to report (a closed port sends nothing).
    auto status = [&](const QString& text) {
        if (progress.started()) transfer->setStatus(text);
    };
    const qint64 definitionSize = cmd::defineWatermark(d.logo, d.shading, d.watermark).size();
    switch (r.end) {
    case WatermarkEnd::LogoCutShort:
        status(logoCutShortText(r.transfer, logo.byte, progress.sent(), progress.total() - definitionSize));
        return false;
    case WatermarkEnd::SameNumber:  // refused above, before anything was sent
        return false;
    case WatermarkEnd::DefinitionCutShort:
        status(logoStoredText(r.transfer == TransferEnd::Cancelled ? QStringLiteral("Cancelled: ")
                                                                   : QStringLiteral("Stopped: "),
                              logo.byte, r.logoBytes, QStringLiteral("the watermark definition was not sent.")));
        return false;
    case WatermarkEnd::NotLeftJustified:
        status(QStringLiteral("Stopped: watermark %1 was defined from logo %2, but the printer was not told to go "
                              "back to left justification.")
                   .arg(wm.byte)
                   .arg(logo.byte));
        return false;
    case WatermarkEnd::Defined:
        break;
    }
    status(QStringLiteral("Done: watermark %1 was defined from logo %2 (%3 bytes of the logo were sent).")
               .arg(wm.byte)
               .arg(logo.byte)
               .arg(byteCount(r.logoBytes)));
    return true;
}

void frmWatermark::cmdPrintSample_Click() {
    SendingPrintSample sample(env_.batch);
    steps.show(5);
    bool printed;
    {
        BusyDialog busy(this, env_);
        printed = printSample(busy);
    }
    if (printed) steps.show(6);
}

bool frmWatermark::printSample(BusyDialog& busy) {
    const LogoNumber wm = readLogoNumber(tbWmIndex->text());
    if (wm.check == NumberCheck::Empty) {
        busy.refuse(QStringLiteral("You must enter a watermark number (0-255) before you can print a watermark."),
                    kHelpTopic);
        return false;
    }
    // A number that cannot be a byte would switch on some other watermark.
    if (wm.check == NumberCheck::OutOfRange) {
        busy.refuse(kWatermarkRangeText, kHelpTopic);
        return false;
    }
    if (chkLegacyColorization->isChecked()) {
        tellLegacyAdvice(busy, QStringLiteral("Watermark"));
        return true;
    }
    return printWatermarkSample(env_.link, wm.byte);
}

void frmWatermark::cmdExit_Click() { done(QDialog::Accepted); }

}  // namespace rastiv

#include "ui/printer/frmLegacy.hpp"

#include <QCheckBox>
#include <QLabel>
#include <QPainter>
#include <QPushButton>

#include "link/clock.hpp"
#include "ui/common/dialogform.hpp"
#include "core/modGlobal.hpp"
#include "core/numtext.hpp"
#include "core/batchmode.hpp"
#include "ui/printer/frmTextSub.hpp"
#include "ui/printer/logocommon.hpp"
#include "link/commlink.hpp"

namespace rastiv {

namespace {

constexpr int kHelpTopic = 12;
constexpr int kTimerMs = 10000;

// ---- Preview pictures, drawn in the screen's highlight colour. ----

QPixmap receiptPicture(QSize size, bool watermark, const QColor& highlight) {
    QPixmap p(size);
    p.fill(Qt::white);
    QPainter painter(&p);
    if (watermark) {
        QFont f(QStringLiteral("Serif"));
        f.setBold(true);
        f.setPixelSize(size.height() * 2 / 3);
        painter.setFont(f);
        QColor shade = highlight;
        shade.setAlpha(60);
        painter.setPen(shade);
        painter.drawText(p.rect(), Qt::AlignCenter, QStringLiteral("R"));
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    // Item lines: a name on the left, a price on the right.
    const int left = 8, right = size.width() - 8, lineGap = 9;
    int y = 12;
    for (int i = 0; y < size.height() - 30; ++i, y += lineGap) {
        painter.drawRect(left, y, 22 + (i * 7) % 18, 3);
        painter.drawRect(right - 14, y, 14, 3);
    }
    painter.drawRect(left, y + 4, right - left, 1);
    painter.drawRect(right - 44, y + 10, 20, 4);  // the total, bold
    painter.drawRect(right - 18, y + 10, 18, 4);
    painter.setPen(Qt::gray);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(p.rect().adjusted(0, 0, -1, -1));
    return p;
}

QPixmap logoStrip(QSize size, const QString& words, const QColor& highlight) {
    QPixmap p(size);
    p.fill(highlight);
    QPainter painter(&p);
    QFont f(QStringLiteral("Sans Serif"));
    f.setBold(true);
    f.setPixelSize(size.height() / 2);
    painter.setFont(f);
    painter.setPen(Qt::white);
    painter.drawText(p.rect(), Qt::AlignCenter, words);
    return p;
}

QPixmap marginStrip(QSize size, const QColor& highlight) {
    QPixmap p(size);
    p.fill(Qt::white);
    QPainter painter(&p);
    QFont f(QStringLiteral("Sans Serif"));
    f.setBold(true);
    f.setPixelSize(size.width() - 5);
    painter.setFont(f);
    painter.setPen(highlight);
    // Written down the edge, as a rotated logo prints.
    painter.translate(size.width(), 0);
    painter.rotate(90);
    painter.drawText(QRect(0, 0, size.height(), size.width()), Qt::AlignCenter, QStringLiteral("MARGIN MESSAGE"));
    return p;
}

}  // namespace


frmLegacy::frmLegacy(Env& env, QWidget* parent) : QDialog(parent), Timer1(env.clock.createTimer()), env_(env) {
    createControls();
    createPreview();
    connectSignals();
    Form_Load();
}

frmLegacy::~frmLegacy() = default;

void frmLegacy::createControls() {
    setUpDialog(*this, "frmLegacy", QStringLiteral("Legacy Colorization"), kHelpTopic, {465, 329});
    auto box = [this](const char* name, const char* text, int top) {
        auto* b = new QCheckBox(QString::fromLatin1(text), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setGeometry(80, top, 209, 19);
        return b;
    };
    auto button = [this](const char* name, const char* text, int top) {
        return makeButton(this, name, QString::fromLatin1(text), {80, top, 209, 25});
    };
    const QString spacingHint = QStringLiteral(
        "Go to the Advanced->Top Logo Spacing... menu on the Rastiv form for options before clicking ");
    chkTopLogo = box("chkTopLogo", "&Top Logo", 8);
    chkTopLogo->setToolTip(spacingHint + QStringLiteral("the Enable Selected Options button"));
    chkBottomLogo = box("chkBottomLogo", "&Bottom Logo", 30);
    chkRibbonLogo = box("chkRibbonLogo", "&Margin Message", 52);
    chkWatermark = box("chkWatermark", "&Watermark", 74);
    cmdDefineLegacy = button("cmdDefineLegacy", "&Enable Selected Options", 104);
    cmdDefineLegacy->setToolTip(spacingHint + QStringLiteral("this button"));
    cmdPrintSample = button("cmdPrintSample", "&Print Sample (Optional)", 148);
    // Alt+1 and Alt+2: Alt+T is the Top Logo's.
    cmdTextAttribSub = button("cmdTextAttribSub", "Text Attribute Substitution #&1", 188);
    cmdTextAttribSub2 = button("cmdTextAttribSub2", "Text Attribute Substitution #&2", 220);
    cmdExit = button("cmdExit", "E&xit", 260);
    addSteps(steps, this, {{12, 12}, {12, 152}, {12, 208}, {12, 264}});
    lblStatus = makeLabel(this, "lblStatus", {}, {80, 292, 377, 33});
    lblStatus->setWordWrap(true);
    lblStatus->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    Timer1->setInterval(kTimerMs);
}

void frmLegacy::createPreview() {
    const QColor highlight = highlightColour(env_.g.gScreenRed);
    auto picture = [this](const char* name, const char* description, const QRect& at, const QPixmap& art) {
        auto* l = new QLabel(this);
        l->setObjectName(QString::fromLatin1(name));
        l->setGeometry(at);
        l->setPixmap(art);
        l->setAccessibleName(QString::fromLatin1(description));
        l->hide();
        return l;
    };
    const QRect receipt(329, 40, 105, 209), top(329, 8, 105, 25), bottom(329, 256, 105, 25);
    const QSize margin(17, 209);
    imReceipt = picture("imReceipt", "Receipt", receipt, receiptPicture(receipt.size(), false, highlight));
    imReceiptWatermark = picture("imReceiptWatermark", "Receipt with watermark", receipt,
                                 receiptPicture(receipt.size(), true, highlight));
    imTopLogo = picture("imTopLogo", "Top logo", top, logoStrip(top.size(), QStringLiteral("TOP LOGO"), highlight));
    imBottomLogo = picture("imBottomLogo", "Bottom logo", bottom,
                           logoStrip(bottom.size(), QStringLiteral("BOTTOM LOGO"), highlight));
    imRibbonLogoL = picture("imRibbonLogoL", "Left margin message", {QPoint(305, 40), margin},
                            marginStrip(margin, highlight));
    imRibbonLogoR = picture("imRibbonLogoR", "Right margin message", {QPoint(441, 40), margin},
                            marginStrip(margin, highlight));
    imReceipt->show();
}

void frmLegacy::connectSignals() {
    connect(chkTopLogo, &QCheckBox::clicked, this, &frmLegacy::chkTopLogo_Click);
    connect(chkBottomLogo, &QCheckBox::clicked, this, &frmLegacy::chkBottomLogo_Click);
    connect(chkRibbonLogo, &QCheckBox::clicked, this, &frmLegacy::chkRibbonLogo_Click);
    connect(chkWatermark, &QCheckBox::clicked, this, &frmLegacy::chkWatermark_Click);
    connect(cmdDefineLegacy, &QPushButton::clicked, this, &frmLegacy::cmdDefineLegacy_Click);
    connect(cmdPrintSample, &QPushButton::clicked, this, &frmLegacy::cmdPrintSample_Click);
    connect(cmdTextAttribSub, &QPushButton::clicked, this, &frmLegacy::cmdTextAttribSub_Click);
    connect(cmdTextAttribSub2, &QPushButton::clicked, this, &frmLegacy::cmdTextAttribSub2_Click);
    connect(cmdExit, &QPushButton::clicked, this, &frmLegacy::cmdExit_Click);
    Timer1->onTimer = [this] { Timer1_Timer(); };
}

void frmLegacy::Form_Load() {
    centreOnScreen(*this);
    steps.setScreenRed(env_.g.gScreenRed);
    steps.show(1);
    Timer1->setEnabled(true);
}

void frmLegacy::Timer1_Timer() { Timer1->setEnabled(false); }

void frmLegacy::chkTopLogo_Click() {
    imTopLogo->setVisible(chkTopLogo->isChecked());
    steps.show(1);
}

void frmLegacy::chkBottomLogo_Click() {
    imBottomLogo->setVisible(chkBottomLogo->isChecked());
    steps.show(1);
}

void frmLegacy::chkRibbonLogo_Click() {
    imRibbonLogoL->setVisible(chkRibbonLogo->isChecked());
    imRibbonLogoR->setVisible(chkRibbonLogo->isChecked());
    steps.show(1);
}

void frmLegacy::chkWatermark_Click() {
    imReceiptWatermark->setVisible(chkWatermark->isChecked());
    imReceipt->setVisible(!chkWatermark->isChecked());
    steps.show(1);
}

void frmLegacy::cmdDefineLegacy_Click() {
    steps.show(1);
    bool sent;
    {
        BusyDialog busy(this, env_);
        sent = enableSelected();
    }
    lblStatus->setText(sent ? enabledText() : QStringLiteral("Not done: the options were not all sent."));
    if (sent) steps.show(2);
}

// What the printer now adds to every receipt by itself.
QString frmLegacy::enabledText() const {
    QStringList on;
    const std::pair<QCheckBox*, const char*> options[] = {{chkTopLogo, "the top logo"},
                                                          {chkBottomLogo, "the bottom logo"},
                                                          {chkRibbonLogo, "the margin message"},
                                                          {chkWatermark, "the watermark"}};
    for (const auto& [box, name] : options)
        if (box->isChecked()) on << QString::fromLatin1(name);
    if (on.isEmpty()) return QStringLiteral("Done: the printer adds nothing to receipts now; every option is off.");
    const QString last = on.takeLast();
    const QString list = on.isEmpty() ? last : on.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
    return QStringLiteral("Done: the printer now adds %1 to every receipt; the other options are off.").arg(list);
}

bool frmLegacy::enableSelected() {
    legacy::Options o;
    o.topLogo = chkTopLogo->isChecked();
    o.bottomLogo = chkBottomLogo->isChecked();
    o.marginMessage = chkRibbonLogo->isChecked();
    o.watermark = chkWatermark->isChecked();
    o.spacing = uint8_t(env_.g.gTopLogoSpacing);
    return legacy::enableSelected(env_.link, env_.batch, o);
}

void frmLegacy::cmdPrintSample_Click() { printSampleStep(this, env_, steps, *Timer1, legacy::sampleReceipt()); }


void frmLegacy::cmdTextAttribSub_Click() { openTextSub(1); }
void frmLegacy::cmdTextAttribSub2_Click() { openTextSub(2); }

void frmLegacy::openTextSub(int16_t set) {
    steps.show(3);
    frmTextSub dialog(env_, set, this);
    const QString n = numToText(set);
    dialog.setWindowTitle(QStringLiteral("Legacy Colorization - Text Attribute Substitution #") + n);
    dialog.cmdSubOff->setText(QStringLiteral("Turn Substitution #") + n + QStringLiteral(" OFF"));
    dialog.cmdSubOn->setText(QStringLiteral("Turn Substitution #") + n + QStringLiteral(" ON"));
    runModal(dialog);
    steps.show(4);
}

void frmLegacy::cmdExit_Click() { done(QDialog::Accepted); }

}  // namespace rastiv

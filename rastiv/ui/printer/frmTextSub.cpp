#include "ui/printer/frmTextSub.hpp"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

#include "link/clock.hpp"
#include "ui/common/dialogform.hpp"
#include "core/modGlobal.hpp"
#include "core/batchmode.hpp"
#include "ui/printer/logocommon.hpp"
#include "link/commlink.hpp"

namespace rastiv {

namespace {

constexpr int kHelpTopic = 13;

// The boxes in bit order.
struct AttributeBox {
    const char* name;
    const char* caption;
};
const AttributeBox kBoxes[textsub::kFromCount + textsub::kToCount] = {
    {"chkBold", "&Bold"},
    {"chkItalic", "&Italic"},
    {"chkReverse", "Reverse &Video"},
    {"chkUnderline", "&Underline"},
    {"chkDblHigh", "Double &High"},
    {"chkDblWide", "Double &Wide"},
    {"chkCompressed", "Co&mpressed"},
    // The same words as the left column, with letters of their own: a
    // mnemonic shared by two boxes only moves the focus between them.
    {"chkBoldSub", "Bo&ld"},
    {"chkItalicSub", "I&talic"},
    {"chkReverseSub", "Reverse Vide&o"},
    {"chkUnderlineSub", "U&nderline"},
    {"chkDblHighSub", "Double Hi&gh"},
    {"chkDblWideSub", "&Double Wide"},
    {"chkCompressedSub", "Compre&ssed"},
    {"chkColorSub", "&Color"},
    {"chkColorReverseSub", "Color &Reverse"},
};

}  // namespace

void printSampleStep(QWidget* dialog, Env& env, StepIndicator& steps, Timer& timer,
                     const QList<QByteArray>& receipt) {
    SendingPrintSample sample(env.batch);
    steps.show(2);
    bool printed;
    {
        BusyDialog busy(dialog, env);
        printed = printSampleReceipt(env.link, timer, receipt);
    }
    if (printed) steps.show(3);
}

frmTextSub::frmTextSub(Env& env, int16_t set, QWidget* parent)
    : QDialog(parent), Timer1(env.clock.createTimer()), env_(env), set_(set) {
    createControls();
    connectSignals();
    Form_Load();
}

frmTextSub::~frmTextSub() = default;

void frmTextSub::createControls() {
    setUpDialog(*this, "frmTextSub", QStringLiteral("Legacy Colorization - Text Attribute Substitution"), kHelpTopic,
                {433, 355});
    auto label = [this](const char* name, const char* text, int left) {
        return makeLabel(this, name, QString::fromLatin1(text), {left, 8, 153, 17});
    };
    auto box = [this](int i, int left, int row, const QString& column) {
        auto* b = new QCheckBox(QString::fromLatin1(kBoxes[i].caption), this);
        b->setObjectName(QString::fromLatin1(kBoxes[i].name));
        b->setGeometry(left, 28 + 22 * row, 153, 19);
        // The two columns share captions; the column tells them apart.
        b->setAccessibleDescription(column);
        return b;
    };
    auto button = [this](const char* name, const char* text, const QRect& at) {
        return makeButton(this, name, QString::fromLatin1(text), at);
    };
    const QString fromColumn = QStringLiteral("From..."), toColumn = QStringLiteral("To...");
    Label1 = label("Label1", "From...", 80);
    QCheckBox** left[] = {&chkBold, &chkItalic, &chkReverse, &chkUnderline, &chkDblHigh, &chkDblWide, &chkCompressed};
    for (int i = 0; i < textsub::kFromCount; ++i) *left[i] = box(i, 80, i, fromColumn);
    Label2 = label("Label2", "To...", 256);
    QCheckBox** right[] = {&chkBoldSub,    &chkItalicSub,     &chkReverseSub, &chkUnderlineSub,   &chkDblHighSub,
                           &chkDblWideSub, &chkCompressedSub, &chkColorSub,   &chkColorReverseSub};
    for (int i = 0; i < textsub::kToCount; ++i) *right[i] = box(textsub::kFromCount + i, 256, i, toColumn);
    Line1 = new QFrame(this);
    Line1->setObjectName(QStringLiteral("Line1"));
    Line1->setFrameShape(QFrame::VLine);
    Line1->setGeometry(240, 8, 9, 216);

    cmdSubOn = button("cmdSubOn", "Turn Substitution #2 ON", {80, 236, 161, 25});
    cmdSubOff = button("cmdSubOff", "Turn Substitution #2 OFF", {256, 236, 161, 25});
    cmdPrintSample = button("cmdPrintSample", "&Print Sample", {80, 284, 337, 25});
    cmdExit = button("cmdExit", "&Exit", {80, 322, 337, 25});

    // One frame around the boxes and the switch buttons (steps 1 and 2),
    // one around Print Sample, one around Exit.
    const QSize labelSize(45, 17);
    steps.addLabel(this, "lblStep1", {QPoint(12, 30), labelSize});
    steps.addLabel(this, "lblStep2", {QPoint(12, 240), labelSize});
    steps.addLabel(this, "lblStep3", {QPoint(12, 288), labelSize});
    steps.addLabel(this, "lblStep4", {QPoint(12, 326), labelSize});
    steps.addFrame(this, "sBox1", {4, 22, 425, 246});
    steps.addFrame(this, "sBox2", {4, 278, 425, 37});
    steps.addFrame(this, "sBox3", {4, 316, 425, 37});

    Timer1->setEnabled(false);
    Timer1->setInterval(kSampleReplyWaitMs);
}

void frmTextSub::connectSignals() {
    for (QCheckBox* b : boxes()) connect(b, &QCheckBox::clicked, this, &frmTextSub::chkAny_Click);
    connect(cmdSubOn, &QPushButton::clicked, this, &frmTextSub::cmdSubOn_Click);
    connect(cmdSubOff, &QPushButton::clicked, this, &frmTextSub::cmdSubOff_Click);
    connect(cmdPrintSample, &QPushButton::clicked, this, &frmTextSub::cmdPrintSample_Click);
    connect(cmdExit, &QPushButton::clicked, this, &frmTextSub::cmdExit_Click);
    Timer1->onTimer = [this] { Timer1_Timer(); };
}

QList<QCheckBox*> frmTextSub::boxes() const {
    return {chkBold,       chkItalic,        chkReverse,   chkUnderline,      chkDblHigh,    chkDblWide,
            chkCompressed, chkBoldSub,       chkItalicSub, chkReverseSub,     chkUnderlineSub, chkDblHighSub,
            chkDblWideSub, chkCompressedSub, chkColorSub,  chkColorReverseSub};
}

AttributeSet frmTextSub::attributes() const {
    AttributeSet set = 0;
    const QList<QCheckBox*> all = boxes();
    for (qsizetype k = 0; k < all.size(); ++k)
        if (all[k]->isChecked()) set |= AttributeSet(1u << k);
    return set;
}

void frmTextSub::Form_Load() {
    centreOnScreen(*this);
    steps.setScreenRed(env_.g.gScreenRed);
    steps.show(1);
}

void frmTextSub::chkAny_Click() { steps.show(1); }

void frmTextSub::Timer1_Timer() { Timer1->setEnabled(false); }

void frmTextSub::cmdSubOn_Click() { switchEntry(attributes()); }
// Off is the entry with no attributes, whatever the boxes say.
void frmTextSub::cmdSubOff_Click() { switchEntry(0); }

void frmTextSub::switchEntry(AttributeSet set) {
    steps.show(1);
    bool sent;
    {
        BusyDialog busy(this, env_);
        sent = sendEntry(set);
    }
    if (sent) steps.show(2);
}

bool frmTextSub::sendEntry(AttributeSet set) {
    return textsub::sendEntry(env_.link, env_.batch, uint8_t(set_), set);
}

void frmTextSub::cmdPrintSample_Click() {
    printSampleStep(this, env_, steps, *Timer1, textsub::sampleReceipt(attributes()));
}


void frmTextSub::cmdExit_Click() { done(QDialog::Accepted); }

}  // namespace rastiv

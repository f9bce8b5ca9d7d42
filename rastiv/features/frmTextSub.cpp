#include "features/frmTextSub.hpp"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

#include "link/clock.hpp"
#include "app/dialogform.hpp"
#include "app/modGlobal.hpp"
#include "batch/batchmode.hpp"
#include "features/logocommon.hpp"
#include "link/commlink.hpp"

namespace rastiv {

namespace {

constexpr int kHelpTopic = 13;

// The boxes in bit order, with the words the sample's combined line uses
// for them.
struct AttributeBox {
    const char* name;
    const char* caption;
    const char* word;
};
const AttributeBox kBoxes[textsub::kFromCount + textsub::kToCount] = {
    {"chkBold", "&Bold", "bold "},
    {"chkItalic", "&Italic", "italic "},
    {"chkReverse", "Reverse &Video", "reverse video "},
    {"chkUnderline", "&Underline", "underline "},
    {"chkDblHigh", "Double &High", "double high "},
    {"chkDblWide", "Double &Wide", "double wide "},
    {"chkCompressed", "Co&mpressed", "compressed pitch "},
    {"chkBoldSub", "&Bold", "bold "},
    {"chkItalicSub", "&Italic", "italic "},
    {"chkReverseSub", "Reverse &Video", "reverse video "},
    {"chkUnderlineSub", "&Underline", "underline "},
    {"chkDblHighSub", "Double &High", "double high "},
    {"chkDblWideSub", "Double &Wide", "double wide "},
    {"chkCompressedSub", "Co&mpressed", "compressed pitch "},
    {"chkColorSub", "&Color", "color "},
    {"chkColorReverseSub", "Color &Reverse", "reverse color "},
};
enum From { Bold, Italic, Reverse, Underline, DblHigh, DblWide, Compressed };

// ESC ! n print mode bits of the "From" attributes that have one; italic
// and reverse video have commands of their own.
struct PrintModeBit {
    From attribute;
    uint8_t bit;
};
constexpr PrintModeBit kPrintMode[] = {{Bold, 0x08}, {Underline, 0x80}, {DblHigh, 0x10}, {DblWide, 0x20},
                                       {Compressed, 0x01}};

using cmd::kReset;
using cmd::printMode;

}  // namespace

namespace textsub {

QByteArray entry(uint8_t n, AttributeSet set) {
    return cmd::textSubstitution(n, set);
}

QList<QByteArray> sampleReceipt(AttributeSet set) {
    QList<QByteArray> s{kReset,
                        "The following text sample contains words \n",
                        "with the attributes you have selected to \n",
                        "substitute for.  Don't forget that there \n",
                        "are two attribute remapping entries, so  \n",
                        "the other remapping might affect the     \n",
                        "printed output.\n\n"};
    // Each attribute on, its line, and off again.
    const struct {
        QByteArray on, text, off;
    } lines[] = {
        {cmd::bold(true), "This line was originally bold text\n", cmd::bold(false)},
        {cmd::italic(true), "This line was originally italicized text\n", cmd::italic(false)},
        {cmd::reverse(true), "This line was originally reverse video text\n", cmd::reverse(false)},
        {cmd::underline(true), "This line was originally underlined text\n", cmd::underline(false)},
        {printMode(0x10), "This line was originally double high text\n", printMode(0)},
        {printMode(0x20), "This was originally\n  double wide text\n", printMode(0)},
        {printMode(0x01), "This line was originally compressed pitch text\n", printMode(0)},
    };
    for (const auto& l : lines) s << l.on << l.text << l.off;
    s << "\n";

    // One line with every "From" attribute at once.
    if (set & from(Italic)) s << cmd::italic(true);
    if (set & from(Reverse)) s << cmd::reverse(true);
    uint8_t m = 0;
    for (const PrintModeBit& p : kPrintMode)
        if (set & from(p.attribute)) m |= p.bit;
    s << printMode(m);
    s << "This text has all attributes selected in the left column on the screen (";
    for (int i = 0; i < kFromCount; ++i)
        if (set & from(i)) s << kBoxes[i].word;
    s << ").  It should appear with all the attributes selected in the right column on the screen (";
    for (int i = 0; i < kToCount; ++i)
        if (set & to(i)) s << kBoxes[kFromCount + i].word;
    // "ramapping" is how the printed receipt has always read.
    s << ").  Don't forget that there are two attribute " << "ramapping entries, so the other remapping might "
      << "affect the printed output.\n";

    s << kReset;
    s << "\nIf you need any help using this utility, the\n"
      << " "
      << "help file that is included contains tips \n"
      << "and instructions to enable you to take full\n"
      << "advantage of Vru's Rastiv thermal printing\n"
      << "features.\n";
    s << cmd::kFeed;
    return s;
}

}  // namespace textsub

void printSampleStep(QWidget* dialog, Env& env, StepIndicator& steps, Timer& timer,
                     const QList<QByteArray>& receipt) {
    SendingPrintSample sample(env.g);
    steps.show(2);
    bool printed;
    {
        BusyDialog busy(dialog, env);
        printed = printSampleReceipt(env.link, timer, receipt);
    }
    if (printed) steps.show(3);
}

frmTextSub::frmTextSub(Env& env, QWidget* parent)
    : QDialog(parent), Timer1(env.clock.createTimer()), env_(env) {
    createControls();
    connectSignals();
    Form_Load();
}

frmTextSub::~frmTextSub() = default;

void frmTextSub::createControls() {
    setUpDialog(*this, "frmTextSub", QStringLiteral("Legacy Colorization - Text Attribute Substitution"), kHelpTopic,
                {433, 355});
    auto label = [this](const char* name, const char* text, int left) {
        auto* l = new QLabel(QString::fromLatin1(text), this);
        l->setObjectName(QString::fromLatin1(name));
        l->setGeometry(left, 8, 153, 17);
        return l;
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
        auto* b = new QPushButton(QString::fromLatin1(text), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setGeometry(at);
        return b;
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
    CommLink& link = env_.link;
    if (!link.SendData(textsub::entry(uint8_t(env_.g.gTextSubSet), set))) return false;
    if (!link.SendData(cmd::kStoreSettings)) return false;
    link.WaitForPrinter();
    env_.batch.InsertBatchPlayWait();
    return true;
}

void frmTextSub::cmdPrintSample_Click() {
    printSampleStep(this, env_, steps, *Timer1, textsub::sampleReceipt(attributes()));
}


void frmTextSub::cmdExit_Click() { done(QDialog::Accepted); }

}  // namespace rastiv

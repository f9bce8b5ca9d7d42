#include "ui/picture/frmColors.hpp"

#include "link/clock.hpp"
#include "ui/common/dialogform.hpp"
#include "core/modGlobal.hpp"
#include "core/numtext.hpp"
#include "ui/common/waitcursor.hpp"
#include "ui/picture/frmColorMap.hpp"

#include <QFrame>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cmath>

namespace rastiv {

namespace {
constexpr int kHelpTopic = 14;
// A low speed takes thousands of steps a second, far more than an eye can
// follow: the labels follow at most this often, every fold is shown.
constexpr qint64 kRefreshMs = 20;
}  // namespace

QString percentText(int32_t percent) {
    return percent == 0 ? QStringLiteral("<1%") : numToText(percent) + QStringLiteral("%");
}

frmColors::frmColors(Env& env, const WorkingPicture& picture, Workflow& main, QWidget* parent)
    : QDialog(parent), env_(env), picture_(picture), main_(main) {
    setUpDialog(*this, "frmColors", QStringLiteral("Color Translation"), kHelpTopic, {268, 209});

    Text1 = noteBox(this, "Text1",
                    QStringLiteral("Enter the two parameters and click OK to \r\n"
                                   "map your image to a (possibly) reduced set of colors.\r\n"),
                    {8, 8, 252, 36});

    auto label = [this](QLabel*& l, const char* name, const QString& text, QRect r) {
        l = new QLabel(text, this);
        l->setObjectName(QString::fromLatin1(name));
        l->setGeometry(r);
    };
    auto box = [this](QLineEdit*& b, const char* name, const QString& text, QRect r) {
        b = new QLineEdit(text, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setGeometry(r);
        b->installEventFilter(this);
    };
    label(Label1, "Label1", QStringLiteral("Max. Number of User Colors (1-9)"), {8, 52, 186, 17});
    box(tbNumUserColors, "tbNumUserColors", QStringLiteral("5"), {200, 50, 57, 19});
    Label1->setBuddy(tbNumUserColors);
    label(Label3, "Label3", QStringLiteral("Conversion Speed"), {8, 78, 186, 17});
    box(tbColorSpeed, "tbColorSpeed", QStringLiteral("500"), {200, 76, 57, 19});
    Label3->setBuddy(tbColorSpeed);
    label(Label4, "Label4", QStringLiteral("Translation Status"), {8, 106, 186, 17});
    Line1 = new QFrame(this);
    Line1->setObjectName(QStringLiteral("Line1"));
    Line1->setFrameShape(QFrame::HLine);
    Line1->setFrameShadow(QFrame::Sunken);
    Line1->setGeometry(8, 124, 252, 2);
    label(lblNumber, "lblNumber", QStringLiteral("Number of User Colors"), {8, 132, 252, 17});
    label(lblThreshold, "lblThreshold", QStringLiteral("Color Threshold"), {8, 150, 252, 17});
    lblNumber->hide();
    lblThreshold->hide();

    cmdSetUpRemap = makeButton(this, "cmdSetUpRemap", QStringLiteral("&OK"), {8, 176, 81, 25});
    cmdSetUpRemap->setDefault(true);
    cmdCancel = makeButton(this, "cmdCancel", QStringLiteral("&Cancel"), {179, 176, 81, 25});

    // Laid out for a narrower font than most desktops use: widen the dialog
    // to the instructions' longest line, the boxes and Cancel staying at the right.
    int textWidth = Text1->width();
    for (const QString& line : Text1->toPlainText().split(u'\n'))
        textWidth = std::max(textWidth, Text1->fontMetrics().horizontalAdvance(line.trimmed()) + 6);
    if (const int shift = textWidth - Text1->width(); shift > 0) {
        setFixedWidth(width() + shift);
        Text1->setFixedWidth(textWidth);
        Line1->setFixedWidth(Line1->width() + shift);
        for (QWidget* w : std::initializer_list<QWidget*>{tbNumUserColors, tbColorSpeed, cmdCancel})
            w->move(w->x() + shift, w->y());
    }

    QWidget::setTabOrder(tbNumUserColors, tbColorSpeed);
    QWidget::setTabOrder(tbColorSpeed, cmdSetUpRemap);
    QWidget::setTabOrder(cmdSetUpRemap, cmdCancel);
    connect(cmdSetUpRemap, &QPushButton::clicked, this, &frmColors::cmdSetUpRemap_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmColors::cmdCancel_Click);

    openMapping = [this](ColourSession& session) {
        frmColorMap mapping(env_, picture_, main_, session, parentWidget());
        mapped_ = runModal(mapping) == QDialog::Accepted;
        if (mapped_) session = mapping.session();
    };
    centreOnScreen(*this);
    tbNumUserColors->setFocus();
}

frmColors::~frmColors() = default;

// Each box's whole text is selected when it takes the focus, so a new value
// simply replaces it.
bool frmColors::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn)
        if (auto* b = qobject_cast<QLineEdit*>(watched)) QTimer::singleShot(0, b, &QLineEdit::selectAll);
    return QDialog::eventFilter(watched, event);
}

bool frmColors::refuse(const ColourInputs& in) {
    using R = ColourInputs::Refusal;
    const char* text = nullptr;
    QLineEdit* offending = tbColorSpeed;
    QString fallback = QStringLiteral("500");
    switch (in.refusal) {
        case R::None: return false;
        case R::SpeedTooHigh: text = "The maximum value for the color speed is 10000"; break;
        case R::SpeedTooLow: text = "The minimum value for the color speed is 1"; break;
        case R::TooFewColours: text = "The minimum value for the number of user colors is 1"; break;
        case R::TooManyColours: text = "The maximum value for the number of user colors is 9"; break;
    }
    if (in.refusal == R::TooFewColours || in.refusal == R::TooManyColours) {
        offending = tbNumUserColors;
        fallback = QStringLiteral("5");
    }
    tell(env_, QString::fromLatin1(text), QStringLiteral("Try Again!"), MsgIcon::Information, kHelpTopic);
    main_.EnableButtons();
    offending->setText(fallback);
    return true;
}

void frmColors::cmdSetUpRemap_Click() {
    if (running_) return;
    const ColourInputs in = readColourInputs(tbNumUserColors->text(), tbColorSpeed->text());
    if (refuse(in)) return;
    session_ = ColourSession();
    session_.speed = in.speed;
    session_.wanted = in.colours;
    {
        WaitCursor hourglass;
        translate();
    }
    main_.ShowBitmap(picture_.current);
    if (!cancelled_) {
        hide();
        openMapping(session_);  // the mapping hands the main window its buttons back
    } else {
        tell(env_,
             QStringLiteral("Your bitmap may have been modified even though you hit 'Cancel'.  Reload the original "
                            "bitmap before further processing."),
             QStringLiteral("Bitmap Modified?"), MsgIcon::Exclamation, -1, MsgButtons::Ok, {},
             QStringLiteral("You need not reload it: Rastiv puts the picture back as it was before Modify Colors, "
                            "and Edit > Redo brings back what the translation did."));
        main_.EnableButtons();
    }
    QDialog::done(cancelled_ ? QDialog::Rejected : QDialog::Accepted);
}

void frmColors::showProgress() {
    lblNumber->setText(QStringLiteral("Number of User Colors = ") + numToText(rank_));
    lblThreshold->setText(QStringLiteral("Color Threshold = ") + numToText(threshold_));
    env_.clock.letPendingEventsRun();
    shownAtMs_ = env_.clock.nowMs();
}

void frmColors::tellLibraryError(int32_t code) {
    tell(env_, QStringLiteral("Error modifying colors.\r\n") + errorNumber(code), QStringLiteral("Color Swap Error"),
         MsgIcon::Information, kHelpTopic);
}

// Folds colours from the most frequent down (translateColours), showing each
// pass in the labels and the picture as it loses colours; the colours left
// over go into the session.
void frmColors::translate() {
    const QString& path = picture_.current;

    running_ = true;
    tbNumUserColors->setReadOnly(true);
    tbColorSpeed->setReadOnly(true);
    cmdSetUpRemap->setEnabled(false);
    lblNumber->show();
    lblThreshold->show();
    env_.clock.letPendingEventsRun();

    TranslationHooks hooks;
    bool first = true;
    hooks.progress = [&](int rank, int32_t threshold) {
        rank_ = rank;
        threshold_ = threshold;
        if (first || env_.clock.nowMs() - shownAtMs_ >= kRefreshMs) showProgress();
        first = false;
    };
    // The operator watches the picture lose its colours.  The file stays as
    // the folds found it until the run ends, so the first fold reads it, and
    // every fold after that only recolours it: a pixel shows the palette
    // entry its index has become.
    QImage shown;
    QList<QRgb> began;
    hooks.shown = [&](const uint8_t* indexNow) {
        if (began.isEmpty()) {
            QImageReader reader(path);
            reader.setDecideFormatFromContent(true);
            shown = reader.read();
            began = shown.colorTable();
            if (began.isEmpty()) return;  // unreadable: the final showing will say so
        }
        QList<QRgb> now = began;
        for (qsizetype i = 0; i < now.size(); ++i)
            if (indexNow[i] < began.size()) now[i] = began[indexNow[i]];
        shown.setColorTable(now);
        main_.ShowPicture(shown);
        showProgress();
    };
    hooks.cancelled = [this] { return cancelled_; };
    const Translation run = translateColours(env_.pixmill, path, session_.wanted, session_.speed, hooks);
    if (!first) showProgress();  // where the run ended
    session_.colours = run.colours;
    session_.codes.assign(run.colours.size(), 0);
    if (run.error != 0) tellLibraryError(run.error);

    tbNumUserColors->setReadOnly(false);
    tbColorSpeed->setReadOnly(false);
    cmdSetUpRemap->setEnabled(true);
    running_ = false;
}

// Outside a run Cancel ends the step; during one it only asks the run to
// stop, which it does at the start of its next pass: the dialog must not go
// away under the loop that is using it.
void frmColors::cmdCancel_Click() {
    if (running_) {
        cancelled_ = true;
        return;
    }
    main_.EnableButtons();
    QDialog::done(QDialog::Rejected);
}

// Esc and the close box are Cancel.
void frmColors::done(int result) {
    if (result == QDialog::Rejected) {
        cmdCancel_Click();
        return;
    }
    QDialog::done(result);
}

}  // namespace rastiv

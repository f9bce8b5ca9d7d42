#include "ui/picture/frmResize.hpp"

#include "link/clock.hpp"
#include "ui/common/dialogform.hpp"
#include "ui/common/f1help.hpp"
#include "core/loadproblem.hpp"
#include "core/modGlobal.hpp"
#include "core/numtext.hpp"
#include "core/picturepipeline.hpp"
#include "core/pixmill.hpp"
#include "ui/common/waitcursor.hpp"

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <algorithm>
#include <cmath>
#include <cstdint>

namespace rastiv {

namespace {
constexpr int kHelpTopic = 2;
}  // namespace

WidthInput normaliseWidth(const QString& typed) {
    WidthInput r;
    const double value = std::floor(leadingNumber(typed));
    // Wider than any int is simply "too wide": clamp before narrowing.
    const int64_t w = clampToInt(value, INT32_MIN, INT32_MAX);
    r.normalised = numToText(w);
    r.final = r.normalised;
    r.width = int32_t(w);
    if (w > int64_t(kMaxPrintWidth)) {
        r.final = QStringLiteral("576");
        r.width = int32_t(kMaxPrintWidth);
    }
    if (r.width < kMinResizeWidth) {
        r.final = QStringLiteral("10");
        r.width = kMinResizeWidth;
    }
    return r;
}

frmResize::frmResize(Env& env, const WorkingPicture& picture, Workflow& main, QWidget* parent)
    : QDialog(parent), env_(env), picture_(picture), main_(main) {
    setObjectName(QStringLiteral("frmResize"));
    setWindowTitle(QStringLiteral("Resize Bitmap"));
    setHelpTopic(this, kHelpTopic);
    QFont small = font();
    small.setPointSizeF(8);
    setFont(small);

    tbText1 = noteBox(this, "tbText1",
                      QStringLiteral("Enter the desired width of the image in pixels.  \r\n"
                                     "Allowed values are 10 to 576.  The height will be \r\n"
                                     "scaled to maintain the aspect ratio of the image."),
                      {8, 8, 233, 49});

    Label1 = makeLabel(this, "Label1", QStringLiteral("Width"), {8, 64, 33, 17});

    tbWidth = new QLineEdit(this);
    tbWidth->setObjectName(QStringLiteral("tbWidth"));
    tbWidth->setGeometry(48, 64, 49, 19);
    Label1->setBuddy(tbWidth);

    cmdResize = makeButton(this, "cmdResize", QStringLiteral("&Re-size"), {152, 64, 89, 25});
    cmdResize->setDefault(true);

    cmdCancel = makeButton(this, "cmdCancel", QStringLiteral("&Cancel"), {152, 96, 89, 25});

    // The layout was drawn for a narrower font than most desktops use: widen
    // the text box to its longest line and keep the buttons under its right end.
    int textWidth = 233;
    for (const QString& line : tbText1->toPlainText().split(u'\n'))
        textWidth = std::max(textWidth, tbText1->fontMetrics().horizontalAdvance(line.trimmed()) + 6);
    const int shift = textWidth - 233;
    tbText1->setFixedWidth(textWidth);
    cmdResize->move(cmdResize->x() + shift, cmdResize->y());
    cmdCancel->move(cmdCancel->x() + shift, cmdCancel->y());
    setFixedSize(249 + shift, 129);

    QWidget::setTabOrder(tbWidth, cmdResize);
    QWidget::setTabOrder(cmdResize, cmdCancel);

    connect(cmdResize, &QPushButton::clicked, this, &frmResize::cmdResize_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmResize::cmdCancel_Click);

    Form_Load();
}

void frmResize::Form_Load() {
    main_.ReadBitmapSize(picture_.current);
    // Never a width that Re-size would silently change: a picture wider than
    // the paper is offered the paper's width.
    const uint32_t offered = std::clamp(picture_.widthOrZero(), uint32_t(kMinResizeWidth), kMaxPrintWidth);
    tbWidth->setText(QString::number(offered));
    if (const QScreen* s = QGuiApplication::primaryScreen()) move(s->geometry().center() - rect().center());
    tbWidth->selectAll();
    tbWidth->setFocus();
}

void frmResize::cmdResize_Click() {
    const WidthInput w = normaliseWidth(tbWidth->text());
    tbWidth->setText(w.normalised);
    tbWidth->setText(w.final);

    resized_ = true;
    setEnabled(false);
    {
        WaitCursor hourglass;
        const StepResult r = resizeWorkingCopy(env_.pixmill, picture_.current, env_.workDir, w.width);
        if (!r.ok()) {
            hourglass.restore();
            tell(env_, stepError(r), QStringLiteral("PIXMILL DLL Error"), MsgIcon::Exclamation, kHelpTopic,
                 MsgButtons::Ok, {}, fileAdvice(env_.pixmill, r.status, picture_.current));
        } else {
            main_.ShowBitmap(picture_.current);
        }
        env_.clock.pumpEvents();
        setEnabled(true);
    }
    accept();
}

void frmResize::cmdCancel_Click() { reject(); }

void frmResize::done(int result) {
    Form_Unload();
    QDialog::done(result);
}

void frmResize::Form_Unload() {
    // Every way out (Re-size, Cancel, Esc, the close box) gives the buttons
    // back; only Re-size moves the marker on: a cancelled dialog changes
    // nothing.
    if (unloaded_) return;
    unloaded_ = true;
    if (resized_) main_.MoveStepMarker(3);
    main_.EnableButtons();
}

}  // namespace rastiv

#include "ui/picture/frmColorMap.hpp"

#include "link/clock.hpp"
#include "ui/common/dialogform.hpp"
#include "core/modGlobal.hpp"
#include "core/pixmill.hpp"
#include "ui/common/waitcursor.hpp"
#include "core/colournames.hpp"
#include "core/nearestrendering.hpp"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyleOptionFocusRect>
#include <algorithm>

namespace rastiv {

namespace {
constexpr int kHelpTopic = 3;
constexpr int kVisibleRows = 9;
constexpr int kBoxSide = 40;
constexpr int kBoxLeft = 40;
constexpr int kSwatchLeft = 232;
constexpr int kSwatchTop = 110;
constexpr int kSwatchPitch = 41;  // eleven swatches beside nine rows of 50

QColor colourOf(uint32_t v) {
    const Rgb c = rgbOf(v);
    return QColor(c.r, c.g, c.b);
}

QPoint centreOf(const QWidget* w) { return w->geometry().center(); }

// The outline around the selected image colour.
class Outline final : public QWidget {
public:
    explicit Outline(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_TransparentForMouseEvents); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setPen(QPen(palette().color(QPalette::Highlight), 2));
        p.drawRect(rect().adjusted(1, 1, -1, -1));
    }
};
}  // namespace

QImage swatchImage(const PrinterColour& c, bool screenRed) {
    const QColor ink = !c.highlight ? QColor(Qt::black) : screenRed ? QColor(255, 0, 0) : QColor(0, 0, 255);
    QImage image(kBoxSide, kBoxSide, QImage::Format_RGB32);
    for (int y = 0; y < kBoxSide; ++y)
        for (int x = 0; x < kBoxSide; ++x) {
            bool inked = false;
            switch (c.coverage) {
                case 100: inked = true; break;
                case 75: inked = !(x % 2 == 0 && y % 2 == 0); break;  // one white dot per 2 x 2 cell
                case 50: inked = (x + y) % 2 == 0; break;             // checkerboard
                case 37: inked = (x * 3 + y * 5) % 8 < 3; break;      // three dots in eight, scattered
                case 25: inked = x % 2 == 0 && y % 2 == 0; break;     // one inked dot per 2 x 2 cell
                default: break;
            }
            image.setPixelColor(x, y, inked ? ink : QColor(Qt::white));
        }
    return image;
}

ColourButton::ColourButton(QWidget* parent) : QAbstractButton(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
}

void ColourButton::setFill(const QColor& c) {
    fill_ = c;
    update();
}

void ColourButton::setPicture(const QImage& picture) {
    picture_ = picture;
    update();
}

void ColourButton::setCrossed(bool on) {
    if (crossed_ == on) return;
    crossed_ = on;
    update();
}

void ColourButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (picture_.isNull())
        p.fillRect(rect(), fill_);
    else
        p.drawImage(rect(), picture_);
    p.setPen(QPen(Qt::black, 1));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    if (crossed_) {
        p.drawLine(rect().topLeft(), rect().bottomRight());
        p.drawLine(rect().bottomLeft(), rect().topRight());
    }
    if (hasFocus()) {
        // A frame inside the picture in both of the highlight's contrasts,
        // so that it shows on any fill.
        p.setPen(QPen(Qt::white, 1, Qt::SolidLine));
        p.drawRect(rect().adjusted(2, 2, -3, -3));
        p.setPen(QPen(Qt::black, 1, Qt::DotLine));
        p.drawRect(rect().adjusted(2, 2, -3, -3));
    }
}

void ColourButton::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        click();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

frmColorMap::frmColorMap(Env& env, const WorkingPicture& picture, Workflow& main, ColourSession session,
                         QWidget* parent)
    : QDialog(parent),
      env_(env),
      picture_(picture),
      main_(main),
      session_(std::move(session)),
      Timer1(env.clock.createTimer()) {
    const ColourHandOver& colours = session_.colours;
    setUpDialog(*this, "frmColorMap", QStringLiteral("Manual Color Translation"), kHelpTopic, {300, 606});

    lbInstructions = new QLabel(
        QStringLiteral("Click on an image color in the left column and then click on a printer color in the right "
                       "column.  More than one image color from the left column can be mapped to a single printer "
                       "color in the right column."),
        this);
    lbInstructions->setObjectName(QStringLiteral("lbInstructions"));
    lbInstructions->setWordWrap(true);
    lbInstructions->setGeometry(8, 8, 284, 90);

    HighlightBox = new Outline(this);
    HighlightBox->setObjectName(QStringLiteral("HighlightBox"));
    HighlightBox->resize(kBoxSide + 8, kBoxSide + 8);
    HighlightBox->hide();

    vscSrcColor = new QScrollBar(Qt::Vertical, this);
    vscSrcColor->setObjectName(QStringLiteral("vscSrcColor"));
    vscSrcColor->setAccessibleName(QStringLiteral("Scroll the image colors"));
    vscSrcColor->setFocusPolicy(Qt::StrongFocus);  // the only way to rows beyond the ninth by keyboard
    vscSrcColor->setGeometry(8, boxTop(0), 17, kVisibleRows * 50 - 10);
    vscSrcColor->setPageStep(kVisibleRows);

    for (int i = 0; i < int(colours.size()); ++i) addImageColour(i, colours[size_t(i)]);
    const int n = int(colours.size());
    if (n > kVisibleRows) {
        vscSrcColor->setRange(0, n - kVisibleRows);
        vscSrcColor->setValue(0);
        vscSrcColor->show();
    } else {
        vscSrcColor->hide();
    }

    for (int i = 0; i < int(kPrinterColours.size()); ++i) {
        const PrinterColour& c = kPrinterColours[size_t(i)];
        auto* swatch = new ColourButton(this);
        swatch->setObjectName(QStringLiteral("MapColor%1").arg(i));
        swatch->setToolTip(QString::fromLatin1(c.tooltip));
        swatch->setAccessibleName(QString::fromLatin1(c.tooltip));
        swatch->setPicture(swatchImage(c, env_.g.gScreenRed));
        swatch->setGeometry(kSwatchLeft, kSwatchTop + i * kSwatchPitch, kBoxSide, kBoxSide);
        // The mouse button is let go over the printer colour: that assigns it.
        connect(swatch, &QAbstractButton::released, this, [this, i] { MapColor_MouseUp(i); });
        MapColor[size_t(i)] = swatch;
    }

    cmdMap = makeButton(this, "cmdMap", QStringLiteral("&Re-Map!"), {8, 572, 100, 25});
    // Between Re-Map! and Cancel, where the bottom row has room.
    cmdPropose = makeButton(this, "cmdPropose", QStringLiteral("&Nearest"), {112, 572, 76, 25});
    cmdPropose->setToolTip(QStringLiteral("Give every image color not yet matched the printer color nearest to it"));
    cmdPropose->setAccessibleName(QStringLiteral("Match the rest to the nearest printer colors"));
    cmdCancel = makeButton(this, "cmdCancel", QStringLiteral("&Cancel"), {192, 572, 100, 25});
    connect(cmdMap, &QPushButton::clicked, this, &frmColorMap::cmdMap_Click);
    connect(cmdPropose, &QPushButton::clicked, this, &frmColorMap::cmdPropose_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmColorMap::cmdCancel_Click);
    connect(vscSrcColor, &QScrollBar::valueChanged, this, &frmColorMap::vscSrcColor_Change);

    QWidget* previous = nullptr;
    auto chain = [&previous](QWidget* w) {
        if (previous) QWidget::setTabOrder(previous, w);
        previous = w;
    };
    for (ColourButton* b : UserColor) chain(b);
    chain(vscSrcColor);
    for (ColourButton* s : MapColor) chain(s);
    chain(cmdPropose);
    chain(cmdMap);
    chain(cmdCancel);

    Timer1->setInterval(500);
    Timer1->setEnabled(false);
    Timer1->onTimer = [this] { Timer1_Timer(); };

    // At the right edge of the screen, level with the main window, so that
    // the picture stays in view while it blinks.
    int top = parent ? parent->window()->frameGeometry().top() : 0;
    if (const QScreen* s = QGuiApplication::primaryScreen()) {
        const QRect screen = s->availableGeometry();
        move(screen.x() + screen.width() - width(), std::max(top, screen.y()));
    }
    if (!UserColor.isEmpty()) UserColor.front()->setFocus();
}

frmColorMap::~frmColorMap() = default;

void frmColorMap::addImageColour(int index, const ImageColour& c) {
    auto* box = new ColourButton(this);
    box->setObjectName(QStringLiteral("UserColor%1").arg(index));
    // What a sighted operator sees in the swatch and beside it.
    const QString share = c.percent == 0 ? QStringLiteral("under 1 %") : QStringLiteral("%1 %").arg(c.percent);
    box->setAccessibleName(
        QStringLiteral("Image color %1, %2, %3").arg(index + 1).arg(colourName(colourOf(c.colour)), share));
    box->setFill(colourOf(c.colour));
    box->setGeometry(kBoxLeft, boxTop(index), kBoxSide, kBoxSide);
    box->setVisible(index < kVisibleRows);
    connect(box, &QAbstractButton::pressed, this, [this, index] { UserColor_MouseDown(index); });
    UserColor.append(box);

    auto* label = new QLabel(percentText(c.percent), this);
    label->setObjectName(QStringLiteral("lbPercentage%1").arg(index));
    label->setGeometry(kBoxLeft + kBoxSide + 8, labelTop(index), 60, 20);
    label->setVisible(index < kVisibleRows);
    lbPercentage.append(label);
    describe(index, 0);
}

// What a screen reader says about an image colour besides its name: its
// share of the picture and the printer colour it has been given, which the
// sighted operator reads from the lines and crosses.
void frmColorMap::describe(int index, int32_t code) {
    QString text = lbPercentage[index]->text().trimmed() + QStringLiteral(" of the picture; ");
    if (code >= 1 && code <= int32_t(kPrinterColours.size()))
        text += QStringLiteral("printer color: ") + QString::fromLatin1(kPrinterColours[size_t(code - 1)].tooltip).trimmed();
    else
        text += QStringLiteral("no printer color yet");
    UserColor[index]->setAccessibleDescription(text);
}

bool frmColorMap::blinking() const { return Timer1->isEnabled(); }

void frmColorMap::stopBlink() {
    if (!Timer1->isEnabled()) return;
    Timer1->setEnabled(false);
    main_.ShowBitmap(picture_.current);
}

void frmColorMap::UserColor_MouseDown(int index) {
    if (index < 0 || index >= UserColor.size()) return;
    SelectedColor = index + 1;
    const QRect box = UserColor[index]->geometry();
    HighlightBox->move(box.x() - 4, box.y() - 4);
    HighlightBox->show();
    stopBlink();
    // The copy shows the selected colour inverted; the two take turns in the
    // main window so that the operator sees where the colour lies.
    const QString copy = env_.workPath("tmpfile2.bmp");
    env_.pixmill.SaveBMP(picture_.current, copy);
    FlashColor = session_.colours[size_t(index)].colour;
    env_.pixmill.Flash(copy, FlashColor);
    FlashTick = 0;
    Timer1->setEnabled(true);
}

void frmColorMap::Timer1_Timer() {
    main_.ShowBitmap(FlashTick % 2 == 0 ? env_.workPath("tmpfile2.bmp") : picture_.current);
    ++FlashTick;
}

void frmColorMap::MapColor_MouseUp(int index) {
    Timer1->setEnabled(false);
    main_.ShowBitmap(picture_.current);
    if (SelectedColor >= 1) session_.codes[size_t(SelectedColor - 1)] = index + 1;
    DrawColorMap();
}

void frmColorMap::DrawColorMap() {
    HighlightBox->hide();
    lines_.clear();
    for (int i = 0; i < UserColor.size(); ++i) {
        const int32_t code = session_.codes[size_t(i)];
        describe(i, code);
        UserColor[i]->setCrossed(code >= 1 && code <= int32_t(MapColor.size()));
        // A colour scrolled out of view has no line: it would run over the
        // instructions or the buttons.  Its cross shows when it is back.
        if (UserColor[i]->crossed() && !UserColor[i]->isHidden()) lines_.append({i, code - 1});
    }
    update();
}

void frmColorMap::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    QPainter p(this);
    p.setPen(QPen(Qt::black, 1));
    for (const auto& [from, to] : lines_) p.drawLine(centreOf(UserColor[from]), centreOf(MapColor[size_t(to)]));
}

void frmColorMap::vscSrcColor_Change() {
    const int v = vscSrcColor->value();
    for (int i = 0; i < UserColor.size(); ++i) {
        const int row = i - v;
        UserColor[i]->move(kBoxLeft, boxTop(row));
        lbPercentage[i]->move(lbPercentage[i]->x(), labelTop(row));
        const bool visible = row >= 0 && row < kVisibleRows;
        UserColor[i]->setVisible(visible);
        lbPercentage[i]->setVisible(visible);
    }
    DrawColorMap();
}

void frmColorMap::cmdMap_Click() {
    modGlobal& g = env_.g;
    PixmillBinding& pm = env_.pixmill;
    setEnabled(false);
    WaitCursor hourglass;
    if (!session_.complete()) {
        hourglass.restore();
        tell(env_,
             QStringLiteral("You have not matched all the colors in the left column to a color in the right "
                            "column."),
             QStringLiteral("Color Map Warning"), MsgIcon::Information, kHelpTopic);
        setEnabled(true);
        return;
    }

    const QString& path = picture_.current;
    const uint32_t highlight = g.markColour();
    const int32_t status = applyColourMapping(pm, path, session_.mapping(), highlight, g.paperKind());

    if (status != 0) {
        hourglass.restore();
        tell(env_, QStringLiteral("Error mapping colors.\r\n") + errorNumber(status),
             QStringLiteral("Color Swap Error"), MsgIcon::Information, kHelpTopic);
    } else {
        pm.CleanBMP(path);
        Timer1->setEnabled(false);  // the working bitmap is shown next, not the copy
        main_.ShowBitmap(path);
        main_.MoveStepMarker(4);
        main_.EnableButtons();
    }
    hourglass.restore();
    setEnabled(true);
    done(status == 0 ? QDialog::Accepted : QDialog::Rejected);
}

void frmColorMap::cmdPropose_Click() {
    stopBlink();
    session_.matchRest(env_.g.gScreenRed ? Highlight::Red : Highlight::Blue);
    DrawColorMap();
    cmdMap->setFocus();
}

void frmColorMap::cmdCancel_Click() { done(QDialog::Rejected); }

void frmColorMap::done(int result) {
    Form_Unload();
    QDialog::done(result);
}

// However the dialog closes: the main window shows the working bitmap (not
// the blinking copy) and gets its buttons back.
void frmColorMap::Form_Unload() {
    if (unloaded_) return;
    unloaded_ = true;
    stopBlink();
    main_.EnableButtons();
}

}  // namespace rastiv

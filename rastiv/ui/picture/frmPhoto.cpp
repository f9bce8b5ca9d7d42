#include "ui/picture/frmPhoto.hpp"

#include "ui/common/dialogform.hpp"
#include "ui/common/f1help.hpp"
#include "core/modGlobal.hpp"
#include "core/pixmill.hpp"
#include "core/pictureimport.hpp"
#include "core/picturepipeline.hpp"
#include "ui/common/waitcursor.hpp"
#include "link/clock.hpp"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QImageReader>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QSlider>
#include <cmath>

namespace rastiv {

namespace {
constexpr int kHelpTopic = 3;
// Long enough to follow a slider being dragged without separating at every
// step, short enough to feel immediate.
constexpr int kPreviewPauseMs = 150;
// The printer prints 8 dots a millimetre.
constexpr double kDotsPerMm = 8;

QSlider* slider(QWidget* parent, const char* name, const QString& accessible, int lowest, int highest,
                const QRect& geometry) {
    auto* s = new QSlider(Qt::Horizontal, parent);
    s->setObjectName(QString::fromLatin1(name));
    s->setAccessibleName(accessible);
    s->setRange(lowest, highest);
    s->setSingleStep(1);
    s->setPageStep(10);
    s->setFocusPolicy(Qt::StrongFocus);
    s->setGeometry(geometry);
    return s;
}

QLabel* label(QWidget* parent, const char* name, const QRect& geometry, QWidget* buddy) {
    auto* l = new QLabel(parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setGeometry(geometry);
    l->setBuddy(buddy);
    return l;
}
}  // namespace

frmPhoto::frmPhoto(Env& env, const WorkingPicture& picture, Workflow& main, QWidget* parent)
    : QDialog(parent), env_(env), picture_(picture), main_(main), Timer1(env.clock.createTimer()) {
    setUpDialog(*this, "frmPhoto", QStringLiteral("Photo"), kHelpTopic, {600, 440});

    picPreview = new QScrollArea(this);
    picPreview->setObjectName(QStringLiteral("picPreview"));
    picPreview->setGeometry(8, 8, 340, 424);
    picPreview->setAlignment(Qt::AlignCenter);
    picPreview->setFocusPolicy(Qt::StrongFocus);  // the arrow keys scroll a preview larger than the box
    imPreview = new QLabel(picPreview);
    imPreview->setObjectName(QStringLiteral("imPreview"));
    imPreview->setAccessibleName(QStringLiteral("Preview of the printed dots"));
    picPreview->setWidget(imPreview);
    picPreview->setAccessibleName(imPreview->accessibleName());

    const int x = 356, w = 236;
    cboMethod = new QComboBox(this);
    cboMethod->setObjectName(QStringLiteral("cboMethod"));
    cboMethod->setAccessibleName(QStringLiteral("Method"));
    for (const SeparationMethodName& m : kSeparationMethods) cboMethod->addItem(QString::fromLatin1(m.caption));
    cboMethod->setGeometry(x, 26, w, 23);
    lbMethod = label(this, "lbMethod", {x, 8, w, 17}, cboMethod);
    lbMethod->setText(QStringLiteral("&Method"));

    sldBrightness = slider(this, "sldBrightness", QStringLiteral("Brightness"), -100, 100, {x, 78, w, 22});
    lbBrightness = label(this, "lbBrightness", {x, 60, w, 17}, sldBrightness);
    sldContrast = slider(this, "sldContrast", QStringLiteral("Contrast"), -100, 100, {x, 126, w, 22});
    lbContrast = label(this, "lbContrast", {x, 108, w, 17}, sldContrast);

    spnGamma = new QDoubleSpinBox(this);
    spnGamma->setObjectName(QStringLiteral("spnGamma"));
    spnGamma->setAccessibleName(QStringLiteral("Gamma"));
    spnGamma->setRange(0.1, 10);
    spnGamma->setDecimals(2);
    spnGamma->setSingleStep(0.05);
    spnGamma->setValue(1);
    spnGamma->setGeometry(x, 174, 80, 23);
    lbGamma = label(this, "lbGamma", {x, 156, w, 17}, spnGamma);
    lbGamma->setText(QStringLiteral("&Gamma (above 1 lightens)"));
    spnGamma->setToolTip(QStringLiteral("Above 1 lightens the middle tones, below 1 darkens them"));

    sldSharpen = slider(this, "sldSharpen", QStringLiteral("Sharpen"), 0, 100, {x, 224, w, 22});
    lbSharpen = label(this, "lbSharpen", {x, 206, w, 17}, sldSharpen);

    chkBlackOnly = new QCheckBox(QStringLiteral("Blac&k only, no highlight"), this);
    chkBlackOnly->setObjectName(QStringLiteral("chkBlackOnly"));
    chkBlackOnly->setGeometry(x, 256, w, 21);
    chkEveryDot = new QCheckBox(QStringLiteral("Show every &dot"), this);
    chkEveryDot->setObjectName(QStringLiteral("chkEveryDot"));
    chkEveryDot->setToolTip(QStringLiteral("Off: the preview is as large as the receipt will be"));
    chkEveryDot->setGeometry(x, 280, w, 21);

    lbFit = new QLabel(this);
    lbFit->setObjectName(QStringLiteral("lbFit"));
    lbFit->setWordWrap(true);
    lbFit->setGeometry(x, 352, w, 48);
    lbFit->hide();

    cmdReset = makeButton(this, "cmdReset", QStringLiteral("R&eset"), {x, 320, 100, 25});
    cmdApply = makeButton(this, "cmdApply", QStringLiteral("&Apply"), {x, 407, 100, 25});
    cmdApply->setDefault(true);
    cmdCancel = makeButton(this, "cmdCancel", QStringLiteral("&Cancel"), {x + w - 100, 407, 100, 25});

    const QList<QWidget*> order{cboMethod, sldBrightness, sldContrast, spnGamma, sldSharpen, chkBlackOnly,
                                chkEveryDot, cmdReset, cmdApply, cmdCancel, picPreview};
    for (qsizetype i = 0; i + 1 < order.size(); ++i) QWidget::setTabOrder(order[i], order[i + 1]);

    const auto changed = [this] { settingChanged(); };
    connect(cboMethod, &QComboBox::currentIndexChanged, this, changed);
    for (QSlider* s : {sldBrightness, sldContrast, sldSharpen}) connect(s, &QSlider::valueChanged, this, changed);
    connect(spnGamma, &QDoubleSpinBox::valueChanged, this, changed);
    connect(chkBlackOnly, &QCheckBox::toggled, this, changed);
    connect(chkEveryDot, &QCheckBox::toggled, this, [this] { showPreview(); });
    connect(cmdReset, &QPushButton::clicked, this, &frmPhoto::cmdReset_Click);
    connect(cmdApply, &QPushButton::clicked, this, &frmPhoto::cmdApply_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmPhoto::cmdCancel_Click);

    Timer1->setInterval(kPreviewPauseMs);
    Timer1->setEnabled(false);
    Timer1->onTimer = [this] { Timer1_Timer(); };

    centreOnScreen(*this);
    fitToPaper();
    settingChanged();
    // The first preview at once: the operator opened the dialog to see it.
    Timer1_Timer();
    cboMethod->setFocus();
}

frmPhoto::~frmPhoto() = default;

PhotoSettings frmPhoto::settings() const {
    PhotoSettings s;
    s.method = kSeparationMethods[size_t(std::max(0, cboMethod->currentIndex()))].method;
    s.brightness = sldBrightness->value();
    s.contrast = sldContrast->value();
    s.gamma = int32_t(std::lround(spnGamma->value() * 100));
    s.sharpen = sldSharpen->value();
    s.blackOnly = chkBlackOnly->isChecked();
    return s;
}

void frmPhoto::settingChanged() {
    const PhotoSettings s = settings();
    lbBrightness->setText(QStringLiteral("&Brightness: %1").arg(s.brightness));
    lbContrast->setText(QStringLiteral("C&ontrast: %1").arg(s.contrast));
    lbSharpen->setText(QStringLiteral("S&harpen: %1").arg(s.sharpen));
    // Restarted at every change: the preview waits for the operator to pause.
    Timer1->setEnabled(false);
    Timer1->setEnabled(true);
}

void frmPhoto::fitToPaper() {
    source_ = picture_.current;
    const uint32_t width = picture_.widthOrZero();
    if (width <= kMaxPrintWidth) return;
    const QString fitted = env_.workPath("tmpphotofit.bmp");
    // Unreadable, it goes to the library as it is, which says what is wrong.
    if (!fitToWidth(picture_.current, int(kMaxPrintWidth), fitted)) return;
    source_ = fitted;
    fittedFrom_ = width;
    lbFit->setText(QStringLiteral("The picture is %1 dots wide: Apply fits it to the paper's %2.")
                       .arg(width)
                       .arg(kMaxPrintWidth));
    lbFit->show();
}

int32_t frmPhoto::separate(const PhotoSettings& s, const QString& path) {
    const int32_t paper = s.blackOnly ? PIXMILL_PAPER_BLACK_ONLY : env_.g.paperKind();
    return env_.pixmill.SeparateBitmap(source_, path, paper, int32_t(s.method), s.brightness, s.contrast, s.gamma,
                                       s.sharpen);
}

void frmPhoto::Timer1_Timer() {
    Timer1->setEnabled(false);
    const PhotoSettings s = settings();
    havePreview_ = false;
    const int32_t r = separate(s, env_.workPath("tmpphoto.bmp"));
    if (r == 0) {
        previewed_ = s;
        havePreview_ = true;
    } else {
        imPreview->setText(errorNumber(r) + QStringLiteral(" separating the photograph."));
        imPreview->adjustSize();
        return;
    }
    showPreview();
}

void frmPhoto::showPreview() {
    if (!havePreview_) return;
    QImageReader reader(env_.workPath("tmpphoto.bmp"));
    QImage dots = reader.read();
    if (dots.isNull()) return;
    if (!chkEveryDot->isChecked()) {
        // As large as the receipt: the dots averaged, as the eye averages them.
        const double mm = dots.width() / kDotsPerMm;
        const int width = std::max(1, int(std::lround(mm / 25.4 * logicalDpiX())));
        dots = dots.scaledToWidth(width, Qt::SmoothTransformation);
    }
    imPreview->setPixmap(QPixmap::fromImage(dots));
    imPreview->adjustSize();
}

void frmPhoto::cmdReset_Click() {
    cboMethod->setCurrentIndex(0);
    sldBrightness->setValue(0);
    sldContrast->setValue(0);
    spnGamma->setValue(1);
    sldSharpen->setValue(0);
    chkBlackOnly->setChecked(false);
}

void frmPhoto::cmdApply_Click() {
    const PhotoSettings s = settings();
    const QString preview = env_.workPath("tmpphoto.bmp");
    setEnabled(false);
    WaitCursor hourglass;
    int32_t r = havePreview_ && previewed_ == s ? 0 : separate(s, preview);
    // The working bitmap is replaced whole, never half written.
    if (r == 0) r = env_.pixmill.SaveBMP(preview, picture_.current);
    if (r != 0) {
        hourglass.restore();
        setEnabled(true);
        tell(env_, errorNumber(r) + QStringLiteral(" separating the photograph."), QStringLiteral("PIXMILL DLL Error"),
             MsgIcon::Exclamation, kHelpTopic);
        return;
    }
    // As after Re-Map!: the colours are printer colours, the flags cleared,
    // and Save Options is next.
    env_.pixmill.CleanBMP(picture_.current);
    main_.ShowBitmap(picture_.current);
    main_.MoveStepMarker(4);
    hourglass.restore();
    setEnabled(true);
    accept();
}

void frmPhoto::cmdCancel_Click() { reject(); }

void frmPhoto::done(int result) {
    Form_Unload();
    QDialog::done(result);
}

void frmPhoto::Form_Unload() {
    // Every way out (Apply, Cancel, Esc, the close box) gives the buttons back.
    if (unloaded_) return;
    unloaded_ = true;
    Timer1->setEnabled(false);
    main_.EnableButtons();
}

}  // namespace rastiv

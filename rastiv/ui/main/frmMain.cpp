#include "ui/main/frmMain.hpp"

#include "ui/common/artwork.hpp"
#include "link/clock.hpp"
#include "core/desktop.hpp"
#include "ui/common/dialogform.hpp"
#include "ui/common/f1help.hpp"
#include "core/filedialogs.hpp"
#include "ui/common/frmSplash.hpp"
#include "core/loadproblem.hpp"
#include "core/modGlobal.hpp"
#include "core/numtext.hpp"
#include "core/pixmill.hpp"
#include "core/settings.hpp"
#include "ui/common/waitcursor.hpp"
#include "core/batchmode.hpp"
#include "ui/batch/frmBatch.hpp"
#include "ui/printer/frmLegacy.hpp"
#include "ui/printer/frmLogo2.hpp"
#include "ui/printer/frmPrint.hpp"
#include "ui/printer/logocommon.hpp"
#include "link/regularfile.hpp"
#include "link/commlink.hpp"
#include "ui/printer/frmComm.hpp"
#include "ui/picture/frmAdvanced.hpp"
#include "ui/picture/frmColors.hpp"
#include "ui/picture/frmPhoto.hpp"
#include "ui/picture/frmResize.hpp"
#include "ui/picture/frmSaveOpts.hpp"
#include "core/pictureimport.hpp"
#include "core/printable.hpp"
#include "core/modUserGfx.hpp"

#include <QAction>
#include <QActionGroup>
#include <QClipboard>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QWheelEvent>
#include <cmath>

namespace rastiv {

namespace {
const QColor kScreenRed(255, 0, 0);
const QColor kScreenBlue(0, 0, 255);
constexpr int kMarkerOffset = 5;  // the marker's left edge sits this far left of its step label

QString notLoadedText() { return QStringLiteral("You have not loaded a BMP file into this utility yet."); }

// The smallest client area: the size the step buttons and the tools were laid out for.
constexpr int kClientWidth = 583, kClientHeight = 455;
// The picture area's corner, and the left edge of the column that follows the right edge.
constexpr int kPictureLeft = 8, kPictureTop = 64, kRightColumn = 452;
// Each Zoom In, Zoom Out or wheel notch.
constexpr double kZoomStep = 1.25;
// The printer prints 8 dots per millimetre.
constexpr double kDotsPerMm = 8;

// Short enough that the status bar shows all of it at the window's smallest size.
QString nextStepText(int step) {
    switch (step) {
        case 1: return QStringLiteral("Next: Step 1, Load Bitmap");
        case 2: return QStringLiteral("Next: Step 2, Re-size");
        case 3: return QStringLiteral("Next: Step 3, Modify Colors");
        case 4: return QStringLiteral("Next: Step 4, Save Options");
        default: return QStringLiteral("Next: the Tools, or Exit");
    }
}

QString tooWideText() {
    return QStringLiteral("The bitmap is too wide.  Make sure to Re-size it before modifying the colors or saving it "
                          "as a graphic or logo.");
}

// A menu item's caption as a sentence reads it: "Type 5 (Mitsubishi PB770 Blue/Black)".
QString plainCaption(const QAction* a) { return QString(a->text()).remove(u'&').trimmed(); }

bool isBatchFile(const QString& path) { return path.endsWith(QStringLiteral(".cpb"), Qt::CaseInsensitive); }

// The first local file among dropped or copied addresses.
QString firstLocalFile(const QMimeData* data) {
    if (!data) return {};
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) return url.toLocalFile();
    return {};
}
}  // namespace

void PictureLabel::setPicture(const QImage& picture) {
    picture_ = picture;
    update();
}

void PictureLabel::paintEvent(QPaintEvent*) {
    if (picture_.isNull()) return;
    QPainter p(this);
    // Enlarged pictures keep hard dot edges; reduced ones are averaged so that
    // a dither reads as the shade it makes on paper.
    p.setRenderHint(QPainter::SmoothPixmapTransform, width() < picture_.width());
    p.drawImage(rect(), picture_);
}

StepMarker::StepMarker(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
}

void StepMarker::setBorderColor(const QColor& c) {
    colour_ = c;
    update();
}

void StepMarker::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setPen(Qt::NoPen);
    p.setBrush(colour_);
    const int b = 4, w = width(), h = height();
    p.drawRect(0, 0, w, b);
    p.drawRect(0, h - b, w, b);
    p.drawRect(0, 0, b, h);
    p.drawRect(w - b, 0, b, h);
}

frmMain::frmMain(Env& env, QWidget* parent) : QMainWindow(parent), env_(env), history_(env.workDir) {
    endProgram = [] { QCoreApplication::exit(0); };
    createControls();
    createMenus();
    setTabOrder();
    connectSignals();
    Form_Load();
}

frmMain::~frmMain() {
    if (about_) delete about_.data();
}

void frmMain::createControls() {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Rastiv"));
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setMinimumSize(kClientWidth, kClientHeight);
    // The layout's 81-pixel buttons were drawn for an 8-point dialog font.
    QFont small = client->font();
    small.setPointSizeF(8);
    client->setFont(small);
    setCentralWidget(client);
    setAcceptDrops(true);

    // The picture scrolls in the space the steps and the tools leave free.
    picArea = new QScrollArea(client);
    picArea->setObjectName(QStringLiteral("picArea"));
    picArea->setAccessibleName(QStringLiteral("Picture"));
    picArea->setFrameShape(QFrame::NoFrame);
    picArea->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    picArea->setWidgetResizable(false);
    // Reached by Tab after the tools, so that the arrow and page keys
    // scroll a picture larger than the window.
    picArea->setFocusPolicy(Qt::StrongFocus);
    picArea->viewport()->installEventFilter(this);
    image1 = new PictureLabel(picArea);
    image1->setObjectName(QStringLiteral("image1"));
    image1->resize(1, 1);
    picArea->setWidget(image1);
    image1->hide();

    auto button = [&](QPushButton*& b, const char* name, const char* caption, int x, int y, int w, int h, int topic) {
        b = new QPushButton(QString::fromUtf8(caption), client);
        b->setObjectName(QString::fromLatin1(name));
        b->setGeometry(x, y, w, h);
        // Enter presses the focused button, as on every button of the program.
        b->setAutoDefault(true);
        if (topic >= 0) setHelpTopic(b, topic);
    };
    auto stepFont = [] {
        QFont f(QStringLiteral("Sans Serif"));
        f.setPointSizeF(13.5);
        f.setBold(true);
        return f;
    };
    QLabel** steps[] = {&lbStep1, &lbStep2, &lbStep3, &lbStep4, &lbStep5};
    for (int i = 0; i < 5; ++i) {
        QLabel* l = new QLabel(QStringLiteral("Step %1").arg(i + 1), client);
        l->setObjectName(QStringLiteral("lbStep%1").arg(i + 1));
        l->setGeometry(8 + 88 * i, 0, 81, 25);
        l->setAlignment(Qt::AlignCenter);
        l->setFont(stepFont());
        *steps[i] = l;
    }
    button(cmdLoad, "cmdLoad", "&Load Bitmap", 8, 32, 81, 25, 1);
    button(cmdResize, "cmdResize", "&Re-size", 96, 32, 81, 25, 2);
    // D, not C: Alt+C opens the Color menu.
    button(cmdColor, "cmdColor", "Mo&dify Colors", 184, 32, 81, 25, 3);
    button(cmdSaveOpts, "cmdSaveOpts", "&Save Options...", 272, 32, 81, 25, 4);
    button(cmdExit, "cmdExit", "E&xit", 360, 32, 81, 25, -1);
    cmdLoad->setDefault(true);

    shBox = new StepMarker(client);
    shBox->setObjectName(QStringLiteral("shBox"));
    shBox->setGeometry(4, 0, 89, 65);

    Image2 = new QLabel(client);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setPixmap(productArtwork(128, 52));
    Image2->setScaledContents(true);
    Image2->setGeometry(452, 4, 122, 55);

    Shape2 = new QFrame(client);
    Shape2->setObjectName(QStringLiteral("Shape2"));
    Shape2->setFrameShape(QFrame::Box);
    Shape2->setGeometry(480, 64, 97, 273);

    Label3 = new QLabel(QStringLiteral("Tools"), client);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setFont(stepFont());
    Label3->setGeometry(488, 72, 81, 25);

    button(cmdPrint, "cmdPrint", "&Print...", 488, 104, 81, 25, 6);
    button(cmdLogo, "cmdLogo", "Lo&go Management", 488, 136, 81, 33, 5);
    button(cmdLegacy, "cmdLegacy", "Legacy Colori&zation", 488, 176, 81, 33, 12);
    button(cmdRotLeft, "cmdRotLeft", "R&otate +90", 488, 216, 81, 25, 10);
    button(cmdRotRight, "cmdRotRight", "Ro&tate -90", 488, 248, 81, 25, 10);
    button(cmdCrop, "cmdCrop", "Crop", 488, 280, 81, 25, -1);
    cmdCrop->hide();
    // In the tools' last free place (the hidden Crop's): the step buttons
    // keep their places.  No letter is free for a mnemonic; Tab reaches it.
    button(cmdPhoto, "cmdPhoto", "Photo...", 488, 280, 81, 25, 3);
    cmdPhoto->setAccessibleName(QStringLiteral("Photo"));
    cmdPhoto->setToolTip(QStringLiteral("Print a photograph's tones in dots instead of a few flat colors"));
    button(cmdMSPaint, "cmdMSPaint", "&MS Paint", 488, 312, 81, 17, -1);
    cmdMSPaint->hide();
    cmdMSPaint->setEnabled(false);
    // Two-line captions in 81-pixel buttons, as the layout asks.
    // Their names on the accessibility bus stay the one-line captions.
    for (QPushButton* b : {cmdLogo, cmdLegacy}) {
        b->setAccessibleName(QString(b->text()).remove(u'&'));
        b->setText(b->text().replace(u' ', u'\n'));
    }

    Shape1 = new QFrame(client);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setFrameShape(QFrame::Box);
    Shape1->setGeometry(480, 344, 97, 105);
    Shape1->hide();
    Label1 = new QLabel(QStringLiteral("Show..."), client);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(stepFont());
    Label1->move(488, 352);
    Label1->hide();
    button(cmdShowOriginalBMP, "cmdShowOriginalBMP", "&Original BMP", 488, 384, 81, 25, -1);
    cmdShowOriginalBMP->hide();
    button(cmdShowCurrentBMP, "cmdShowCurrentBMP", "&Modified BMP", 488, 416, 81, 25, -1);
    cmdShowCurrentBMP->hide();

    for (QWidget* w : client->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (w->x() >= kRightColumn) rightColumn_.append({w, w->geometry()});
    placeRightColumn();

    // The status bar in the layout's 8-point font, so that it fits the
    // smallest window.  The message takes the room the others leave; a long
    // one is cut on the screen, never on the accessibility bus.
    statusBar()->setFont(small);
    lbStatus = new QLabel(this);
    lbStatus->setObjectName(QStringLiteral("lbStatus"));
    lbStatus->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    lbPictureSize = new QLabel(this);
    lbPictureSize->setObjectName(QStringLiteral("lbPictureSize"));
    lbZoom = new QLabel(this);
    lbZoom->setObjectName(QStringLiteral("lbZoom"));
    lbNextStep = new QLabel(nextStepText(1), this);
    lbNextStep->setObjectName(QStringLiteral("lbNextStep"));
    statusBar()->addWidget(lbStatus, 1);
    statusBar()->addPermanentWidget(lbPictureSize);
    statusBar()->addPermanentWidget(lbZoom);
    statusBar()->addPermanentWidget(lbNextStep);
    client->installEventFilter(this);
}

// The tools and the product picture stay at the right edge as the window
// grows; the picture area takes the rest.
void frmMain::placeRightColumn() {
    QWidget* client = centralWidget();
    const int dx = qMax(0, client->width() - kClientWidth);
    for (const auto& [w, r] : rightColumn_) w->setGeometry(r.translated(dx, 0));
    picArea->setGeometry(kPictureLeft, kPictureTop, Shape2->x() - 2 * kPictureLeft,
                         qMax(1, client->height() - kPictureTop - kPictureLeft));
    if (fit_) applyZoom();
}

void frmMain::createMenus() {
    auto item = [](QMenu* menu, QAction*& a, const char* name, const char* caption, int topic) {
        a = menu->addAction(QString::fromUtf8(caption));
        a->setObjectName(QString::fromLatin1(name));
        if (topic >= 0) setHelpTopic(a, topic);
    };
    auto menu = [](QWidget* parentMenu, const char* name, const char* caption, int topic) {
        QMenu* m = nullptr;
        if (auto* bar = qobject_cast<QMenuBar*>(parentMenu)) m = bar->addMenu(QString::fromUtf8(caption));
        else m = static_cast<QMenu*>(parentMenu)->addMenu(QString::fromUtf8(caption));
        m->setObjectName(QString::fromLatin1(name));
        if (topic >= 0) {
            setHelpTopic(m, topic);
            setHelpTopic(m->menuAction(), topic);
        }
        return m;
    };
    QMenuBar* bar = menuBar();
    mnuFile = menu(bar, "mnuFile", "&File", -1);
    item(mnuFile, mnuFileExit, "mnuFileExit", "&Exit", -1);

    mnuEdit = menu(bar, "mnuEdit", "&Edit", -1);
    item(mnuEdit, mnuEditUndo, "mnuEditUndo", "&Undo", -1);
    mnuEditUndo->setShortcut(QKeySequence::Undo);
    item(mnuEdit, mnuEditRedo, "mnuEditRedo", "&Redo", -1);
    // Ctrl+Shift+Z everywhere; Ctrl+Y as well, where desktops expect it.
    mnuEditRedo->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    mnuEdit->addSeparator();
    item(mnuEdit, mnuEditPaste, "mnuEditPaste", "&Paste Picture", -1);
    mnuEditPaste->setShortcut(QKeySequence::Paste);

    mnuView = menu(bar, "mnuView", "&View", -1);
    item(mnuView, mnuViewFit, "mnuViewFit", "&Fit", -1);
    mnuViewFit->setShortcut(Qt::CTRL | Qt::Key_0);
    mnuViewFit->setCheckable(true);
    item(mnuView, mnuViewActual, "mnuViewActual", "&100%", -1);
    mnuViewActual->setShortcut(Qt::CTRL | Qt::Key_1);
    item(mnuView, mnuViewZoomIn, "mnuViewZoomIn", "Zoom &In", -1);
    mnuViewZoomIn->setShortcuts({QKeySequence::ZoomIn, QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    item(mnuView, mnuViewZoomOut, "mnuViewZoomOut", "Zoom &Out", -1);
    mnuViewZoomOut->setShortcut(QKeySequence::ZoomOut);
    updateEditActions();

    mnuBatchMode = menu(bar, "mnuBatchMode", "&Batch Mode", 15);
    item(mnuBatchMode, mnuBatchModeEnable, "mnuBatchModeEnable", "&Record Batch File", 15);
    mnuBatchModeEnable->setCheckable(true);
    // Hidden and disabled for good: kept out of the menu, where a screen
    // reader would still list it.
    mnuBatchModeOmit = new QAction(QStringLiteral("&Omit print sample data"), this);
    mnuBatchModeOmit->setObjectName(QStringLiteral("mnuBatchModeOmit"));
    setHelpTopic(mnuBatchModeOmit, 15);
    mnuBatchModeOmit->setCheckable(true);
    mnuBatchModeOmit->setChecked(true);
    mnuBatchModeOmit->setVisible(false);
    mnuBatchModeOmit->setEnabled(false);
    item(mnuBatchMode, mnuBatchModePlay, "mnuBatchModePlay", "&Play Batch File", 15);

    mnuColor = menu(bar, "mnuColor", "&Color", 8);
    mnuColorScreen = menu(mnuColor, "mnuColorScreen", "&Screen", 8);
    item(mnuColorScreen, mnuColorScreenRed, "mnuColorScreenRed", "&Red", 8);
    item(mnuColorScreen, mnuColorScreenBlue, "mnuColorScreenBlue", "&Blue", 8);
    mnuColorMedia = menu(mnuColor, "mnuColorMedia", "&Media", 8);
    item(mnuColorMedia, mnuColorMediaType0, "mnuColorMediaType0", "Type &0 (Monochrome)", 8);
    item(mnuColorMedia, mnuColorMediaType1, "mnuColorMediaType1", "Type &1 (Kanzaki P-310RB Red/Black)", 8);
    item(mnuColorMedia, mnuColorMediaType4, "mnuColorMediaType4", "Type &4 (Kanzaki P-320RB Blue/Black) ", -1);
    item(mnuColorMedia, mnuColorMediaType5[0], "mnuColorMediaType5_0", "Type &5 (Kanzaki P-320RB Red/Black) ", 8);
    item(mnuColorMedia, mnuColorMediaType5[1], "mnuColorMediaType5_1", "Type 5 (Kanzaki P-320GB Green/Black)", -1);
    item(mnuColorMedia, mnuColorMediaType5[2], "mnuColorMediaType5_2", "Type 5 (Mitsubishi PB770 Blue/Black)", 8);

    // The current choices carry a mark.  The paper type is marked once the
    // printer has been told it in this run: the printer is never asked.
    screenChoice = new QActionGroup(this);
    for (QAction* a : {mnuColorScreenRed, mnuColorScreenBlue}) {
        a->setCheckable(true);
        screenChoice->addAction(a);
    }
    mediaChoice = new QActionGroup(this);
    mediaChoice->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    const char* type5 = "Paper type 5, for this paper.  The three Type 5 papers differ only in name: each sends the "
                        "same setting.";
    const struct {
        QAction* item;
        const char* tip;
    } media[] = {
        {mnuColorMediaType0, "Black only: paper type 0."},
        {mnuColorMediaType1, "Red and black paper: paper type 1."},
        {mnuColorMediaType4, "Blue and black paper: paper type 4."},
        {mnuColorMediaType5[0], type5},
        {mnuColorMediaType5[1], type5},
        {mnuColorMediaType5[2], type5},
    };
    for (const auto& m : media) {
        m.item->setCheckable(true);
        m.item->setToolTip(QString::fromLatin1(m.tip));
        m.item->setStatusTip(QString::fromLatin1(m.tip));
        mediaChoice->addAction(m.item);
    }
    mnuColorMedia->setToolTipsVisible(true);

    mnuAdvanced = menu(bar, "mnuAdvanced", "&Advanced", -1);
    item(mnuAdvanced, mnuAdvancedTopLogoSpacing, "mnuAdvancedTopLogoSpacing", "&Top Logo Spacing...", -1);

    mnuHelp = menu(bar, "mnuHelp", "&Help", -1);
    item(mnuHelp, mnuHelpContents, "mnuHelpContents", "&Help Contents", -1);
    item(mnuHelp, mnuAbout, "mnuAbout", "&About...", -1);
}

void frmMain::setTabOrder() {
    const QList<QWidget*> order{cmdMSPaint, cmdLoad, cmdResize, cmdColor, cmdSaveOpts, cmdExit,
                                cmdPrint, cmdLogo, cmdLegacy, cmdRotLeft, cmdRotRight, cmdPhoto,
                                cmdShowOriginalBMP, cmdShowCurrentBMP, cmdCrop, picArea};
    for (qsizetype i = 0; i + 1 < order.size(); ++i) QWidget::setTabOrder(order[i], order[i + 1]);
}

void frmMain::connectSignals() {
    // The Edit menu names what Undo and Redo would do before it opens.
    connect(mnuEdit, &QMenu::aboutToShow, this, &frmMain::updateEditActions);
    connect(cmdLoad, &QPushButton::clicked, this, &frmMain::cmdLoad_Click);
    connect(cmdResize, &QPushButton::clicked, this, &frmMain::cmdResize_Click);
    connect(cmdColor, &QPushButton::clicked, this, &frmMain::cmdColor_Click);
    connect(cmdSaveOpts, &QPushButton::clicked, this, &frmMain::cmdSaveOpts_Click);
    connect(cmdExit, &QPushButton::clicked, this, &frmMain::cmdExit_Click);
    connect(cmdPrint, &QPushButton::clicked, this, &frmMain::cmdPrint_Click);
    connect(cmdLogo, &QPushButton::clicked, this, &frmMain::cmdLogo_Click);
    connect(cmdLegacy, &QPushButton::clicked, this, &frmMain::cmdLegacy_Click);
    connect(cmdRotLeft, &QPushButton::clicked, this, &frmMain::cmdRotLeft_Click);
    connect(cmdRotRight, &QPushButton::clicked, this, &frmMain::cmdRotRight_Click);
    connect(cmdCrop, &QPushButton::clicked, this, &frmMain::cmdCrop_Click);
    connect(cmdPhoto, &QPushButton::clicked, this, &frmMain::cmdPhoto_Click);
    connect(cmdMSPaint, &QPushButton::clicked, this, &frmMain::cmdMSPaint_Click);
    connect(cmdShowOriginalBMP, &QPushButton::clicked, this, &frmMain::cmdShowOriginalBMP_Click);
    connect(cmdShowCurrentBMP, &QPushButton::clicked, this, &frmMain::cmdShowCurrentBMP_Click);

    connect(mnuFileExit, &QAction::triggered, this, &frmMain::mnuFileExit_Click);
    connect(mnuEditUndo, &QAction::triggered, this, &frmMain::mnuEditUndo_Click);
    connect(mnuEditRedo, &QAction::triggered, this, &frmMain::mnuEditRedo_Click);
    connect(mnuEditPaste, &QAction::triggered, this, &frmMain::mnuEditPaste_Click);
    connect(mnuViewFit, &QAction::triggered, this, &frmMain::mnuViewFit_Click);
    connect(mnuViewActual, &QAction::triggered, this, &frmMain::mnuViewActual_Click);
    connect(mnuViewZoomIn, &QAction::triggered, this, [this] { zoomBy(kZoomStep); });
    connect(mnuViewZoomOut, &QAction::triggered, this, [this] { zoomBy(1 / kZoomStep); });
    connect(mnuColorScreenRed, &QAction::triggered, this, &frmMain::mnuColorScreenRed_Click);
    connect(mnuColorScreenBlue, &QAction::triggered, this, &frmMain::mnuColorScreenBlue_Click);
    connect(mnuHelpContents, &QAction::triggered, this, &frmMain::mnuHelpContents_Click);
    connect(mnuAbout, &QAction::triggered, this, &frmMain::mnuAbout_Click);

    connect(mnuBatchModeEnable, &QAction::triggered, this, &frmMain::mnuBatchModeEnable_Click);
    connect(mnuBatchModeOmit, &QAction::triggered, this, &frmMain::mnuBatchModeOmit_Click);
    connect(mnuBatchModePlay, &QAction::triggered, this, &frmMain::mnuBatchModePlay_Click);
    connect(mnuColorMediaType0, &QAction::triggered, this, &frmMain::mnuColorMediaType0_Click);
    connect(mnuColorMediaType1, &QAction::triggered, this, &frmMain::mnuColorMediaType1_Click);
    connect(mnuColorMediaType4, &QAction::triggered, this, &frmMain::mnuColorMediaType4_Click);
    for (int i = 0; i < 3; ++i)
        connect(mnuColorMediaType5[i], &QAction::triggered, this, [this, i] { mnuColorMediaType5_Click(i); });
    connect(mnuAdvancedTopLogoSpacing, &QAction::triggered, this, &frmMain::mnuAdvancedTopLogoSpacing_Click);
}

void frmMain::Form_Load() {
    // The final size first: Qt forgets that a window's position includes its
    // frame when the window is sized after being moved, and a window manager
    // then puts the client area at the corner and the title bar off screen.
    adjustSize();
    move(0, 0);

    // A spacing outside 1..255, missing or unreadable, goes back to the default.
    const double stored = roundHalfEven(leadingNumber(env_.settings.read(Key::TopLogoSpacing, QStringLiteral("-1"))));
    if (stored < 1 || stored > 255) {
        env_.g.gTopLogoSpacing = 128;
        env_.settings.write(Key::TopLogoSpacing, QStringLiteral("128"));
    } else {
        env_.g.gTopLogoSpacing = int16_t(stored);
    }

    env_.g.gHelpFile = env_.helpFile;
    env_.g.gNumColors = 0;
    env_.g.gMarkColor1 = 0x0000FF00;
    env_.g.gMarkColor2 = int32_t(0xFF000000u);

    if (env_.settings.read(Key::ScreenColor) == QLatin1String("None")) SetScreenRed();
    if (env_.settings.read(Key::ScreenColor) == QLatin1String("Blue")) SetScreenBlue();
    else SetScreenRed();

    env_.g.gCommEstablished = false;
    env_.g.gPortState = 0;
    env_.g.gCommForPrint = env_.g.gCommForLogo = env_.g.gCommForLegacy = env_.g.gCommForBatch = false;
    env_.g.gBatchModeEnabled = false;
    env_.g.gOmitPrintSampleData = true;
    env_.g.gSendingPrintSample = false;
}

void frmMain::closeEvent(QCloseEvent* event) {
    // A sequence to the printer ends through its own steps, never halfway.
    if (env_.link.transferring() || (!unloaded_ && !mayReplacePicture(QStringLiteral("quitting")))) {
        event->ignore();
        return;
    }
    Form_Unload();
    event->accept();
}

bool frmMain::hasUnsavedChanges() {
    if (env_.g.gCurrentBmp.isEmpty()) return false;
    recordChange();
    return history_.unsaved();
}

// Asks before work that no file holds is thrown away ("Save the changes to
// the picture before quitting?"); true to go on.  Save opens Save Options,
// and goes on only once something has been saved there.
bool frmMain::mayReplacePicture(const QString& doing) {
    if (!hasUnsavedChanges()) return true;
    Message m;
    m.text = QStringLiteral("Save the changes to the picture before %1?").arg(doing);
    m.informative = QStringLiteral("Changes you do not save are lost.  The file you loaded stays as it was.");
    m.title = QStringLiteral("Rastiv");
    m.icon = MsgIcon::Exclamation;
    m.buttons = MsgButtons::SaveDiscardCancel;
    switch (env_.messages.show(m)) {
        case MsgResult::Discard: return true;
        case MsgResult::Save:
            cmdSaveOpts_Click();
            return !history_.unsaved();
        default: return false;
    }
}

void frmMain::Form_Unload() {
    if (unloaded_) return;
    unloaded_ = true;
    env_.batch.CloseBatchFile();
    if (about_) about_->close();
    if (endProgram) endProgram();
}

void frmMain::keyPressEvent(QKeyEvent* event) {
    // Enter anywhere but on a button means Load Bitmap, the default button.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && cmdLoad->isEnabled()) {
        cmdLoad->click();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

QLabel* frmMain::stepLabel(int step) const {
    switch (step) {
        case 1: return lbStep1;
        case 2: return lbStep2;
        case 3: return lbStep3;
        case 4: return lbStep4;
        default: return lbStep5;
    }
}

void frmMain::setScreenColour(const QColor& c) {
    for (int i = 1; i <= 5; ++i) {
        QPalette p = stepLabel(i)->palette();
        p.setColor(QPalette::WindowText, c);
        stepLabel(i)->setPalette(p);
    }
    shBox->setBorderColor(c);
}

void frmMain::SetScreenRed() {
    env_.g.gScreenRed = true;
    env_.g.gScreenBlue = false;
    env_.settings.write(Key::ScreenColor, QStringLiteral("Red"));
    setScreenColour(kScreenRed);
    mnuColorScreenRed->setChecked(true);
}

void frmMain::SetScreenBlue() {
    env_.g.gScreenBlue = true;
    env_.g.gScreenRed = false;
    env_.settings.write(Key::ScreenColor, QStringLiteral("Blue"));
    setScreenColour(kScreenBlue);
    mnuColorScreenBlue->setChecked(true);
}

QPushButton* frmMain::stepButton(int step) const {
    switch (step) {
        case 1: return cmdLoad;
        case 2: return cmdResize;
        case 3: return cmdColor;
        case 4: return cmdSaveOpts;
        default: return cmdPrint;  // step 5 is "Exit, or the Tools"
    }
}

// Disabling the focused button moves the focus along to the one button
// left enabled, Exit, where the next Enter would end the program.  The
// rotations keep it, to be pressed again; everything else hands it to the
// step the marker points at.
void frmMain::focusHarmless() {
    QWidget* keep = focusBeforeBusy_;
    if (keep != cmdRotLeft && keep != cmdRotRight) keep = stepButton(step_);
    keep->setFocus();
}

QList<QPushButton*> frmMain::busyButtons() const {
    return {cmdLoad, cmdResize, cmdColor, cmdSaveOpts, cmdPrint, cmdLogo,
            cmdLegacy, cmdRotLeft, cmdRotRight, cmdShowCurrentBMP, cmdShowOriginalBMP, cmdPhoto};
}

void frmMain::DisableButtons() {
    if (!busy_) focusBeforeBusy_ = focusWidget();
    for (QPushButton* b : busyButtons()) b->setEnabled(false);
    busy_ = true;
    updateEditActions();
}

void frmMain::EnableButtons() {
    for (QPushButton* b : busyButtons()) b->setEnabled(true);
    cmdExit->setEnabled(true);
    busy_ = false;
    updateEditActions();
    focusHarmless();
}

void frmMain::MoveStepMarker(int step) {
    step_ = step;
    shBox->move(stepLabel(step)->x() - kMarkerOffset, 0);
    lbNextStep->setText(nextStepText(step));
}

void frmMain::PictureSaved() {
    recordChange();
    history_.markSaved();
}

QString frmMain::statusText() const { return lbStatus->text(); }

// What was done last and how it ended, until the next thing is done.
void frmMain::showStatus(const QString& text) {
    lbStatus->setText(text);
    lbStatus->setToolTip(text);
}

void frmMain::updateTitle() {
    QString title = pictureName_.isEmpty() ? QStringLiteral("Rastiv") : pictureName_ + QStringLiteral(" - Rastiv");
    if (env_.g.gBatchModeEnabled && env_.batch.isOpen())
        title += QStringLiteral(" (recording to %1)").arg(QFileInfo(recordingFile_).fileName());
    setWindowTitle(title);
}

void frmMain::ReadBitmapSize(const QString& path) {
    const HeaderSize s = readHeaderSize(path);
    if (!s.ok) {
        tell(env_, QStringLiteral("%1: %2").arg(s.errorNumber).arg(s.description), QStringLiteral("Rastiv"),
             MsgIcon::Stop);
        return;
    }
    env_.g.gBmpWidth = s.width;
    env_.g.gBmpHeight = s.height;
}

void frmMain::ShowBitmap(const QString& path) {
    ReadBitmapSize(path);
    image1->hide();
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    const QImage picture = reader.read();
    if (picture.isNull()) {
        tell(env_, QStringLiteral("%1: %2").arg(kErrInvalidPicture).arg(QStringLiteral("Invalid picture")),
             QStringLiteral("Rastiv"), MsgIcon::Stop);
        return;
    }
    // At 100% one screen pixel per picture pixel.  The header's size is used
    // as it stands, except where it cannot be a widget's size (a top-down
    // bitmap has a negative height, which reads as a huge unsigned one).
    constexpr uint32_t kWidgetLimit = 32767;
    int w = picture.width(), h = picture.height();
    if (env_.g.gBmpWidth && env_.g.gBmpHeight && *env_.g.gBmpWidth <= kWidgetLimit && *env_.g.gBmpHeight <= kWidgetLimit) {
        w = int(*env_.g.gBmpWidth);
        h = int(*env_.g.gBmpHeight);
    }
    pictureSize_ = QSize(w, h);
    image1->setPicture(picture);
    applyZoom();
    image1->show();
    showPictureFacts();
}

void frmMain::applyZoom() {
    if (pictureSize_.isEmpty()) return;
    if (fit_) {
        // Fit shows the whole picture, never larger than it is.
        const QSize room = picArea->maximumViewportSize();
        const double fit = std::min({1.0, double(room.width()) / pictureSize_.width(),
                                     double(room.height()) / pictureSize_.height()});
        zoom_ = std::clamp(fit, kMinZoom, 1.0);
    }
    // Screen pixels, not the desktop's scaled units, so that 100% is exact on
    // a high-density screen too.
    const double scale = zoom_ / devicePixelRatioF();
    image1->resize(qMax(1, int(std::lround(pictureSize_.width() * scale))),
                   qMax(1, int(std::lround(pictureSize_.height() * scale))));
    lbZoom->setText(QStringLiteral("%1%").arg(std::lround(zoom_ * 100)));
    mnuViewFit->setChecked(fit_);
}

void frmMain::zoomBy(double factor) {
    fit_ = false;
    zoom_ = std::clamp(zoom_ * factor, kMinZoom, kMaxZoom);
    // Whole steps stay whole: 80% and 125% lead back to exactly 100%.
    if (std::abs(zoom_ - 1) < 1e-9) zoom_ = 1;
    applyZoom();
}

void frmMain::mnuViewFit_Click() {
    fit_ = true;
    applyZoom();
}

void frmMain::mnuViewActual_Click() {
    fit_ = false;
    zoom_ = 1;
    applyZoom();
}

void frmMain::showPictureFacts() {
    if (pictureSize_.isEmpty()) {
        lbPictureSize->clear();
        return;
    }
    const int w = pictureSize_.width(), h = pictureSize_.height();
    lbPictureSize->setText(QStringLiteral("%1 × %2 pixels, %3 × %4 mm on paper")
                               .arg(w)
                               .arg(h)
                               .arg(w / kDotsPerMm, 0, 'f', 1)
                               .arg(h / kDotsPerMm, 0, 'f', 1));
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == centralWidget() && event->type() == QEvent::Resize) {
        placeRightColumn();
    } else if (watched == picArea->viewport() && event->type() == QEvent::Wheel) {
        auto* wheel = static_cast<QWheelEvent*>(event);
        if (wheel->modifiers() & Qt::ControlModifier) {
            // A notch is 120; touchpads send smaller steps, which zoom smoothly.
            const int delta = wheel->angleDelta().y();
            if (delta != 0) zoomBy(std::pow(kZoomStep, delta / 120.0));
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

bool frmMain::requireBitmap(const QString& title) {
    if (!env_.g.gCurrentBmp.isEmpty()) return true;
    tell(env_, notLoadedText(), title, MsgIcon::Exclamation, 1);
    return false;
}

// The marker stays where it is until a picture has been loaded: a
// cancelled or failed load leaves the picture that is there, and its step.
void frmMain::cmdLoad_Click() {
    if (!mayReplacePicture(QStringLiteral("loading another picture"))) return;
    DisableButtons();
    MoveStepMarker(step_);  // squarely on its step, where it stays

    FileRequest request;
    request.mode = FileRequest::Mode::Open;
    request.startFolder = env_.settings.read(Key::InitInBmpDir);
    request.title = QStringLiteral("Open a Bitmap File");
    request.defaultExtension = QStringLiteral(".BMP");
    const QString pictures = pictureExtensions().replace(u' ', u';');
    request.filter = QStringLiteral("All pictures (%1)|%1|BMP file (*.bmp)|*.bmp|All Files (*.*)|*.*").arg(pictures);
    const FileChoice choice = env_.files.ask(request);
    if (choice.cancelled()) {
        EnableButtons();
        return;
    }
    load(choice);
}

// A picture named on the command line, as a file manager passes it, or
// dropped on the window, loads as if it had been chosen with Load Bitmap.
void frmMain::loadFile(const QString& path) {
    const QFileInfo info(path);
    // Opening a FIFO would wait for a writer with the window frozen.
    if (const QString why = notRegularFileProblem(path); !why.isEmpty()) {
        tell(env_, why + u'.', QStringLiteral("Rastiv"), MsgIcon::Exclamation, 1);
        return;
    }
    if (isBatchFile(path)) {
        // A recording sends to a printer: that is never started by a double click.
        tell(env_,
             QStringLiteral("%1 is a batch file, not a picture, so nothing was opened.  To send it to a printer, "
                            "choose Play Batch File from the Batch Mode menu.")
                 .arg(info.fileName()),
             QStringLiteral("Rastiv"), MsgIcon::Information, 15);
        return;
    }
    if (!mayReplacePicture(QStringLiteral("loading another picture"))) return;
    DisableButtons();
    load({info.absoluteFilePath(), info.fileName()});
}

// A picture without a file (pasted, or dragged from another program) takes
// the same way from a 24-bit copy in the working folder.
void frmMain::loadImage(const QImage& picture, const QString& name) {
    if (!mayReplacePicture(QStringLiteral("loading another picture"))) return;
    DisableButtons();
    const ImportedPicture in = importImage(picture, importTarget());
    adopt(in);
    if (in.kind != ImportedPicture::Kind::Converted) {
        tell(env_, QStringLiteral("The picture could not be loaded."), QStringLiteral("Rastiv"), MsgIcon::Exclamation,
             1, MsgButtons::Ok, in.problem);
        EnableButtons();
        return;
    }
    loadPrepared(in.path, name, {});
}

// Each picture brought in from another format gets a name of its own, so
// that the copy of the picture before stays intact until this one has
// replaced it.
QString frmMain::importTarget() const { return env_.workPath("picture%1.bmp").arg(importSerial_ + 1); }

void frmMain::adopt(const ImportedPicture& in) {
    if (in.kind != ImportedPicture::Kind::Converted) return;
    QFile::remove(env_.workPath("picture%1.bmp").arg(importSerial_));
    ++importSerial_;
}

void frmMain::load(const FileChoice& choice) {
    env_.settings.write(Key::InitInBmpDir, choice.folder());
    env_.settings.write(Key::InitInDir, choice.folder());
    ImportedPicture in = importPicture(choice.path, importTarget());
    // A bitmap the library does not read may still be a proper picture
    // (RLE8, 32 bits per pixel): the picture readers bring it in instead.
    if (in.kind == ImportedPicture::Kind::Bitmap && leftToPictureReaders(env_.pixmill, choice.path)) {
        const ImportedPicture read = importWithReaders(choice.path, importTarget());
        if (read.kind == ImportedPicture::Kind::Converted) in = read;
    }
    adopt(in);
    loadPrepared(in.path, choice.name, in.problem);
}

void frmMain::loadPrepared(const QString& original, const QString& name, const QString& readerProblem) {
    const QString before = env_.g.gOriginalBmp;
    const bool hadPicture = !env_.g.gCurrentBmp.isEmpty();
    env_.g.gOriginalBmp = original;
    env_.clock.pumpEvents();
    auto refuse = [&](const QString& text) {
        const QString d = loadProblemDetails(env_.pixmill, original);
        tell(env_, text, QStringLiteral("PIXMILL DLL Error"), MsgIcon::Exclamation, 1, MsgButtons::Ok,
             readerProblem.isEmpty() ? d : d + QStringLiteral("\n") + readerProblem,
             loadAdvice(env_.pixmill, original));
        // The library wrote nothing: the picture loaded before is still the working one.
        if (hadPicture) env_.g.gOriginalBmp = before;
        EnableButtons();
    };

    env_.g.gCurrentBmp = env_.workPath("tmpfile.bmp");
    // A wide true-colour picture gets one box that says both things.
    const HeaderSize size = readHeaderSize(original);
    bool toldTooWide = false;
    if (env_.pixmill.Is24BitsPerPixel(original) != 0) {
        toldTooWide = size.ok && size.width > kMaxPrintWidth;
        tell(env_,
             QStringLiteral("This bitmap has 24 bits/pixel.  The utility will convert this to 8 bits/pixel before "
                            "continuing.  This could take a few minutes."),
             QStringLiteral("Bitmap Translation Message"), MsgIcon::Information, -1, MsgButtons::Ok, {},
             toldTooWide ? tooWideText() : QString());
        int32_t r = 0;
        {
            WaitCursor hourglass;
            r = env_.pixmill.Convert24to8Bits(original, env_.g.gCurrentBmp);
        }
        if (r != 0) return refuse(errorNumber(r) + QStringLiteral(" converting the bitmap from 24 to 8 bits/pixel."));
        ShowBitmap(env_.g.gCurrentBmp);
    } else {
        const int32_t r = env_.pixmill.StretchBitmap(0, env_.g.gCurrentBmp, original);
        if (r != 0) return refuse(errorNumber(r) + QStringLiteral(" loading the bitmap."));
        ShowBitmap(original);
    }

    MoveStepMarker(2);
    pictureName_ = name;
    updateTitle();
    history_.start(env_.g.gCurrentBmp, PictureState::of(env_.g, step_));
    showStatus({});
    EnableButtons();
    if (env_.g.bmpWidthOrZero() > kMaxPrintWidth && !toldTooWide)
        tell(env_, tooWideText(), QStringLiteral("Bitmap Size Error"), MsgIcon::Information, 1);
}

void frmMain::rotate(int32_t direction) {
    WaitCursor hourglass;
    const QString pdl = QStringLiteral("PIXMILL DLL Error");
    if (env_.g.gCurrentBmp.isEmpty()) {
        hourglass.restore();
        tell(env_, notLoadedText(), QStringLiteral("Re-size Error"), MsgIcon::Exclamation, 1);
    } else {
        DisableButtons();
        const QString t = env_.workPath("tmprot.bmp");
        int32_t r = env_.pixmill.StretchBitmap(0, t, env_.g.gCurrentBmp);
        if (r != 0) {
            hourglass.restore();
            tell(env_, errorNumber(r) + QStringLiteral(" copying the bitmap prior to rotation."), pdl,
                 MsgIcon::Exclamation, 10, MsgButtons::Ok, {}, fileAdvice(env_.pixmill, r, env_.g.gCurrentBmp));
        } else if ((r = env_.pixmill.RotateBitmap(t, env_.g.gCurrentBmp, direction)) != 0) {
            hourglass.restore();
            tell(env_, errorNumber(r) + QStringLiteral(" rotating the bitmap."), pdl, MsgIcon::Exclamation, 10);
        } else {
            ShowBitmap(env_.g.gCurrentBmp);
        }
    }
    hourglass.restore();
    env_.clock.pumpEvents();
    EnableButtons();
    recordChange(direction == PIXMILL_TURN_CLOCKWISE ? QStringLiteral("Rotate +90") : QStringLiteral("Rotate -90"));
}

// "+90" turns clockwise and "-90" anticlockwise (library directions 2 and 1).
void frmMain::cmdRotLeft_Click() { rotate(PIXMILL_TURN_CLOCKWISE); }
void frmMain::cmdRotRight_Click() { rotate(PIXMILL_TURN_ANTICLOCKWISE); }

void frmMain::cmdResize_Click() {
    if (!requireBitmap(QStringLiteral("Re-size Error"))) return;
    DisableButtons();
    {
        frmResize dialog(env_, *this, this);
        runModal(dialog);
    }
    recordChange(QStringLiteral("Re-size"));
    focusHarmless();
}

// Anything but a finished Re-Map (a cancel in either dialog, or a library
// error) puts the picture back as it was before Modify Colors; the reduced
// picture stays one Redo away.
void frmMain::cmdColor_Click() {
    if (!requireBitmap(QStringLiteral("Re-size Error"))) return;
    recordChange();
    DisableButtons();
    bool mapped = false;
    {
        // The translation, and the mapping it opens, hand the buttons back.
        frmColors dialog(env_, *this, this);
        runModal(dialog);
        mapped = dialog.mapped();
    }
    if (mapped) {
        recordChange(QStringLiteral("Modify Colors"));
    } else if (recordChange(QStringLiteral("Modify Colors (not finished)"))) {
        restore(history_.undo(env_.g.gCurrentBmp));
        showStatus(QStringLiteral("Modify Colors did not finish: the picture is as it was before.  Edit > Redo "
                                  "brings back the reduced colours."));
    }
    focusHarmless();
}

// The photograph path beside Modify Colors: one step that Undo takes back,
// and Save Options next, as after Re-Map!.
void frmMain::cmdPhoto_Click() {
    if (!requireBitmap(QStringLiteral("Photo"))) return;
    DisableButtons();
    bool applied = false;
    {
        frmPhoto dialog(env_, *this, this);  // gives the buttons back however it closes
        applied = dialog.exec() == QDialog::Accepted;
    }
    recordChange();
    (applied ? cmdSaveOpts : cmdPhoto)->setFocus();
}

void frmMain::cmdSaveOpts_Click() {
    if (!requireBitmap(QStringLiteral("Re-size Error"))) return;
    DisableButtons();
    {
        frmSaveOpts dialog(env_, *this, this);
        runModal(dialog);
    }
    recordChange();
    focusHarmless();
}

void frmMain::cmdExit_Click() { close(); }

frmComm& frmMain::comm() {
    if (!comm_) {
        comm_ = new frmComm(env_, *this, this);
        comm_->openPrint = [this] { showPrintDialog(); };
        comm_->openLogo = [this] { showLogoDialog(); };
        comm_->openLegacy = [this] { showLegacyDialog(); };
        comm_->openBatch = [this] { showBatchDialog(); };
    }
    return *comm_;
}

// Asks for the connection first; the communication dialog opens the wanted
// dialog itself once the printer has answered.
void frmMain::showCommFor(bool modGlobal::*wanted) {
    modGlobal& g = env_.g;
    g.gCommForPrint = g.gCommForLogo = g.gCommForLegacy = g.gCommForBatch = false;
    if (wanted) g.*wanted = true;
    comm().Form_Load();
    runModal(comm());
}

void frmMain::showPrintDialog() {
    frmPrint dialog(env_, *this, this);
    runModal(dialog);
}

void frmMain::showLogoDialog() {
    frmLogo2 dialog(env_, this);
    runModal(dialog);
}

void frmMain::showBatchDialog() {
    frmBatch dialog(env_, this);
    runModal(dialog);
}

void frmMain::showLegacyDialog() {
    frmLegacy dialog(env_, this);
    runModal(dialog);
}

void frmMain::cmdPrint_Click() {
    DisableButtons();
    // The print dialog, or the communication dialog when cancelled, gives the buttons back.
    if (env_.g.gCommEstablished)
        showPrintDialog();
    else
        showCommFor(&modGlobal::gCommForPrint);
}

void frmMain::cmdLogo_Click() {
    DisableButtons();
    if (env_.g.gCommEstablished)
        showLogoDialog();
    else
        showCommFor(&modGlobal::gCommForLogo);
    EnableButtons();
}

void frmMain::cmdLegacy_Click() {
    DisableButtons();
    if (env_.g.gCommEstablished)
        showLegacyDialog();
    else
        showCommFor(&modGlobal::gCommForLegacy);
    EnableButtons();
}

void frmMain::mnuBatchModeEnable_Click() {
    // The recording state decides, not the check mark Qt has already toggled.
    modGlobal& g = env_.g;
    mnuBatchModeEnable->setChecked(g.gBatchModeEnabled);
    if (g.gBatchModeEnabled) {
        mnuBatchModeEnable->setChecked(false);
        g.gBatchModeEnabled = false;
        env_.batch.CloseBatchFile();
        updateTitle();
        showStatus(QStringLiteral("Recording ended: %1 holds what was sent.").arg(QFileInfo(recordingFile_).fileName()));
        return;
    }
    const FileChoice chosen = chooseRecordingFile(env_);
    if (chosen.cancelled()) {
        mnuBatchModeEnable->setChecked(false);
        tell(env_, QStringLiteral("No file was selected.  Batch mode recording has not been turned on."),
             QStringLiteral("File Open Error"), MsgIcon::Information, 15);
        return;
    }
    env_.settings.write(Key::InitBatDir, chosen.folder());
    env_.batch.OpenBatchFile(chosen.path, true);
    // A file that cannot be created (the library has said why) records nothing.
    const bool on = env_.batch.isOpen();
    mnuBatchModeEnable->setChecked(on);
    g.gBatchModeEnabled = on;
    recordingFile_ = chosen.path;
    updateTitle();
    if (on) showStatus(QStringLiteral("Recording: everything sent to the printer goes into %1.").arg(chosen.name));
}

void frmMain::mnuBatchModeOmit_Click() {
    env_.g.gOmitPrintSampleData = !env_.g.gOmitPrintSampleData;
    mnuBatchModeOmit->setChecked(env_.g.gOmitPrintSampleData);
}

void frmMain::mnuBatchModePlay_Click() {
    modGlobal& g = env_.g;
    DisableButtons();
    if (g.gBatchModeEnabled) {
        mnuBatchModeEnable->setChecked(false);
        mnuBatchModeOmit->setEnabled(false);
        g.gBatchModeEnabled = false;
        env_.batch.CloseBatchFile();
        updateTitle();
    }
    if (g.gCommEstablished)
        showBatchDialog();
    else
        showCommFor(&modGlobal::gCommForBatch);
    EnableButtons();
}

void frmMain::cmdCrop_Click() {}

void frmMain::cmdMSPaint_Click() {
    if (!requireBitmap(QStringLiteral("Re-size Error"))) return;
    const QString program = env_.desktop.findPaintProgram();
    if (program.isEmpty() || !env_.desktop.startDetached(program, {env_.g.gCurrentBmp}))
        tell(env_, QStringLiteral("Unable to Launch MS Paint"), QStringLiteral("Application Error"),
             MsgIcon::Exclamation);
}

void frmMain::cmdShowOriginalBMP_Click() {
    if (env_.g.gOriginalBmp.isEmpty()) {
        tell(env_, notLoadedText(), QStringLiteral("Bitmap Error"), MsgIcon::Exclamation, 1);
        return;
    }
    ShowBitmap(env_.g.gOriginalBmp);
}

void frmMain::cmdShowCurrentBMP_Click() {
    if (env_.g.gCurrentBmp.isEmpty()) {
        tell(env_, notLoadedText(), QStringLiteral("Bitmap Error"), MsgIcon::Exclamation, 1);
        return;
    }
    ShowBitmap(env_.g.gCurrentBmp);
}

void frmMain::mnuFileExit_Click() {
    if (env_.link.transferring() || !mayReplacePicture(QStringLiteral("quitting"))) return;
    unloaded_ = true;  // ends at once, without the unload steps
    if (endProgram) endProgram();
}

// Every change to the working bitmap becomes a step that Undo can take back;
// the step marker and the colour steps' findings belong to it.  True when
// the picture had changed.
bool frmMain::recordChange(const QString& what) {
    if (env_.g.gCurrentBmp.isEmpty()) return false;
    // Unnamed, it can only be what the paint program did to the working bitmap.
    const QString name = what.isEmpty() ? QStringLiteral("Edit in the Paint Program") : what;
    const bool changed = history_.noteChange(env_.g.gCurrentBmp, PictureState::of(env_.g, step_), name);
    updateEditActions();
    return changed;
}

void frmMain::updateEditActions() {
    const bool idle = !busy_;
    mnuEditUndo->setEnabled(idle && history_.canUndo());
    mnuEditRedo->setEnabled(idle && history_.canRedo());
    mnuEditPaste->setEnabled(idle);
    // "Undo Re-size", "Redo Modify Colors (not finished)": what the step is.
    auto caption = [](const char* verb, const QString& what) {
        return what.isEmpty() ? QString::fromLatin1(verb) : QString::fromLatin1(verb) + u' ' + what;
    };
    mnuEditUndo->setText(caption("&Undo", history_.undoName()));
    mnuEditRedo->setText(caption("&Redo", history_.redoName()));
}

void frmMain::restore(const std::optional<PictureState>& state) {
    if (!state) return;
    state->restoreInto(env_.g);
    ShowBitmap(env_.g.gCurrentBmp);
    MoveStepMarker(state->step);
    updateEditActions();
}

void frmMain::mnuEditUndo_Click() {
    if (busy_) return;
    // A change made outside the program (in a paint program) is a step too.
    recordChange();
    restore(history_.undo(env_.g.gCurrentBmp));
}

void frmMain::mnuEditRedo_Click() {
    if (busy_) return;
    restore(history_.redo(env_.g.gCurrentBmp));
}

void frmMain::mnuEditPaste_Click() {
    if (busy_) return;
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    const QString file = firstLocalFile(data);
    if (!file.isEmpty()) {
        loadFile(file);
    } else if (data && data->hasImage()) {
        loadImage(qvariant_cast<QImage>(data->imageData()), QStringLiteral("Pasted picture"));
    } else {
        showStatus(QStringLiteral("The clipboard holds no picture."));
    }
}

void frmMain::dragEnterEvent(QDragEnterEvent* event) {
    const QMimeData* data = event->mimeData();
    if (!busy_ && (!firstLocalFile(data).isEmpty() || data->hasImage())) event->acceptProposedAction();
}

void frmMain::dropEvent(QDropEvent* event) {
    if (busy_) return;
    const QMimeData* data = event->mimeData();
    const QString file = firstLocalFile(data);
    if (!file.isEmpty()) {
        event->acceptProposedAction();
        loadFile(file);
    } else if (data->hasImage()) {
        event->acceptProposedAction();
        loadImage(qvariant_cast<QImage>(data->imageData()), QStringLiteral("Dropped picture"));
    }
}

void frmMain::mnuColorScreenRed_Click() {
    SetScreenRed();
    screenColourNote();
    offerRecolour();
}

void frmMain::mnuColorScreenBlue_Click() {
    SetScreenBlue();
    screenColourNote();
    offerRecolour();
}

// A picture in the other highlight colour than the screen's cannot be
// printed or saved for the printer: offer to recolour it at once, rather
// than have the print refuse it later.
void frmMain::offerRecolour() {
    modGlobal& g = env_.g;
    if (g.gCurrentBmp.isEmpty() || busy_) return;
    const HighlightUse use = highlightsUsed(g.gCurrentBmp);
    const bool toBlue = !g.gScreenRed;
    if (!(toBlue ? use.red && !use.blue : use.blue && !use.red)) return;
    const QString from = toBlue ? QStringLiteral("red") : QStringLiteral("blue");
    const QString to = toBlue ? QStringLiteral("blue") : QStringLiteral("red");
    if (tell(env_, QStringLiteral("The picture's highlight colour is %1.  Recolour it %2, to match?").arg(from, to),
             QStringLiteral("Recolour the Picture"), MsgIcon::Information, 8, MsgButtons::OkCancel, {},
             QStringLiteral("A %1 picture cannot be printed on %2 paper.  Edit > Undo takes the recolouring back.")
                 .arg(from, to)) != MsgResult::Ok)
        return;
    const uint32_t source = uint32_t(toBlue ? g.gMarkColor1 : g.gMarkColor2);
    const uint32_t target = uint32_t(toBlue ? g.gMarkColor2 : g.gMarkColor1);
    const int32_t r = env_.pixmill.ColorSwap(g.gCurrentBmp, source, target);
    // The swap marks the entries it wrote; nothing else is to come.
    env_.pixmill.CleanBMP(g.gCurrentBmp);
    if (r != 0) {
        tell(env_, QStringLiteral("Error mapping colors.\r\n") + errorNumber(r), QStringLiteral("Color Swap Error"),
             MsgIcon::Information, 3, MsgButtons::Ok, {}, fileAdvice(env_.pixmill, r, g.gCurrentBmp));
        return;
    }
    ShowBitmap(g.gCurrentBmp);
    recordChange(QStringLiteral("Recolour"));
    showStatus(QStringLiteral("Done: the picture was recoloured %1.").arg(to));
}

void frmMain::screenColourNote() {
    Message m;
    m.text = QStringLiteral("This setting only affects the color of the image on the screen.  You must choose a media "
                            "type from the Color->Media menu to configure the printer to match the paper you will be "
                            "using.");
    m.title = QStringLiteral("Configuration Information");
    m.icon = MsgIcon::Information;
    // Its topic is for F1; the box itself offers OK only.
    m.helpFile = env_.g.gHelpFile;
    m.helpTopic = 8;
    m.helpButton = false;
    env_.messages.show(m);
}

void frmMain::mnuColorMediaType0_Click() { chooseMedia(mnuColorMediaType0, 0); }
void frmMain::mnuColorMediaType1_Click() { chooseMedia(mnuColorMediaType1, 1); }
void frmMain::mnuColorMediaType4_Click() { chooseMedia(mnuColorMediaType4, 4); }
// The three papers of type 5 differ only in their names.
void frmMain::mnuColorMediaType5_Click(int index) { chooseMedia(mnuColorMediaType5[index], 5); }

// The item the printer was told last keeps the mark; one that was not sent
// does not take it.
void frmMain::chooseMedia(QAction* item, int16_t type) {
    SetMediaType(type);
    if (paperTypeSet_) {
        mediaItem_ = item;
        showStatus(QStringLiteral("Done: the printer was told %1 and has stored it.").arg(plainCaption(item)));
    } else if (env_.g.gCommEstablished) {
        showStatus(QStringLiteral("Not done: the paper type was not sent."));
    } else {
        showStatus(QStringLiteral("Not done: there is no connection to the printer."));
    }
    for (QAction* a : mediaChoice->actions()) a->setChecked(a == mediaItem_);
}

void frmMain::SetMediaType(const int16_t& type) {
    modGlobal& g = env_.g;
    paperTypeSet_ = false;
    DisableButtons();
    if (!g.gCommEstablished) showCommFor(nullptr);  // no dialog to open afterwards
    if (g.gCommEstablished) {
        WaitCursor hourglass;
        Transfer transfer(env_.link);
        paperTypeSet_ = sendPaperType(env_.link, env_.batch, uint8_t(type));
    } else {
        Message m;
        m.text = QStringLiteral("The utility did not establish communications with the printer, so it will not "
                                "configure the printer for the correct paper type.");
        m.title = QStringLiteral("Communication Message");
        m.icon = MsgIcon::Information;
        // Its topic is for F1; the box itself offers OK only.
        m.helpFile = g.gHelpFile;
        m.helpTopic = 7;
        m.helpButton = false;
        env_.messages.show(m);
    }
    EnableButtons();
}

void frmMain::mnuAdvancedTopLogoSpacing_Click() {
    frmAdvanced dialog(env_, this);
    runModal(dialog);
}

void frmMain::mnuHelpContents_Click() { openHelp(env_.desktop, &env_.messages, env_.g.gHelpFile, -1); }

void frmMain::mnuAbout_Click() {
    if (!about_) {
        about_ = new frmSplash(env_, nullptr);
        about_->setAttribute(Qt::WA_DeleteOnClose);
    }
    about_->ShowAbout();
}

}  // namespace rastiv

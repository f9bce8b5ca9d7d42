// The main window's layout: where the steps, the tools and the picture
// sit, the menus, the tab order and what each control is connected to.
#include "ui/main/frmMain.hpp"

#include "ui/common/artwork.hpp"
#include "ui/common/dialogform.hpp"
#include "ui/common/f1help.hpp"

#include <QAction>
#include <QActionGroup>
#include <QEvent>
#include <QFrame>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QStatusBar>

namespace rastiv {

namespace {
// The smallest client area: the size the step buttons and the tools were laid out for.
constexpr int kClientWidth = 583, kClientHeight = 455;
// The picture area's corner, and the left edge of the column that follows the right edge.
constexpr int kPictureLeft = 8, kPictureTop = 64, kRightColumn = 452;
}  // namespace

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
    picArea = new PictureView(client);
    image1 = picArea->label();

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

    // A caption wider than its button in the desktop's font (the layout's
    // widths were drawn for another) takes some of the gap beside it.
    for (QPushButton* b : client->findChildren<QPushButton*>(Qt::FindDirectChildrenOnly)) fitCaption(*b, 2);

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
    lbPictureSize = picArea->sizeLabel();
    lbZoom = picArea->zoomLabel();
    lbNextStep = new QLabel(this);
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
    picArea->refit();
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == centralWidget() && event->type() == QEvent::Resize) placeRightColumn();
    return QMainWindow::eventFilter(watched, event);
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
    createFileMenu();

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

    connect(mnuFileOpen, &QAction::triggered, this, &frmMain::mnuFileOpen_Click);
    connect(mnuFileRecent, &QMenu::aboutToShow, this, &frmMain::fillRecentMenu);
    connect(mnuFileSave, &QAction::triggered, this, &frmMain::mnuFileSave_Click);
    connect(mnuFileSaveAs, &QAction::triggered, this, &frmMain::mnuFileSaveAs_Click);
    connect(mnuFileExport, &QAction::triggered, this, &frmMain::mnuFileExport_Click);
    connect(mnuFilePrint, &QAction::triggered, this, &frmMain::mnuFilePrint_Click);
    connect(mnuFileExit, &QAction::triggered, this, &frmMain::mnuFileExit_Click);
    connect(mnuFileQuit, &QAction::triggered, this, &frmMain::mnuFileQuit_Click);
    connect(mnuEditUndo, &QAction::triggered, this, &frmMain::mnuEditUndo_Click);
    connect(mnuEditRedo, &QAction::triggered, this, &frmMain::mnuEditRedo_Click);
    connect(mnuEditPaste, &QAction::triggered, this, &frmMain::mnuEditPaste_Click);
    connect(mnuViewFit, &QAction::triggered, this, &frmMain::mnuViewFit_Click);
    connect(mnuViewActual, &QAction::triggered, this, &frmMain::mnuViewActual_Click);
    connect(mnuViewZoomIn, &QAction::triggered, this, [this] { zoomBy(PictureView::kZoomStep); });
    connect(mnuViewZoomOut, &QAction::triggered, this, [this] { zoomBy(1 / PictureView::kZoomStep); });
    connect(picArea, &PictureView::zoomShown, mnuViewFit, &QAction::setChecked);
    connect(&document_, &PictureDocument::historyChanged, this, &frmMain::updateEditActions);
    connect(&document_, &PictureDocument::loaded, this, [this] {
        rememberRecent(std::exchange(loading_, {}));
        lastSaved_.reset();
        updateTitle();
        showStatus({});
    });
    document_.save = [this] { mnuFileSave_Click(); };
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

}  // namespace rastiv

#include "ui/printer/frmVirtualPrinter.hpp"

#include <QAction>
#include <QDir>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPaintEvent>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>

#include "ui/common/f1help.hpp"
#include "ui/common/stepindicator.hpp"
#include "core/filedialogs.hpp"
#include "core/modGlobal.hpp"
#include "link/virtualprinter.hpp"

namespace rastiv {

namespace {

constexpr int kHelpTopic = 7;  // connecting to the printer, where the virtual printer is chosen
// The zoom buttons step through these; Fit Width may land between them.
constexpr double kZoomSteps[] = {0.125, 0.25, 0.5, 0.75, 1, 1.5, 2, 3, 4, 6, 8};
constexpr double kMinZoom = kZoomSteps[0];
constexpr double kMaxZoom = kZoomSteps[std::size(kZoomSteps) - 1];

}  // namespace

QColor screenHighlight(const modGlobal& g) { return highlightColour(g.gScreenRed); }

ReceiptView::ReceiptView(const ReceiptRenderer& renderer, QWidget* parent) : QWidget(parent), renderer_(renderer) {
    setObjectName(QStringLiteral("imReceipt"));
    setAccessibleName(QStringLiteral("Receipt"));
    refresh();
}

void ReceiptView::setZoom(double zoom) {
    zoom_ = zoom;
    refresh();
}

void ReceiptView::refresh() {
    const int rows = renderer_.height();
    resize(qRound(ReceiptRenderer::kWidth * zoom_), qRound(rows * zoom_));
    setAccessibleDescription(QStringLiteral("%1 dots wide, %2 dots long").arg(ReceiptRenderer::kWidth).arg(rows));
    update();
}

void ReceiptView::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    p.fillRect(event->rect(), Qt::white);
    // Only the exposed rows: the paper is kept compressed, and a receipt can
    // be many thousands of dots long.
    const int top = std::max(0, int(event->rect().top() / zoom_) - 1);
    const int rows = int(event->rect().height() / zoom_) + 3;
    const QImage part = renderer_.section(top, rows);
    if (part.isNull()) return;
    // Enlarged, every dot stays a sharp square; reduced, dots are blended so
    // that thin lines do not vanish.
    p.setRenderHint(QPainter::SmoothPixmapTransform, zoom_ < 1);
    p.drawImage(QRectF(0, top * zoom_, part.width() * zoom_, part.height() * zoom_), part);
    p.setPen(QPen(Qt::gray, 1, Qt::DashLine));
    for (int cut : renderer_.cuts())
        if (cut >= top && cut <= top + rows) p.drawLine(QPointF(0, cut * zoom_), QPointF(width(), cut * zoom_));
}

frmVirtualPrinter::frmVirtualPrinter(Env& env, ReceiptRenderer& renderer, QWidget* parent)
    : QWidget(parent, Qt::Window), env_(env), renderer_(renderer) {
    createControls();
    createActions();
    connectSignals();
    receiptChanged();
}

frmVirtualPrinter::~frmVirtualPrinter() { stopListening(); }

void frmVirtualPrinter::createControls() {
    setObjectName(QStringLiteral("frmVirtualPrinter"));
    setWindowTitle(QStringLiteral("Virtual Printer"));
    setHelpTopic(this, kHelpTopic);

    scrReceipt = new QScrollArea(this);
    scrReceipt->setObjectName(QStringLiteral("scrReceipt"));
    scrReceipt->setAccessibleName(QStringLiteral("Receipt"));
    scrReceipt->setFocusPolicy(Qt::StrongFocus);  // the arrow and page keys scroll the receipt
    scrReceipt->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    scrReceipt->setBackgroundRole(QPalette::Dark);
    imReceipt = new ReceiptView(renderer_, scrReceipt);
    scrReceipt->setWidget(imReceipt);

    auto button = [this](QPushButton*& b, const char* name, const char* text, const QString& tip) {
        b = new QPushButton(QString::fromLatin1(text), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setToolTip(tip);
        b->setAutoDefault(false);
    };
    button(cmdZoomOut, "cmdZoomOut", "Zoom &Out", QStringLiteral("Smaller (Ctrl+Minus, Ctrl+wheel)"));
    button(cmdZoomIn, "cmdZoomIn", "Zoom &In", QStringLiteral("Larger (Ctrl+Plus, Ctrl+wheel)"));
    button(cmdFitWidth, "cmdFitWidth", "&Fit Width", QStringLiteral("The whole width of the paper (Ctrl+0)"));
    button(cmdActualSize, "cmdActualSize", "&Actual Size",
           QStringLiteral("One screen pixel per printer dot (Ctrl+1)"));
    button(cmdSaveImage, "cmdSaveImage", "&Save Image...",
           QStringLiteral("Save the receipt as a PNG image, one pixel per printer dot"));
    button(cmdClear, "cmdClear", "&Clear", QStringLiteral("Tear the paper off: start an empty receipt"));
    lblZoom = new QLabel(this);
    lblZoom->setObjectName(QStringLiteral("lblZoom"));
    lblZoom->setAccessibleName(QStringLiteral("Zoom"));
    lblZoom->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("8888%")));
    lblZoom->setAlignment(Qt::AlignCenter);
    tbListen = new QLineEdit(QStringLiteral("127.0.0.1:9100"), this);
    tbListen->setObjectName(QStringLiteral("tbListen"));
    tbListen->setAccessibleName(QStringLiteral("TCP address"));
    tbListen->setToolTip(QStringLiteral("Where a till connects to print here: HOST:PORT"));
    button(cmdListen, "cmdListen", "&Listen", QStringLiteral("Let a till print here over TCP, as a network printer"));
    lblListen = new QLabel(QStringLiteral("Not listening"), this);
    lblListen->setObjectName(QStringLiteral("lblListen"));
    lblListen->setAccessibleName(QStringLiteral("Listener"));

    auto* buttons = new QHBoxLayout;
    for (QWidget* w : std::initializer_list<QWidget*>{cmdZoomOut, lblZoom, cmdZoomIn, cmdFitWidth, cmdActualSize})
        buttons->addWidget(w);
    buttons->addStretch();
    buttons->addWidget(cmdSaveImage);
    buttons->addWidget(cmdClear);
    auto* tcp = new QHBoxLayout;
    tcp->addWidget(tbListen);
    tcp->addWidget(cmdListen);
    tcp->addWidget(lblListen, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(scrReceipt, 1);
    layout->addLayout(buttons);
    layout->addLayout(tcp);

    setTabOrder(scrReceipt, cmdZoomOut);
    setTabOrder(cmdZoomOut, cmdZoomIn);
    setTabOrder(cmdZoomIn, cmdFitWidth);
    setTabOrder(cmdFitWidth, cmdActualSize);
    setTabOrder(cmdActualSize, cmdSaveImage);
    setTabOrder(cmdSaveImage, cmdClear);
    setTabOrder(cmdClear, tbListen);
    setTabOrder(tbListen, cmdListen);

    const int frame = 2 * scrReceipt->frameWidth() + layout->contentsMargins().left() +
                      layout->contentsMargins().right();
    resize(ReceiptRenderer::kWidth + frame + scrReceipt->verticalScrollBar()->sizeHint().width() + 8, 640);
    setZoom(1);
}

void frmVirtualPrinter::createActions() {
    auto action = [this](std::initializer_list<QKeySequence> keys, void (frmVirtualPrinter::*handler)()) {
        auto* a = new QAction(this);
        a->setShortcuts(QList<QKeySequence>(keys));
        connect(a, &QAction::triggered, this, handler);
        addAction(a);
    };
    action({QKeySequence::ZoomIn, QKeySequence(Qt::CTRL | Qt::Key_Equal)}, &frmVirtualPrinter::cmdZoomIn_Click);
    action({QKeySequence::ZoomOut}, &frmVirtualPrinter::cmdZoomOut_Click);
    action({QKeySequence(Qt::CTRL | Qt::Key_0)}, &frmVirtualPrinter::cmdFitWidth_Click);
    action({QKeySequence(Qt::CTRL | Qt::Key_1)}, &frmVirtualPrinter::cmdActualSize_Click);
    // Escape closes it as it closes the program's dialogs.
    auto* close = new QAction(this);
    close->setShortcuts({QKeySequence(Qt::Key_Escape), QKeySequence::Close});
    connect(close, &QAction::triggered, this, &QWidget::close);
    addAction(close);
}

void frmVirtualPrinter::connectSignals() {
    connect(cmdZoomOut, &QPushButton::clicked, this, &frmVirtualPrinter::cmdZoomOut_Click);
    connect(cmdZoomIn, &QPushButton::clicked, this, &frmVirtualPrinter::cmdZoomIn_Click);
    connect(cmdFitWidth, &QPushButton::clicked, this, &frmVirtualPrinter::cmdFitWidth_Click);
    connect(cmdActualSize, &QPushButton::clicked, this, &frmVirtualPrinter::cmdActualSize_Click);
    connect(cmdSaveImage, &QPushButton::clicked, this, &frmVirtualPrinter::cmdSaveImage_Click);
    connect(cmdClear, &QPushButton::clicked, this, &frmVirtualPrinter::cmdClear_Click);
    connect(cmdListen, &QPushButton::clicked, this, &frmVirtualPrinter::cmdListen_Click);
    scrReceipt->viewport()->installEventFilter(this);
    QScrollBar* bar = scrReceipt->verticalScrollBar();
    connect(bar, &QScrollBar::valueChanged, this, [this, bar](int v) { followEnd_ = v >= bar->maximum(); });
    connect(bar, &QScrollBar::rangeChanged, this, [this, bar](int, int max) {
        if (followEnd_) bar->setValue(max);
    });
}

double frmVirtualPrinter::zoom() const { return imReceipt->zoom(); }

void frmVirtualPrinter::setZoom(double zoom) {
    zoom = std::clamp(zoom, kMinZoom, kMaxZoom);
    imReceipt->setZoom(zoom);
    lblZoom->setText(QStringLiteral("%1%").arg(qRound(zoom * 100)));
    cmdZoomOut->setEnabled(zoom > kMinZoom);
    cmdZoomIn->setEnabled(zoom < kMaxZoom);
}

void frmVirtualPrinter::cmdZoomIn_Click() {
    const double* next = std::upper_bound(std::begin(kZoomSteps), std::end(kZoomSteps), zoom() * 1.001);
    if (next != std::end(kZoomSteps)) setZoom(*next);
}

void frmVirtualPrinter::cmdZoomOut_Click() {
    const double* below = std::lower_bound(std::begin(kZoomSteps), std::end(kZoomSteps), zoom() * 0.999);
    if (below != std::begin(kZoomSteps)) setZoom(*(below - 1));
}

void frmVirtualPrinter::cmdFitWidth_Click() {
    // The room beside a vertical scroll bar, which a long receipt needs.
    const int room = scrReceipt->maximumViewportSize().width() - scrReceipt->verticalScrollBar()->sizeHint().width();
    setZoom(double(std::max(room, 1)) / ReceiptRenderer::kWidth);
}

void frmVirtualPrinter::cmdActualSize_Click() { setZoom(1); }

void frmVirtualPrinter::cmdSaveImage_Click() {
    followScreenColour();
    const QImage image = renderer_.receipt();
    if (image.isNull()) return;
    FileRequest r;
    r.mode = FileRequest::Mode::Save;
    r.startFolder = saveFolder_.isEmpty() ? QDir::homePath() : saveFolder_;
    r.title = QStringLiteral("Save Receipt Image");
    r.filter = QStringLiteral("PNG image (*.png)|*.png");
    r.defaultExtension = QStringLiteral(".png");
    r.fileName = QStringLiteral("receipt.png");
    r.askBeforeOverwrite = true;
    const FileChoice choice = env_.files.ask(r);
    if (choice.cancelled()) return;
    QString error;
    if (!writePng(image, choice.path, error)) {
        tell(env_, QStringLiteral("The receipt image could not be saved as %1: %2").arg(choice.path, error),
             QStringLiteral("Save Receipt Image"), MsgIcon::Exclamation, kHelpTopic);
        return;
    }
    saveFolder_ = choice.folder();
}

void frmVirtualPrinter::cmdClear_Click() {
    renderer_.clear();
    followEnd_ = true;
    receiptChanged();
}

void frmVirtualPrinter::cmdListen_Click() {
    if (listener_) return stopListening();
    QString host, problem;
    quint16 port = 0;
    auto listener = std::make_unique<TcpPrinterListener>();
    if (!parseListenAddress(tbListen->text().trimmed(), host, port, problem) || !listener->listen(host, port, problem)) {
        lblListen->setText(problem);
        return;
    }
    TcpPrinterListener* l = listener.get();
    l->connected = [this, l](const QString& client) {
        lblListen->setText(QStringLiteral("Printing for %1").arg(client));
        // The printer answers the client's status requests as it reads them.
        renderer_.engine().unitSeen = [l](const Unit& u) {
            if (const QByteArray answer = printerAnswer(u); !answer.isEmpty()) l->send(answer);
        };
    };
    l->received = [this](QByteArrayView bytes) {
        if (print) print(bytes.toByteArray());
    };
    l->disconnected = [this, l](const QString&) {
        renderer_.engine().unitSeen = nullptr;
        lblListen->setText(QStringLiteral("Listening on %1").arg(l->address()));
    };
    lblListen->setText(QStringLiteral("Listening on %1").arg(l->address()));
    listener_ = std::move(listener);
    cmdListen->setText(QStringLiteral("Stop &Listening"));
    tbListen->setEnabled(false);
}

void frmVirtualPrinter::stopListening() {
    if (!listener_) return;
    renderer_.engine().unitSeen = nullptr;
    listener_->connected = nullptr;
    listener_->disconnected = nullptr;
    listener_.reset();
    cmdListen->setText(QStringLiteral("&Listen"));
    tbListen->setEnabled(true);
    lblListen->setText(QStringLiteral("Not listening"));
}

void frmVirtualPrinter::receiptChanged() {
    renderer_.setHighlight(screenHighlight(env_.g));
    imReceipt->refresh();
    const bool printed = renderer_.height() > 0;
    cmdSaveImage->setEnabled(printed);
    cmdClear->setEnabled(printed);
}

// The screen colour may have changed in the main window since the last output.
void frmVirtualPrinter::followScreenColour() {
    if (renderer_.highlight() != screenHighlight(env_.g)) receiptChanged();
}

void frmVirtualPrinter::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) followScreenColour();
    QWidget::changeEvent(event);
}

bool frmVirtualPrinter::eventFilter(QObject* watched, QEvent* event) {
    if (watched == scrReceipt->viewport() && event->type() == QEvent::Wheel) {
        auto* wheel = static_cast<QWheelEvent*>(event);
        if (wheel->modifiers() & Qt::ControlModifier) {
            const int delta = wheel->angleDelta().y();
            if (delta > 0) cmdZoomIn_Click();
            if (delta < 0) cmdZoomOut_Click();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

VirtualPrinterPreview::VirtualPrinterPreview(Env& env, QWidget* windowParent, QObject* parent)
    : QObject(parent), env_(env), windowParent_(windowParent) {
    renderer_.grew = [this] { grew_ = true; };
}

VirtualPrinterPreview::~VirtualPrinterPreview() { delete window_.data(); }

void VirtualPrinterPreview::watch(VirtualPrinter& printer) {
    connect(&printer, &VirtualPrinter::bytesReceived, this, &VirtualPrinterPreview::feed);
    show();
}

void VirtualPrinterPreview::feed(const QByteArray& bytes) {
    grew_ = false;
    renderer_.feed(bytes);
    if (!grew_) return;
    show();
}

void VirtualPrinterPreview::show() {
    if (!window_) {
        window_ = new frmVirtualPrinter(env_, renderer_, windowParent_);
        window_->print = [this](const QByteArray& bytes) { feed(bytes); };
    }
    window_->receiptChanged();
    if (!window_->isVisible()) {
        // Beside the dialog that is sending, which keeps the keyboard.
        window_->setAttribute(Qt::WA_ShowWithoutActivating);
        window_->show();
    }
}

}  // namespace rastiv

#include "ui/common/frmSplash.hpp"

#include "ui/common/artwork.hpp"
#include "link/clock.hpp"

#include <QCoreApplication>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#ifndef RASTIV_VERSION
#define RASTIV_VERSION "0.0.0"
#endif

namespace rastiv {

QString frmSplash::versionText() { return QStringLiteral("Version " RASTIV_VERSION); }

frmSplash::frmSplash(Clock& clock, std::function<void()> onStart, QWidget* parent)
    // An ordinary frameless window rather than a splash screen, because window
    // managers give splash screens no focus and a key press must reach it.
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), clock_(clock), onStart_(std::move(onStart)) {
    setObjectName(QStringLiteral("frmSplash"));
    setWindowTitle(QStringLiteral("Rastiv"));
    setFocusPolicy(Qt::StrongFocus);

    Frame1 = new QFrame(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setFrameShape(QFrame::Box);
    Frame1->installEventFilter(this);

    imgLogo = new QLabel(Frame1);
    imgLogo->setObjectName(QStringLiteral("imgLogo"));
    imgLogo->setPixmap(productArtwork(256, 104));
    imgLogo->setAlignment(Qt::AlignCenter);
    // Clicks on the picture and labels count as clicks on the frame.
    imgLogo->setAttribute(Qt::WA_TransparentForMouseEvents);

    lblCompanyProduct = new QLabel(QStringLiteral("Receipt Graphics Utility for Tintarex Printers"), Frame1);
    lblCompanyProduct->setObjectName(QStringLiteral("lblCompanyProduct"));
    QFont f = lblCompanyProduct->font();
    f.setBold(true);
    f.setPointSizeF(f.pointSizeF() * 1.4);
    lblCompanyProduct->setFont(f);
    lblCompanyProduct->setAlignment(Qt::AlignCenter);
    lblCompanyProduct->setAttribute(Qt::WA_TransparentForMouseEvents);

    lblVersion = new QLabel(Frame1);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    lblVersion->setAlignment(Qt::AlignRight);
    lblVersion->setAttribute(Qt::WA_TransparentForMouseEvents);

    cmdOk = new QPushButton(QStringLiteral("&OK"), Frame1);
    cmdOk->setObjectName(QStringLiteral("cmdOk"));
    cmdOk->hide();
    connect(cmdOk, &QPushButton::clicked, this, &frmSplash::cmdOk_Click);

    auto* inner = new QVBoxLayout(Frame1);
    inner->addWidget(imgLogo);
    inner->addWidget(lblCompanyProduct);
    inner->addWidget(lblVersion);
    inner->addWidget(cmdOk, 0, Qt::AlignHCenter);
    auto* outer = new QVBoxLayout(this);
    outer->addWidget(Frame1);

    Timer1 = clock_.createTimer();
    Timer1->onTimer = [this] { Timer1_Timer(); };

    Form_Load();
}

frmSplash::~frmSplash() = default;

void frmSplash::Form_Load() {
    lblVersion->setText(versionText());
    adjustSize();
    if (const QScreen* s = QGuiApplication::primaryScreen()) move(s->geometry().center() - rect().center());
    Timer1->setInterval(2000);
    Timer1->setEnabled(true);
}

void frmSplash::finishStartUp() {
    // In About mode the timer is off, and only OK may close the window.
    if (!Timer1->isEnabled()) return;
    Timer1->setEnabled(false);
    // Out of sight first: the main window's start may show boxes (the
    // picture named at start), which must not sit in front of the splash.
    hide();
    if (onStart_) onStart_();
    close();
}

void frmSplash::Timer1_Timer() { finishStartUp(); }

void frmSplash::Frame1_Click() { finishStartUp(); }

void frmSplash::keyPressEvent(QKeyEvent* event) {
    finishStartUp();
    event->accept();
}

bool frmSplash::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Frame1 && event->type() == QEvent::MouseButtonRelease) {
        Frame1_Click();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void frmSplash::ShowAbout() {
    cmdOk->setVisible(true);
    Timer1->setEnabled(false);
    show();
    raise();
    activateWindow();
}

void frmSplash::cmdOk_Click() {
    hide();
    close();
}

}  // namespace rastiv

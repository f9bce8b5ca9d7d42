#include "ui/printer/logocommon.hpp"

#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QWidget>

#include "core/modGlobal.hpp"
#include "core/numtext.hpp"
#include "ui/common/stepindicator.hpp"
#include "ui/common/transferpanel.hpp"
#include "core/batchmode.hpp"
#include "link/filestream.hpp"
#include "core/printerfiles.hpp"
#include "link/commlink.hpp"
#include "link/regularfile.hpp"

namespace rastiv {

namespace {

// What the status line says once a download to logo n has gone out, or some
// of it.
QString downloadedText(TransferEnd end, int n, const TransferProgress& p, const QString& done, const QString& what) {
    const QString sent = byteCount(p.sent()), total = byteCount(p.total());
    switch (end) {
        case TransferEnd::Complete:
            return done.arg(n).arg(total);
        case TransferEnd::Cancelled:
            return QStringLiteral("Cancelled: %1 of %2 bytes of logo %3 were sent, then the end of the download; the "
                                  "rest was not sent.  Download %4 again before using it.")
                .arg(sent, total)
                .arg(n)
                .arg(what);
        case TransferEnd::Abandoned:
            break;
    }
    return QStringLiteral("Stopped: %1 of %2 bytes of logo %3 were sent; the rest of the download was not.")
        .arg(sent, total)
        .arg(n);
}

}  // namespace

LogoNumber readLogoNumber(const QString& text) {
    LogoNumber n;
    if (text.isEmpty()) return n;
    const double value = leadingNumber(text);
    // The range holds for the number as typed: 255.4 and -0.4 are refused
    // although they would round into it, and so every valid number rounds to
    // a byte.  (NaN cannot come out of the parse; infinities fail here.)
    if (!(value >= 0.0 && value <= 255.0)) {
        n.check = NumberCheck::OutOfRange;
        return n;
    }
    n.check = NumberCheck::Valid;
    n.byte = uint8_t(clampToInt(roundHalfEven(value), 0, 255));
    return n;
}


namespace {

// Swallows the close box and Escape of a dialog that is sending.
class HoldOpen final : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Close) {
            event->ignore();
            return true;
        }
        if (event->type() == QEvent::KeyPress) return static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape;
        return false;
    }
};

}  // namespace

BusyDialog::BusyDialog(QWidget* dialog, Env& env)
    : dialog_(dialog), env_(env), transfer_(env.link), holdOpen_(std::make_unique<HoldOpen>()) {
    dialog_->installEventFilter(holdOpen_.get());
    dialog_->setEnabled(false);
}

BusyDialog::BusyDialog(QWidget* dialog, Env& env, TransferPanel& panel, TransferProgress& progress)
    : dialog_(dialog), env_(env), panel_(&panel), focus_(dialog->focusWidget()), transfer_(env.link),
      holdOpen_(std::make_unique<HoldOpen>()) {
    dialog_->installEventFilter(holdOpen_.get());
    // A disabled dialog disables all it holds, Cancel included: block the
    // controls one by one instead, leaving alone those already disabled
    // (they stay so) and dialogs opened from this one.
    for (QWidget* child : dialog_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child == panel_ || child->isWindow() || !child->isEnabled()) continue;
        child->setEnabled(false);
        blocked_.emplace_back(child);
    }
    panel_->setStatus({});
    panel_->follow(&progress);
}

BusyDialog::~BusyDialog() {
    hourglass_.restore();
    if (panel_) panel_->follow(nullptr);
    // Still holding the dialog open: the clicks and keys let through here
    // came while it was sending.
    env_.link.yield();
    if (panel_) {
        for (const QPointer<QWidget>& w : blocked_)
            if (w) w->setEnabled(true);
        if (focus_) focus_->setFocus();
    } else {
        dialog_->setEnabled(true);
    }
    dialog_->removeEventFilter(holdOpen_.get());
}

MsgResult BusyDialog::tell(const QString& text, const QString& title, MsgIcon icon, int helpTopic,
                           MsgButtons buttons, const QString& details, const QString& informative) {
    hourglass_.restore();
    return rastiv::tell(env_, text, title, icon, helpTopic, buttons, details, informative);
}

void BusyDialog::refuse(const QString& text, int helpTopic) {
    tell(text, QStringLiteral("Parameter Error"), MsgIcon::Information, helpTopic);
}

qint64 checkedLogoFile(const QString& path, BusyDialog& busy, int helpTopic) {
    // A file that went away after it was chosen, or one that is not a whole
    // logo, must not leave the printer waiting for a definition that never
    // comes (or taking what follows for the rest of it).
    QFile file(path);
    if (!notRegularFileProblem(path).isEmpty() || !file.open(QIODevice::ReadOnly)) {
        busy.tell(QStringLiteral("The logo file \"%1\" cannot be read.  Choose the logo again in Logo Management.")
                      .arg(path),
                  QStringLiteral("File Open Error"), MsgIcon::Exclamation, helpTopic);
        return -1;
    }
    const QByteArray logo = file.readAll();
    if (const QString problem = logoFileProblem(logo); !problem.isEmpty()) {
        busy.tell(QStringLiteral("The logo file \"%1\" cannot be sent to the printer: %2.  Choose or make the logo "
                                 "again in Logo Management.")
                      .arg(path, problem),
                  QStringLiteral("File Format Error"), MsgIcon::Exclamation, helpTopic);
        return -1;
    }
    return logo.size();
}

TransferEnd downloadLogo(Env& env, const QString& logoFile, BusyDialog& busy, uint8_t n, int helpTopic,
                         TransferProgress& progress, qint64 thenSent) {
    const qint64 size = checkedLogoFile(logoFile, busy, helpTopic);
    if (size < 0) return TransferEnd::Abandoned;
    progress.start(size + thenSent);
    return sendLogo(env.link, env.batch, logoFile, n, env.link.sendChunk(), progress);
}

bool downloadLogo(Env& env, const QString& logoFile, BusyDialog& busy, uint8_t n, int helpTopic) {
    TransferProgress progress(env.link.lineSettings());
    return downloadLogo(env, logoFile, busy, n, helpTopic, progress) == TransferEnd::Complete;
}


QString legacyAdvice(const QString& feature) {
    return QStringLiteral("Please use Legacy Colorization to:\r\n\r\n     Enable the %1 and \r\n\r\n"
                          "     Print a sample receipt with the %1")
        .arg(feature);
}

void tellLegacyAdvice(BusyDialog& busy, const QString& feature) {
    busy.tell(legacyAdvice(feature), QString::fromLatin1(kProgramTitle), MsgIcon::None, -1);
}

void addSteps(StepIndicator& steps, QWidget* parent, std::initializer_list<QPoint> labelsAt) {
    int i = 0;
    for (const QPoint& at : labelsAt) {
        ++i;
        const QByteArray label = "lblStep" + QByteArray::number(i), frame = "sBox" + QByteArray::number(i);
        const QRect labelRect(at, QSize(45, 17));
        steps.add(parent, label.constData(), frame.constData(), labelRect, labelRect.adjusted(-6, -6, 6, 6));
    }
}

namespace {

class ClickFilter final : public QObject {
public:
    ClickFilter(QWidget* w, std::function<void()> handler) : QObject(w), handler_(std::move(handler)) {
        w->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonRelease) {
            const auto* me = static_cast<QMouseEvent*>(event);
            const auto* w = static_cast<QWidget*>(watched);
            if (me->button() == Qt::LeftButton && w->rect().contains(me->position().toPoint())) handler_();
        }
        return false;
    }

private:
    std::function<void()> handler_;
};

}  // namespace

void onClick(QWidget* w, std::function<void()> handler) { new ClickFilter(w, std::move(handler)); }

std::optional<uint8_t> logoNumberOrRefuse(BusyDialog& busy, const QString& text, const QString& missing,
                                          int helpTopic) {
    const LogoNumber n = readLogoNumber(text);
    if (n.valid()) return n.byte;
    busy.refuse(n.check == NumberCheck::Empty ? missing : QStringLiteral("The logo number must be between 0 and 255."),
                helpTopic);
    return std::nullopt;
}

bool downloadNumberedLogo(QWidget* dialog, Env& env, const QString& logoFile, TransferPanel& panel,
                          const QString& numberText, int helpTopic, const QString& missing, const QString& done,
                          const QString& what) {
    TransferProgress progress(env.link.lineSettings());
    BusyDialog busy(dialog, env, panel, progress);
    const std::optional<uint8_t> n = logoNumberOrRefuse(busy, numberText, missing, helpTopic);
    if (!n) return false;
    if (!env.link.lineOpen()) return true;
    const TransferEnd end = downloadLogo(env, logoFile, busy, *n, helpTopic, progress);
    if (progress.started()) panel.setStatus(downloadedText(end, *n, progress, done, what));
    return end == TransferEnd::Complete;
}

}  // namespace rastiv

#include "ui/common/transferpanel.hpp"

#include "ui/common/dialogform.hpp"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>

#include "link/transferprogress.hpp"

namespace rastiv {

namespace {
constexpr int kRowHeight = 25;
constexpr int kCancelWidth = 81;
constexpr int kGap = 4;
}  // namespace

TransferPanel::TransferPanel(QWidget* parent, const QRect& geometry, const QString& verb)
    : QWidget(parent), verb_(verb) {
    setObjectName(QStringLiteral("TransferPanel"));
    setGeometry(geometry);
    const int w = geometry.width(), h = geometry.height();
    lblTransfer = new QLabel(this);
    lblTransfer->setObjectName(QStringLiteral("lblTransfer"));
    lblTransfer->setWordWrap(true);
    lblTransfer->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblTransfer->setGeometry(0, 0, w, h - kRowHeight - kGap);
    pbTransfer = new QProgressBar(this);
    pbTransfer->setObjectName(QStringLiteral("pbTransfer"));
    pbTransfer->setAccessibleName(QStringLiteral("Transfer progress"));
    pbTransfer->setRange(0, 100);
    pbTransfer->setGeometry(0, h - kRowHeight, w - kCancelWidth - kGap, kRowHeight);
    cmdCancel = makeButton(this, "cmdCancel", QStringLiteral("&Cancel"),
                           {w - kCancelWidth, h - kRowHeight, kCancelWidth, kRowHeight});
    connect(cmdCancel, &QPushButton::clicked, this, &TransferPanel::cmdCancel_Click);
    pbTransfer->hide();
    cmdCancel->hide();
}

void TransferPanel::follow(TransferProgress* progress) {
    if (progress_) progress_->onChange = nullptr;
    progress_ = progress;
    if (progress_) progress_->onChange = [this] { showProgress(); };
    showProgress();
}

void TransferPanel::showProgress() {
    const bool sending = progress_ && progress_->started();
    if (!sending) {
        pbTransfer->hide();
        cmdCancel->hide();
        return;
    }
    const qint64 total = progress_->total();
    pbTransfer->setValue(total > 0 ? int(std::min(progress_->sent(), total) * 100 / total) : 100);
    lblTransfer->setText(progressText(*progress_, verb_));
    cmdCancel->setEnabled(progress_->cancellable());
    if (cmdCancel->isHidden()) {
        pbTransfer->show();
        cmdCancel->show();
        // The rest of the dialog is blocked while it sends: Cancel is the
        // one thing the keyboard can reach.
        cmdCancel->setFocus();
    }
}

void TransferPanel::setStatus(const QString& text) { lblTransfer->setText(text); }

QString TransferPanel::status() const { return lblTransfer->text(); }

void TransferPanel::cmdCancel_Click() {
    if (progress_) progress_->requestCancel();
}

}  // namespace rastiv

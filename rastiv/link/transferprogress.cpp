#include "link/transferprogress.hpp"

#include <QLocale>
#include <algorithm>

namespace rastiv {

void TransferProgress::start(qint64 total) {
    started_ = true;
    cancelRequested_ = false;
    finishing_.clear();
    total_ = std::max<qint64>(total, 0);
    sent_ = 0;
    changed();
}

void TransferProgress::add(qint64 bytes) {
    if (bytes <= 0) return;
    sent_ += bytes;
    changed();
}

qint64 TransferProgress::secondsLeft() const {
    const qint64 baud = std::max(line_.baud, 1);
    const qint64 bits = remaining() * line_.bitsPerCharacter();
    return (bits + baud - 1) / baud;
}

void TransferProgress::requestCancel() {
    if (!cancellable()) return;
    cancelRequested_ = true;
    changed();
}

void TransferProgress::setFinishing(const QString& what) {
    if (finishing_ == what) return;
    finishing_ = what;
    changed();
}

void TransferProgress::changed() {
    if (onChange) onChange();
}

QString byteCount(qint64 bytes) {
    // The program speaks English; the separator must not depend on the desktop's locale.
    return QLocale(QLocale::English, QLocale::UnitedStates).toString(bytes);
}

QString progressText(const TransferProgress& progress, const QString& verb) {
    if (progress.cancelRequested() && !progress.finishing().isEmpty())
        return QStringLiteral("Cancel: finishing %1 ...").arg(progress.finishing());
    return QStringLiteral("%1 of %2 bytes %3, about %4 s left")
        .arg(byteCount(progress.sent()), byteCount(progress.total()), verb, QString::number(progress.secondsLeft()));
}

}  // namespace rastiv

#include "receipt/receiptrenderer.hpp"

#include <QImageWriter>
#include <QSaveFile>
#include <cstring>

namespace rastiv {

ReceiptRenderer::ReceiptRenderer() : engine_(std::make_unique<ReceiptEngine>(static_cast<PaperSink&>(*this), memory_)) {}

ReceiptRenderer::~ReceiptRenderer() = default;

void ReceiptRenderer::feed(QByteArrayView bytes) {
    const qint64 before = rows_;
    engine_->feed(bytes);
    if (rows_ > before && grew) grew();
}

void ReceiptRenderer::rows(const uint8_t* dots, int count) {
    for (int y = 0; y < count; ++y) {
        open_.append(reinterpret_cast<const char*>(dots + size_t(y) * kWidth), kWidth);
        ++rows_;
        if (open_.size() == qsizetype(kBand) * kWidth) seal();
    }
}

void ReceiptRenderer::seal() {
    bands_.append(qCompress(open_, 1));
    open_.clear();
    // The roll keeps the newest kMaxReceiptDots rows.
    while (qint64(bands_.size()) * kBand > kMaxReceiptDots) {
        bands_.removeFirst();
        rows_ -= kBand;
        for (int& c : cuts_) c -= kBand;
        cuts_.removeIf([](int c) { return c < 0; });
    }
}

void ReceiptRenderer::cut() { cuts_.append(int(rows_)); }

QImage ReceiptRenderer::section(int top, int count) const {
    top = std::max(0, top);
    count = std::min<qint64>(count, rows_ - top);
    if (count <= 0) return {};
    QImage image(kWidth, count, QImage::Format_Indexed8);
    image.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0), highlight().rgb()});
    int y = 0;
    while (y < count) {
        const int row = top + y;
        const int band = row / kBand;
        const QByteArray dots = band < bands_.size() ? qUncompress(bands_[band]) : open_;
        const int first = row - band * kBand;
        const int take = std::min(count - y, int(dots.size() / kWidth) - first);
        if (take <= 0) break;
        for (int i = 0; i < take; ++i)
            std::memcpy(image.scanLine(y + i), dots.constData() + qsizetype(first + i) * kWidth, kWidth);
        y += take;
    }
    return image;
}

void ReceiptRenderer::clear() {
    bands_.clear();
    open_.clear();
    open_.squeeze();
    rows_ = 0;
    cuts_.clear();
}

bool writePng(const QImage& image, const QString& path, QString& error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = file.errorString();
        return false;
    }
    QImageWriter writer(&file, "png");
    if (!writer.write(image)) {
        error = writer.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}

}  // namespace rastiv

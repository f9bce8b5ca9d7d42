#include "receipt/pngstream.hpp"

#include <QtEndian>

#include "receipt/receiptengine.hpp"

namespace rastiv {

namespace {

constexpr int kRowBytes = kPaperWidth / 4;  // two bits a dot
constexpr qint64 kHeaderAt = 8 + 4;         // the IHDR's type, after the signature and its length
constexpr qint64 kPaletteAt = 8 + 25 + 4;    // the PLTE's type, after the IHDR chunk and its length

QByteArray be32(quint32 v) {
    QByteArray b(4, '\0');
    qToBigEndian(v, b.data());
    return b;
}

// Width, height, 2 bits, palette, no interlace.
QByteArray header(qint64 height) { return be32(kPaperWidth) + be32(quint32(height)) + QByteArray("\x02\x03\x00\x00\x00", 5); }

QByteArray palette(const QColor& highlight) {
    QByteArray p;
    for (const QColor& c : {QColor(Qt::white), QColor(Qt::black), highlight})
        p += char(c.red()), p += char(c.green()), p += char(c.blue());
    return p;
}

}  // namespace

PngStream::PngStream(const QString& path) : file_(path) {}

PngStream::~PngStream() {
    if (zOpen_) deflateEnd(&z_);
}

bool PngStream::open() {
    if (!file_.open(QIODevice::WriteOnly)) {
        error_ = file_.errorString();
        return false;
    }
    if (deflateInit(&z_, 6) != Z_OK) {
        error_ = QStringLiteral("the compressor cannot start");
        file_.cancelWriting();
        return false;
    }
    zOpen_ = true;
    file_.write("\x89PNG\r\n\x1a\n", 8);
    chunk("IHDR", header(0));  // the height is written at the end
    chunk("PLTE", palette(Qt::red));
    return true;
}

void PngStream::rows(const uint8_t* dots, int count) {
    QByteArray packed(1 + kRowBytes, '\0');  // filter byte 0, then the row
    for (int y = 0; y < count; ++y) {
        const uint8_t* row = dots + size_t(y) * kPaperWidth;
        for (int i = 0; i < kRowBytes; ++i)
            packed[1 + i] = char(row[4 * i] << 6 | row[4 * i + 1] << 4 | row[4 * i + 2] << 2 | row[4 * i + 3]);
        z_.next_in = reinterpret_cast<Bytef*>(packed.data());
        z_.avail_in = uInt(packed.size());
        deflateSome(Z_NO_FLUSH);
        ++height_;
    }
}

void PngStream::deflateSome(int flush) {
    char buffer[16384];
    do {
        z_.next_out = reinterpret_cast<Bytef*>(buffer);
        z_.avail_out = sizeof buffer;
        deflate(&z_, flush);
        out_.append(buffer, qsizetype(sizeof buffer - z_.avail_out));
    } while (z_.avail_out == 0);
    if (out_.size() >= 65536 || flush == Z_FINISH) {
        chunk("IDAT", out_);
        out_.clear();
    }
}

void PngStream::chunk(const char* type, const QByteArray& data) {
    const QByteArray typed = QByteArray(type, 4) + data;
    file_.write(be32(quint32(data.size())));
    file_.write(typed);
    file_.write(be32(quint32(crc32(0, reinterpret_cast<const Bytef*>(typed.constData()), uInt(typed.size())))));
}

bool PngStream::commit(const QColor& highlight) {
    deflateSome(Z_FINISH);
    chunk("IEND", {});
    // The real height and colour into the header and the palette.
    const auto rewrite = [&](qint64 at, const char* type, const QByteArray& data) {
        const QByteArray typed = QByteArray(type, 4) + data;
        file_.seek(at);
        file_.write(typed);
        file_.write(be32(quint32(crc32(0, reinterpret_cast<const Bytef*>(typed.constData()), uInt(typed.size())))));
    };
    rewrite(kHeaderAt, "IHDR", header(height_));
    rewrite(kPaletteAt, "PLTE", palette(highlight));
    if (file_.error() != QFileDevice::NoError || !file_.commit()) {
        error_ = file_.errorString();
        file_.cancelWriting();
        return false;
    }
    return true;
}

void PngStream::cancel() { file_.cancelWriting(); }

}  // namespace rastiv

#include "core/pictureimport.hpp"

#include <QFile>
#include <QImageReader>
#include <cerrno>
#include <cstring>
#include <QPainter>
#include <QSaveFile>
#include <QSet>
#include <cerrno>
#include <cstring>

namespace rastiv {

namespace {

bool startsLikeABmp(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return false;
    return f.read(2) == "BM";
}

void putLe16(uchar* p, uint16_t v) {
    p[0] = uchar(v);
    p[1] = uchar(v >> 8);
}
void putLe32(uchar* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uchar(v >> (8 * i));
}

}  // namespace

QImage onWhitePaper(const QImage& picture) {
    QImage paper(picture.size(), QImage::Format_RGB888);
    paper.fill(Qt::white);
    QPainter p(&paper);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.drawImage(0, 0, picture);
    p.end();
    return paper;
}

bool writeBmp24(const QImage& picture, const QString& path, QString* problem) {
    const QImage rgb = picture.format() == QImage::Format_RGB888 ? picture : onWhitePaper(picture);
    const qint64 w = rgb.width(), h = rgb.height();
    // Rows are padded to whole 32-bit words; a picture Qt could hold in memory
    // keeps its size below 2 GB, which the header's 32-bit fields can carry.
    const qint64 stride = (w * 3 + 3) / 4 * 4;
    const qint64 pixels = stride * h;
    if (w <= 0 || h <= 0 || pixels > 0x7FFFFFFF - 54) {
        if (problem) *problem = QStringLiteral("The picture is too large to become a BMP.");
        return false;
    }
    QByteArray bytes(54 + pixels, '\0');
    auto* b = reinterpret_cast<uchar*>(bytes.data());
    // BITMAPFILEHEADER: "BM", file size, two reserved words, pixel offset.
    b[0] = 'B', b[1] = 'M', putLe32(b + 2, uint32_t(bytes.size())), putLe32(b + 10, 54);
    // BITMAPINFOHEADER: 40, width, height (bottom-up), 1 plane, 24 bits,
    // no compression, pixel bytes, 72 dpi both ways, no palette.
    putLe32(b + 14, 40), putLe32(b + 18, uint32_t(w)), putLe32(b + 22, uint32_t(h));
    putLe16(b + 26, 1), putLe16(b + 28, 24), putLe32(b + 34, uint32_t(pixels));
    putLe32(b + 38, 2835), putLe32(b + 42, 2835);
    for (qint64 y = 0; y < h; ++y) {
        const uchar* src = rgb.constScanLine(int(h - 1 - y));
        uchar* dst = b + 54 + y * stride;
        for (qint64 x = 0; x < w; ++x) {  // RGB in memory, BGR in the file
            dst[3 * x] = src[3 * x + 2];
            dst[3 * x + 1] = src[3 * x + 1];
            dst[3 * x + 2] = src[3 * x];
        }
    }
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly)) {
        if (problem) *problem = out.errorString();
        return false;
    }
    // A write the disk cuts short (full, or over the file size limit) comes
    // back short with no error of Qt's own: errno has the reason.
    errno = 0;
    if (out.write(bytes) != bytes.size() || !out.commit()) {
        if (problem) *problem = errno != 0 ? QString::fromLocal8Bit(std::strerror(errno)) : out.errorString();
        return false;
    }
    return true;
}

ImportedPicture importImage(const QImage& picture, const QString& bmpOut) {
    ImportedPicture r;
    if (picture.isNull()) {
        r.problem = QStringLiteral("There is no picture to load.");
        return r;
    }
    if (!writeBmp24(onWhitePaper(picture), bmpOut, &r.problem)) return r;
    r.kind = ImportedPicture::Kind::Converted;
    r.path = bmpOut;
    return r;
}

ImportedPicture importPicture(const QString& source, const QString& bmpOut) {
    // Bitmaps keep going to the library as they are, so that what it accepts
    // and how it reports what it refuses stays as it always was.
    QImageReader reader(source);
    reader.setDecideFormatFromContent(true);
    if (startsLikeABmp(source) || reader.format() == "bmp") {
        ImportedPicture r;
        r.kind = ImportedPicture::Kind::Bitmap;
        r.path = source;
        return r;
    }
    return importWithReaders(source, bmpOut);
}

ImportedPicture importWithReaders(const QString& source, const QString& bmpOut) {
    ImportedPicture r;
    QImageReader reader(source);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);  // a camera's EXIF orientation
    const QImage picture = reader.read();  // an animation's first frame
    if (picture.isNull()) {
        r.path = source;
        r.problem = QStringLiteral("No picture reader accepts this file: %1.").arg(reader.errorString());
        return r;
    }
    return importImage(picture, bmpOut);
}

bool fitToWidth(const QString& source, int width, const QString& bmpOut) {
    QImageReader reader(source);
    reader.setDecideFormatFromContent(true);
    const QImage picture = reader.read();
    if (picture.isNull() || width < 1) return false;
    // Qt's smooth scaling of 32-bit pixels averages every source pixel into
    // the one it falls on when it shrinks (other formats are only filtered
    // between neighbours).
    const QImage full = onWhitePaper(picture).convertToFormat(QImage::Format_RGB32);
    const QImage fitted = full.scaledToWidth(width, Qt::SmoothTransformation);
    return !fitted.isNull() && writeBmp24(fitted, bmpOut);
}

QString pictureExtensions() {
    QStringList out{QStringLiteral("*.bmp")};
    QSet<QString> seen{QStringLiteral("bmp")};
    // Formats a two-colour printer's operator may bring; icons, cursors and
    // the like are left out even when a reader exists for them.
    static const char* const wanted[] = {"png", "jpg", "jpeg", "gif", "tif", "tiff", "webp"};
    const QList<QByteArray> have = QImageReader::supportedImageFormats();
    for (const char* ext : wanted) {
        if (!have.contains(QByteArray(ext))) continue;
        if (!seen.contains(QLatin1String(ext))) out << QStringLiteral("*.") + QLatin1String(ext);
        seen.insert(QLatin1String(ext));
    }
    return out.join(u' ');
}

}  // namespace rastiv

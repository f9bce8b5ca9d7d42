#include "app/loadproblem.hpp"

#include <QFile>
#include <QFileInfo>
#include <cstdint>

namespace rastiv {

namespace {

// ---------------------------------------------------------------------------
// Stand-in diagnosis: a short look at the file's headers, enough to tell the
// common refusals apart.  The image library is the authority on what it
// accepts; when it can give its own reason, this whole block gives way to a
// call of the library's diagnosis and loadProblem() keeps its signature.
// ---------------------------------------------------------------------------

constexpr qint64 kFileHeader = 14;
constexpr qint64 kInfoHeader = 40;
constexpr uint32_t kOs2InfoHeader = 12;

uint32_t le(const QByteArray& b, qsizetype at, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | uint8_t(b[at + i]);
    return v;
}

QString otherFormat(const QByteArray& head) {
    struct Signature {
        const char* bytes;
        int length;
        const char* name;
    };
    static const Signature kKnown[] = {
        {"\x89PNG", 4, "a PNG picture"},  {"\xFF\xD8\xFF", 3, "a JPEG picture"}, {"GIF8", 4, "a GIF picture"},
        {"II*\0", 4, "a TIFF picture"},   {"MM\0*", 4, "a TIFF picture"},     {"%PDF", 4, "a PDF document"},
        {"\x1D\x84", 2, "a logo file"},   {"\x1D\x83", 2, "a graphics file"}, {"\x1D\x82", 2, "a graphics file"},
    };
    for (const Signature& s : kKnown)
        if (head.startsWith(QByteArray(s.bytes, s.length))) return QString::fromLatin1(s.name);
    return {};
}

QString compressionName(uint32_t c) {
    switch (c) {
        case 1: return QStringLiteral("RLE8");
        case 2: return QStringLiteral("RLE4");
        case 3: return QStringLiteral("bit fields");
        case 4: return QStringLiteral("JPEG");
        case 5: return QStringLiteral("PNG");
        default: return QStringLiteral("method %1").arg(c);
    }
}

QString sniff(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists()) return QStringLiteral("The file does not exist.");
    if (info.isDir()) return QStringLiteral("This is a folder, not a file.");
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (f.error() == QFileDevice::PermissionsError)
            return QStringLiteral("You have no permission to read the file.");
        return QStringLiteral("The file cannot be read: %1.").arg(f.errorString());
    }
    const qint64 size = f.size();
    const QByteArray head = f.read(kFileHeader + kInfoHeader);
    if (size == 0) return QStringLiteral("The file is empty.");
    if (!head.startsWith("BM")) {
        const QString other = otherFormat(head);
        if (!other.isEmpty()) return QStringLiteral("This is %1, not a BMP file.").arg(other);
        return QStringLiteral("This is not a BMP file at all: it does not start with \"BM\".");
    }
    if (head.size() < kFileHeader + 4)
        return QStringLiteral("The file is truncated: it ends inside its header, after %1 bytes.").arg(size);
    const uint32_t infoSize = le(head, kFileHeader, 4);
    if (infoSize == kOs2InfoHeader)
        return QStringLiteral("The file has an OS/2 bitmap header (12 bytes); only BMP files with the 40-byte Windows "
                              "header can be loaded.");
    if (head.size() < kFileHeader + kInfoHeader)
        return QStringLiteral("The file is truncated: it ends inside its header, after %1 bytes.").arg(size);
    const uint32_t bits = le(head, 28, 2);
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24)
        return QStringLiteral("The picture has %1 bits per pixel; only 1, 4, 8 and 24 bits per pixel can be loaded.")
            .arg(bits);
    if (const uint32_t c = le(head, 30, 4); c != 0)
        return QStringLiteral("The picture is compressed (%1); only uncompressed BMP files can be loaded.")
            .arg(compressionName(c));
    const int32_t width = int32_t(le(head, 18, 4));
    const int32_t height = int32_t(le(head, 22, 4));
    if (width <= 0 || height == 0) return QStringLiteral("The picture has no pixels: its width or height is 0.");
    if (height < 0)
        return QStringLiteral("The picture is stored top to bottom (negative height), which cannot be loaded.");
    // 64-bit arithmetic: a 31-bit width times 24 bits and a 31-bit height
    // stay far below its range.
    const qint64 stride = ((qint64(width) * bits + 31) / 32) * 4;
    const qint64 palette = bits <= 8 ? 4 * (qint64(1) << bits) : 0;
    const qint64 needed = kFileHeader + kInfoHeader + palette + stride * height;
    if (size < needed)
        return QStringLiteral("The file is truncated: the picture needs %1 bytes, the file holds %2.")
            .arg(needed)
            .arg(size);
    if (infoSize != kInfoHeader)
        return QStringLiteral("The file has a %1-byte bitmap header; only the 40-byte Windows header can be loaded.")
            .arg(infoSize);
    return QStringLiteral("The image library refused the file, although its header looks like an ordinary BMP file.");
}

}  // namespace

QString loadProblem(const QString& path) { return sniff(path); }

QString loadProblemDetails(const QString& path) {
    return QStringLiteral("File: %1\nReason: %2").arg(path, loadProblem(path));
}

}  // namespace rastiv

// Pictures in any common format, turned into the 24-bit BMP the image library
// works on.  Images only, no widgets: the program and the command-line tool
// both bring pictures in this way.
#pragma once

#include <QImage>
#include <QString>

namespace rastiv {

struct ImportedPicture {
    enum class Kind {
        Bitmap,      // a BMP: the library reads it itself, exactly as ever
        Converted,   // another format, now a 24-bit BMP at `path`
        Unreadable,  // no reader accepts it; `problem` says why
    };
    Kind kind = Kind::Unreadable;
    QString path;     // what to hand to the library
    QString problem;  // the reader's reason, for the details of the load error
};

// Looks at the file's content, not its name.  A BMP is left alone; any other
// picture Qt can read (PNG, JPEG, GIF's first frame, TIFF, WebP, ...) is
// turned upright by its EXIF orientation, laid on white paper where it is
// transparent and written to bmpOut as a 24-bit BMP.
ImportedPicture importPicture(const QString& source, const QString& bmpOut);

// Any picture through Qt's readers, BMPs too (a bitmap the library does not
// read, such as an RLE8 or a 32-bit one, may still be a proper picture).
ImportedPicture importWithReaders(const QString& source, const QString& bmpOut);

// The same for a picture already in memory (pasted or dropped).
ImportedPicture importImage(const QImage& picture, const QString& bmpOut);

// The picture as printed on white paper: transparency becomes white, and the
// result is plain 24-bit RGB.
QImage onWhitePaper(const QImage& picture);

// Writes a bottom-up, uncompressed 24-bit BMP, whole or not at all.
bool writeBmp24(const QImage& picture, const QString& path, QString* problem = nullptr);

// The picture at `source` scaled in full colour to `width` pixels, the
// height in proportion, each pixel the average of those it covers (never
// one picked out of them), written to bmpOut as a 24-bit BMP.  False when
// the picture cannot be read or the file written.
bool fitToWidth(const QString& source, int width, const QString& bmpOut);

// The extensions the readers on this machine accept, as "*.png *.jpg ...",
// BMP first.
QString pictureExtensions();

}  // namespace rastiv

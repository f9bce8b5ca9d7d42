// A receipt written to a PNG file row by row as it is printed, so that the
// memory it takes does not grow with its length: 576 dots wide, two bits a
// dot (white, black, the second colour).  The height and the second colour
// are known only at the end; they are written into the header then.  The
// file appears whole at commit(), or not at all.
#pragma once

#include <QColor>
#include <QSaveFile>
#include <QString>
#include <memory>

#include <zlib.h>

namespace rastiv {

class PngStream {
public:
    explicit PngStream(const QString& path);
    ~PngStream();
    PngStream(const PngStream&) = delete;
    PngStream& operator=(const PngStream&) = delete;

    // False with errorString() when the file cannot be made.
    bool open();
    // `count` rows of kPaperWidth PaperDot values.
    void rows(const uint8_t* dots, int count);
    qint64 height() const { return height_; }
    // Finishes the file with the paper's second colour; false with the
    // reason when it cannot be written (nothing is left behind then).
    bool commit(const QColor& highlight);
    void cancel();
    QString errorString() const { return error_; }

private:
    void chunk(const char* type, const QByteArray& data);
    void deflateSome(int flush);

    QSaveFile file_;
    z_stream z_{};
    bool zOpen_ = false;
    QByteArray out_;  // deflated bytes waiting for their IDAT chunk
    qint64 height_ = 0;
    QString error_;
};

}  // namespace rastiv

// Pictures in any format through the program's own library calls to the
// printer's files.  The pictures are made here, as PNG or JPEG files.
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "core/pixmill.hpp"
#include "cli/convert.hpp"
#include "core/pictureimport.hpp"
#include "core/printerfiles.hpp"

using namespace rastiv;
using namespace rastiv::cli;

namespace {

uint32_t rgb(int r, int g, int b) { return uint32_t(b) << 24 | uint32_t(g) << 16 | uint32_t(r) << 8; }

// Five upright bands, 40 pixels each: black, red, grey, a dull red, white.
QImage bands(int height = 50) {
    const QRgb colours[] = {qRgb(0, 0, 0), qRgb(255, 0, 0), qRgb(128, 128, 128), qRgb(200, 60, 60),
                            qRgb(255, 255, 255)};
    QImage image(200, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < 200; ++x) image.setPixel(x, y, colours[x / 40]);
    return image;
}

class ConvertPicture : public ::testing::Test {
protected:
    QString file(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    QString picture(const QImage& image, const char* name = "picture.png") {
        const QString path = file(name);
        EXPECT_TRUE(image.save(path));
        return path;
    }
    ConvertOutcome convert(ConvertOptions o) {
        QTemporaryDir work;
        return convertPicture(pm, o, work.path());
    }
    ConvertOptions options(const QString& input, OutputKind kind, const char* output) {
        ConvertOptions o;
        o.input = input;
        o.kind = kind;
        o.output = file(output);
        return o;
    }
    QByteArray bytes(const char* name) {
        QFile f(file(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QTemporaryDir dir;
    PixmillBinding pm{{QStringLiteral(RASTIV_PIXMILL_PATH)}};
};

TEST_F(ConvertPicture, APngBecomesPrinterFilesTheChecksAccept) {
    const ConvertOutcome logo = convert(options(picture(bands()), OutputKind::Logo, "out.lgo"));
    ASSERT_TRUE(logo.ok) << logo.problem.toStdString();
    EXPECT_EQ(logoFileProblem(bytes("out.lgo")), QString());
    EXPECT_EQ(bytes("out.lgo").left(5), QByteArray::fromHex("1D84021907"));  // two-colour (the red band), 200 x 50
    ConvertOptions o = options(picture(bands()), OutputKind::Gfx, "out.gfx");
    o.width = 100;
    const ConvertOutcome r = convert(o);
    ASSERT_TRUE(r.ok) << r.problem.toStdString();
    EXPECT_EQ(graphicsFileProblem(bytes("out.gfx")), QString());
    EXPECT_EQ(bytes("out.gfx").size(), 25 * 146);  // 100 x 25 after the resize, two-colour lines
    o.width = 10;  // the narrowest a picture is resized to
    EXPECT_TRUE(convert(o).ok);
}

// The map's codes, not the nearest renderings, are what the BMP shows.
TEST_F(ConvertPicture, AMapFileChoosesTheRenderings) {
    ConvertOptions o = options(picture(bands()), OutputKind::Bmp, "out.bmp");
    o.map = std::vector<MapLine>{{rgb(0, 0, 0), 5},     {rgb(255, 0, 0), 1},     {rgb(128, 128, 128), 6},
                                 {rgb(200, 60, 60), 3}, {rgb(255, 255, 255), 5}, {rgb(1, 2, 3), 1}};
    const ConvertOutcome r = convert(o);
    ASSERT_TRUE(r.ok) << r.problem.toStdString();
    const QImage out(file("out.bmp"));
    ASSERT_EQ(out.size(), QSize(200, 50));
    for (const auto& [x, solid] : {std::pair{20, qRgb(255, 255, 255)}, {60, qRgb(0, 0, 0)}, {100, qRgb(255, 0, 0)}})
        EXPECT_EQ(out.pixel(x, 10), solid) << x;
}

TEST_F(ConvertPicture, AColourTheMapLeavesOutIsRefusedWithTheLineItWouldNeed) {
    ConvertOptions o = options(picture(bands()), OutputKind::Logo, "out.lgo");
    o.map = std::vector<MapLine>{{rgb(0, 0, 0), 1}, {rgb(255, 0, 0), 6}, {rgb(255, 255, 255), 5}};
    const ConvertOutcome r = convert(o);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.problem.contains(QStringLiteral("no printer colour for 2 of the picture's colours")));
    EXPECT_TRUE(r.problem.contains(QStringLiteral("808080  2")));
    EXPECT_TRUE(r.problem.contains(QStringLiteral("C83C3C  7")));
    EXPECT_FALSE(QFile::exists(o.output));
}

TEST_F(ConvertPicture, RefusalsSayWhyAndWriteNothing) {
    const QString good = picture(bands());
    {
        QFile text(file("notes.png"));
        ASSERT_TRUE(text.open(QIODevice::WriteOnly));
        text.write("not a picture at all\n");
    }
    const struct {
        const char* name;
        std::function<void(ConvertOptions&)> change;
        const char* problem;
    } rows[] = {
        {"not a picture", [&](ConvertOptions& o) { o.input = file("notes.png"); }, "cannot be read as a picture"},
        {"missing", [&](ConvertOptions& o) { o.input = file("gone.png"); }, "cannot be read as a picture"},
        {"width 9", [](ConvertOptions& o) { o.width = 9; }, "from 10 to 576 pixels, not 9"},
        {"width 577", [](ConvertOptions& o) { o.width = 577; }, "from 10 to 576 pixels, not 577"},
        {"colours 10", [](ConvertOptions& o) { o.colours = QStringLiteral("10"); },
         "maximum value for the number of user colors is 9"},
        {"colours 0", [](ConvertOptions& o) { o.colours = QStringLiteral("0"); },
         "minimum value for the number of user colors is 1"},
        {"speed 10001", [](ConvertOptions& o) { o.speed = QStringLiteral("10001"); },
         "maximum value for the color speed is 10000"},
        {"speed abc", [](ConvertOptions& o) { o.speed = QStringLiteral("abc"); },
         "minimum value for the color speed is 1"},
        {"turn 45", [](ConvertOptions& o) { o.rotate = 45; }, "+90 or -90"},
        {"no folder", [&](ConvertOptions& o) { o.output = file("no/such/folder/out.lgo"); },
         "Error # 10 saving the BMP file as a logo"},
    };
    for (const auto& row : rows) {
        ConvertOptions o = options(good, OutputKind::Logo, "out.lgo");
        row.change(o);
        const ConvertOutcome r = convert(o);
        EXPECT_FALSE(r.ok) << row.name;
        EXPECT_TRUE(r.problem.contains(QString::fromLatin1(row.problem)))
            << row.name << ": " << r.problem.toStdString();
        EXPECT_FALSE(QFile::exists(o.output)) << row.name;
    }
}

TEST_F(ConvertPicture, APictureTooWideForThePrinterIsRefusedForItsFilesButNotAsABmp) {
    QImage wide(600, 10, QImage::Format_RGB32);
    wide.fill(Qt::black);
    const QString input = picture(wide);
    for (OutputKind kind : {OutputKind::Logo, OutputKind::Gfx}) {
        const ConvertOutcome r = convert(options(input, kind, "out.prn"));
        EXPECT_FALSE(r.ok);
        EXPECT_TRUE(r.problem.contains(QStringLiteral("too wide (600 pixels"))) << r.problem.toStdString();
        EXPECT_FALSE(QFile::exists(file("out.prn")));
    }
    EXPECT_TRUE(convert(options(input, OutputKind::Bmp, "out.bmp")).ok);
    ConvertOptions narrower = options(input, OutputKind::Logo, "out.lgo");
    narrower.width = 576;
    EXPECT_TRUE(convert(narrower).ok);
}

// The black band on the left: a clockwise turn puts it at the top, and the
// width applies to the turned picture.
TEST_F(ConvertPicture, ThePictureTurnsBeforeItIsResized) {
    const struct {
        int rotate;
        QRgb top, bottom;
    } rows[] = {{90, qRgb(0, 0, 0), qRgb(255, 255, 255)}, {-90, qRgb(255, 255, 255), qRgb(0, 0, 0)}};
    const QString input = picture(bands());
    for (const auto& row : rows) {
        ConvertOptions o = options(input, OutputKind::Bmp, "out.bmp");
        o.rotate = row.rotate;
        o.width = 100;
        const ConvertOutcome r = convert(o);
        ASSERT_TRUE(r.ok) << r.problem.toStdString();
        const QImage out(file("out.bmp"));
        ASSERT_EQ(out.size(), QSize(100, 400)) << row.rotate;
        EXPECT_EQ(out.pixel(50, 2) & 0xFFFFFF, row.top & 0xFFFFFF) << row.rotate;
        EXPECT_EQ(out.pixel(50, 397) & 0xFFFFFF, row.bottom & 0xFFFFFF) << row.rotate;
    }
}

// A grey ramp above a band of pure highlight: the photograph keeps its tones
// in dots, the highlight where the picture is red.
TEST_F(ConvertPicture, APhotographBecomesDotsOfPaperBlackAndHighlight) {
    QImage photo(300, 60, QImage::Format_RGB32);
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 300; ++x) photo.setPixel(x, y, y < 40 ? qRgb(x * 255 / 299, x * 255 / 299, x * 255 / 299)
                                                                : qRgb(255, 0, 0));
    ConvertOptions o = options(picture(photo), OutputKind::Bmp, "out.bmp");
    o.photo = SeparationSettings{};
    o.width = 150;
    const ConvertOutcome r = convert(o);
    ASSERT_TRUE(r.ok) << r.problem.toStdString();
    EXPECT_TRUE(r.mapping.empty());
    const QImage dots(file("out.bmp"));
    ASSERT_EQ(dots.size(), QSize(150, 30));
    int dark = 0, light = 0;
    for (int y = 0; y < 18; ++y) {
        dark += dots.pixel(2, y) == qRgb(0, 0, 0);
        light += dots.pixel(147, y) == qRgb(255, 255, 255);
    }
    EXPECT_GT(dark, 15);
    EXPECT_GT(light, 15);
    EXPECT_EQ(dots.pixel(75, 27), qRgb(255, 0, 0));
}

// Transparent parts lie on white paper; a camera's portrait, stored on its
// side with an EXIF note (orientation 6: turn it clockwise), stands upright.
TEST_F(ConvertPicture, APictureIsReadAsItIsSeenOnWhitePaper) {
    QImage image(3, 1, QImage::Format_ARGB32);
    image.setPixel(0, 0, qRgba(255, 0, 0, 0));
    image.setPixel(1, 0, qRgba(255, 0, 0, 255));
    image.setPixel(2, 0, qRgba(0, 0, 0, 128));
    QString problem;
    const QImage flat = readPicture(picture(image), problem);
    ASSERT_FALSE(flat.isNull()) << problem.toStdString();
    EXPECT_EQ(flat.pixel(0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(flat.pixel(1, 0), qRgb(255, 0, 0));
    EXPECT_EQ(flat.pixel(2, 0), qRgb(127, 127, 127));

    QImage lying(30, 10, QImage::Format_RGB32);
    lying.fill(Qt::white);
    QByteArray jpeg = (picture(lying, "photo.jpg"), bytes("photo.jpg"));
    // APP1 "Exif": a big-endian TIFF header and one entry, Orientation (0112), SHORT, 1 value: 6.
    jpeg.insert(2, QByteArray::fromHex("FFE10022") + QByteArray("Exif\0\0", 6) +
                       QByteArray::fromHex("4D4D002A000000080001011200030000000100060000" "00000000"));
    QFile out(file("photo.jpg"));
    ASSERT_TRUE(out.open(QIODevice::WriteOnly) && out.write(jpeg) == jpeg.size());
    out.close();
    EXPECT_EQ(readPicture(out.fileName(), problem).size(), QSize(10, 30)) << problem.toStdString();
}

// The library reads only this form: Qt's own reader must find every pixel
// where it was, through the row padding of an odd width.
TEST_F(ConvertPicture, TheWorkingCopyIsABottomUpTrueColourBitmap) {
    QImage image(3, 2, QImage::Format_RGB32);
    for (int i = 0; i < 6; ++i) image.setPixel(i % 3, i / 3, qRgb(3 * i + 1, 3 * i + 2, 3 * i + 3));
    const QString path = file("copy.bmp");
    ASSERT_TRUE(writeBmp24(image, path));
    EXPECT_EQ(QImage(path).convertToFormat(QImage::Format_RGB32), image);
    const QByteArray b = bytes("copy.bmp");
    ASSERT_EQ(b.size(), 54 + 2 * 12);
    EXPECT_EQ(uint8_t(b[28]), 24);
    EXPECT_EQ(uint8_t(b[25]), 0);  // a positive height: the bottom row first
}

}  // namespace

// Pictures of every common format, drop and paste, the zoomable view and
// undo, offscreen with the real library and the real picture readers.
#include "fakes.hpp"
#include "mainshell.hpp"
#include "ui/picture/frmColorMap.hpp"
#include "ui/picture/frmColors.hpp"
#include "ui/picture/frmResize.hpp"
#include "core/pictureimport.hpp"
#include "ui/main/frmMain.hpp"

#include <QBuffer>
#include <QClipboard>
#include <QDir>
#include <QDropEvent>
#include <QWheelEvent>
#include <QImageReader>
#include <QImageWriter>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QUrl>
#include <gtest/gtest.h>

using namespace rastiv;
using namespace rastiv::testing;
using namespace testing_support;

namespace {

// Half opaque red, half fully transparent: the transparent half must print as paper.
QImage redAndClear(int w, int h) {
    QImage img(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) img.setPixel(x, y, x < w / 2 ? qRgba(255, 0, 0, 255) : qRgba(0, 0, 0, 0));
    return img;
}

QColor pixel(const QString& bmp, int x, int y) { return QImage(bmp).pixelColor(x, y); }

bool near(const QColor& a, const QColor& b, int tolerance) {
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

// A JPEG whose EXIF orientation says "turn 90 degrees clockwise to view"
// (value 6), as phones write them: the APP1 segment goes right after SOI.
QByteArray jpegWithOrientation(const QImage& img, uint16_t orientation) {
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    img.save(&buffer, "JPEG", 100);
    QByteArray tiff("II*\0\x08\0\0\0", 8);                          // little-endian, IFD at 8
    tiff += QByteArray("\x01\0", 2);                                 // one entry
    tiff += QByteArray("\x12\x01\x03\0\x01\0\0\0", 8);               // Orientation, SHORT, 1 value
    tiff += char(orientation), tiff += QByteArray(3, '\0');          // the value, padded
    tiff += QByteArray(4, '\0');                                     // no next IFD
    const QByteArray payload = QByteArray("Exif\0\0", 6) + tiff;
    const int length = payload.size() + 2;
    QByteArray app1("\xFF\xE1", 2);
    app1 += char(length >> 8), app1 += char(length & 0xFF);
    return jpeg.left(2) + app1 + payload + jpeg.mid(2);
}

// One red pixel: GIF89a, a two-entry colour table and the LZW codes
// clear, 0, end at two bits per pixel.  Qt reads GIF but cannot write it.
const QByteArray kRedGif("GIF89a\x01\x00\x01\x00\x80\x00\x00\xFF\x00\x00\x00\x00\x00"
                         ",\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00;",
                         35);

}  // namespace

TEST(PictureImport, EveryCommonFormatBecomesA24BitBmpOnWhitePaper) {
    const std::string where = TempDir().path("");
    Shell s;
    struct Row {
        const char* format;
        int tolerance;  // lossy formats may shift a colour a little
        bool alpha;
    } rows[] = {{"png", 0, true}, {"tiff", 0, true}, {"webp", 24, true}, {"jpeg", 24, false}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.format);
        ASSERT_TRUE(QImageWriter::supportedImageFormats().contains(r.format))
            << "no " << r.format << " support: install qt6-image-formats-plugins (scripts/setup.sh does)";
        const QString in = s.w.path("in/") + QStringLiteral("picture.") + QLatin1String(r.format);
        ASSERT_TRUE(redAndClear(8, 4).save(in, r.format, 100));
        const QString out = s.w.path("out/picture.bmp");
        const ImportedPicture p = importPicture(in, out);
        ASSERT_EQ(p.kind, ImportedPicture::Kind::Converted) << p.problem.toStdString();
        const Decoded d = decode(readFile(out.toStdString()));
        EXPECT_EQ(d.bits, 24u);
        EXPECT_EQ(d.width, 8u);
        EXPECT_EQ(d.height, 4u);
        EXPECT_TRUE(near(pixel(out, 1, 1), Qt::red, r.tolerance)) << pixel(out, 1, 1).name().toStdString();
        // JPEG has no transparency: its writer flattens on black, and that is what it holds.
        EXPECT_TRUE(near(pixel(out, 6, 2), r.alpha ? Qt::white : Qt::black, r.tolerance))
            << pixel(out, 6, 2).name().toStdString();
    }
    // GIF: read only, its first frame.
    const QString gif = s.w.path("in/red.gif");
    writeFile(gif.toStdString(), ByteVec(kRedGif.begin(), kRedGif.end()));
    const ImportedPicture p = importPicture(gif, s.w.path("out/gif.bmp"));
    ASSERT_EQ(p.kind, ImportedPicture::Kind::Converted) << p.problem.toStdString();
    EXPECT_EQ(pixel(p.path, 0, 0), QColor(Qt::red));

    // A BMP under any name stays the library's; a file nobody reads says why.
    const QString disguised = s.w.path("in/bitmap.png");
    palettePicture(3, 2).write(disguised.toStdString());
    const ImportedPicture bmp = importPicture(disguised, s.w.path("out/unused.bmp"));
    EXPECT_EQ(bmp.kind, ImportedPicture::Kind::Bitmap);
    EXPECT_EQ(bmp.path, disguised);
    EXPECT_FALSE(QFileInfo::exists(s.w.path("out/unused.bmp")));
    const QString junk = s.w.path("in/junk.jpg");
    writeFile(junk.toStdString(), ByteVec{0xFF, 0xD8, 'n', 'o', 'p', 'e'});
    const ImportedPicture refused = importPicture(junk, s.w.path("out/junk.bmp"));
    EXPECT_EQ(refused.kind, ImportedPicture::Kind::Unreadable);
    EXPECT_TRUE(refused.problem.startsWith(QStringLiteral("No picture reader accepts this file"))) << refused.problem.toStdString();
    EXPECT_FALSE(QFileInfo::exists(s.w.path("out/junk.bmp")));
}

TEST(PictureImport, AJpegIsTurnedUprightByItsExifOrientation) {
    Shell s;
    // Stored 16 wide and 8 high, black on the left; orientation 6 shows it
    // turned clockwise: 8 wide and 16 high, black at the top.
    QImage stored(16, 8, QImage::Format_RGB32);
    stored.fill(Qt::white);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) stored.setPixel(x, y, qRgb(0, 0, 0));
    const QString in = s.w.path("in/phone.jpg");
    QFile f(in);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(jpegWithOrientation(stored, 6));
    f.close();
    const ImportedPicture p = importPicture(in, s.w.path("out/phone.bmp"));
    ASSERT_EQ(p.kind, ImportedPicture::Kind::Converted) << p.problem.toStdString();
    const QImage upright(p.path);
    ASSERT_EQ(upright.size(), QSize(8, 16));
    EXPECT_TRUE(near(upright.pixelColor(4, 2), Qt::black, 40));
    EXPECT_TRUE(near(upright.pixelColor(4, 13), Qt::white, 40));
}

TEST(LoadPicture, APngTakesTheTrueColourPathAndNamesItselfInTheTitle) {
    Shell s;
    const QString png = s.w.path("in/logo.png");
    ASSERT_TRUE(redAndClear(40, 20).save(png));
    s.load(png);
    ASSERT_EQ(s.w.files.requests.size(), 1u);
    EXPECT_TRUE(s.w.files.requests[0].filter.startsWith(QStringLiteral("All pictures (*.bmp;*.png;")))
        << s.w.files.requests[0].filter.toStdString();
    EXPECT_TRUE(s.w.files.requests[0].filter.endsWith(QStringLiteral("|BMP file (*.bmp)|*.bmp|All Files (*.*)|*.*")));
    EXPECT_EQ(s.w.messages.boxes(),
              (std::vector<Box>{{"This bitmap has 24 bits/pixel.  The utility will convert this to 8 bits/pixel before "
                                "continuing.  This could take a few minutes.",
                                "Bitmap Translation Message", MsgIcon::Information}}));
    EXPECT_EQ(decode(s.working()).bits, 8u);
    EXPECT_EQ(s.main.image1->size(), QSize(40, 20));
    EXPECT_EQ(s.main.windowTitle(), QStringLiteral("logo.png[*] - Rastiv"));
    EXPECT_EQ(s.main.currentStep(), 2);
    EXPECT_EQ(s.main.lbPictureSize->text(), QStringLiteral("40 × 20 pixels, 5.0 × 2.5 mm on paper"));
    EXPECT_EQ(s.main.lbNextStep->text(), QStringLiteral("Next: Step 2, Re-size"));
    // The operator's file is never written; the program's own copy is its original.
    EXPECT_TRUE(s.main.picture().original.startsWith(s.w.env.workDir));
    EXPECT_EQ(decode(readFile(s.main.picture().original.toStdString())).bits, 24u);
    EXPECT_EQ(s.w.settings.read(Key::InitInBmpDir), s.w.path("in/"));

    // A file no reader takes gets the load error, with the reader's reason beneath.
    s.w.messages.shown.clear();
    const QString junk = s.w.path("in/junk.webp");
    writeFile(junk.toStdString(), ByteVec{'R', 'I', 'F', 'F', 0, 0});
    s.load(junk);
    ASSERT_EQ(s.w.messages.shown.size(), 1u);
    EXPECT_EQ(s.w.messages.shown[0].title, QStringLiteral("PIXMILL DLL Error"));
    EXPECT_TRUE(s.w.messages.shown[0].text.endsWith(QStringLiteral(" loading the bitmap.")));
    EXPECT_TRUE(s.w.messages.shown[0].details.contains(QStringLiteral("No picture reader accepts this file")))
        << s.w.messages.shown[0].details.toStdString();
    // The picture loaded before is still there, and so is its step.
    EXPECT_EQ(s.main.currentStep(), 2);
}

TEST(LoadPicture, DroppedPastedAndNamedPicturesLoadTheSameWay) {
    Shell s;
    const QString png = s.w.path("in/dropped.png");
    ASSERT_TRUE(redAndClear(10, 6).save(png));
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(png)});
    QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&s.main, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&s.main, &drop);
    EXPECT_EQ(s.main.windowTitle(), QStringLiteral("dropped.png[*] - Rastiv"));
    EXPECT_EQ(decode(s.working()).width, 10u);

    QGuiApplication::clipboard()->setImage(redAndClear(12, 7));
    s.main.mnuEditPaste->trigger();
    EXPECT_EQ(s.main.windowTitle(), QStringLiteral("Pasted picture[*] - Rastiv"));
    EXPECT_EQ(decode(s.working()).width, 12u);
    EXPECT_EQ(s.main.currentStep(), 2);

    // A recording named at start is never played, and nothing is opened.
    s.w.messages.shown.clear();
    s.main.loadFile(s.w.path("in/setup.CPB"));
    ASSERT_EQ(s.w.messages.shown.size(), 1u);
    EXPECT_TRUE(s.w.messages.shown[0].text.startsWith(QStringLiteral("setup.CPB is a batch file, not a picture")));
    EXPECT_EQ(decode(s.working()).width, 12u);
    EXPECT_TRUE(s.main.cmdLoad->isEnabled());

    s.main.loadFile(png);
    EXPECT_EQ(s.main.windowTitle(), QStringLiteral("dropped.png[*] - Rastiv"));
    EXPECT_EQ(decode(s.working()).width, 10u);
}

TEST(Undo, ResizeRotationAndMappingComeBackByteForByte) {
    Shell s;
    const QString in = s.w.path("in/wide.bmp");
    palettePicture(300, 100).write(in.toStdString());
    s.load(in);
    EXPECT_FALSE(s.main.mnuEditUndo->isEnabled());
    std::vector<ByteVec> states{s.working()};
    std::vector<int> steps{2};

    whenModal([&s](QDialog* d) {
        auto* dialog = qobject_cast<frmResize*>(d);
        ASSERT_NE(dialog, nullptr);
        EXPECT_FALSE(s.main.cmdLoad->isEnabled());
        dialog->tbWidth->setText(QStringLiteral("150"));
        dialog->cmdResize->click();
    });
    s.main.cmdResize->click();
    EXPECT_EQ(s.main.image1->size(), QSize(150, 50));
    EXPECT_TRUE(s.allEnabled());
    states.push_back(s.working()), steps.push_back(s.main.currentStep());
    s.main.cmdRotLeft->click();
    states.push_back(s.working()), steps.push_back(s.main.currentStep());
    whenModal([](QDialog* d) {
        auto* colours = qobject_cast<frmColors*>(d);
        ASSERT_NE(colours, nullptr);
        whenModal<frmColorMap>([](frmColorMap* mapping) {
            for (int i = 0; i < 4; ++i) {  // everything black
                mapping->UserColor_MouseDown(i);
                mapping->MapColor_MouseUp(0);
            }
            mapping->cmdMap_Click();
        });
        colours->cmdSetUpRemap->click();
    });
    s.main.cmdColor->click();
    states.push_back(s.working()), steps.push_back(s.main.currentStep());
    ASSERT_TRUE(s.w.messages.shown.empty()) << s.w.messages.shown[0].text.toStdString();
    ASSERT_EQ(steps, (std::vector<int>{2, 3, 3, 4}));
    for (size_t i = 1; i < states.size(); ++i) ASSERT_NE(states[i], states[i - 1]) << i;
    const ColourSession mapped = s.main.picture().colours;

    for (int i = 2; i >= 0; --i) {
        SCOPED_TRACE(i);
        s.main.mnuEditUndo->trigger();
        EXPECT_EQ(s.working(), states[size_t(i)]);
        EXPECT_EQ(s.main.currentStep(), steps[size_t(i)]);
        EXPECT_EQ(*s.main.picture().width, decode(states[size_t(i)]).width);
    }
    EXPECT_FALSE(s.main.mnuEditUndo->isEnabled());
    for (size_t i = 1; i < states.size(); ++i) {
        SCOPED_TRACE(i);
        s.main.mnuEditRedo->trigger();
        EXPECT_EQ(s.working(), states[i]);
        EXPECT_EQ(s.main.currentStep(), steps[i]);
    }
    EXPECT_EQ(s.main.picture().colours, mapped);
    EXPECT_FALSE(s.main.mnuEditRedo->isEnabled());

    // A new change after an undo drops what could have been redone.
    s.main.mnuEditUndo->trigger();
    s.main.cmdRotRight->click();
    EXPECT_FALSE(s.main.mnuEditRedo->isEnabled());
    EXPECT_TRUE(s.main.mnuEditUndo->isEnabled());
}

TEST(Undo, KeepsManyStepsAndAlwaysThePictureAsLoaded) {
    Shell s;
    const QString in = s.w.path("in/small.bmp");
    palettePicture(5, 3).write(in.toStdString());
    s.load(in);
    const ByteVec loaded = s.working();
    const int turns = EditHistory::kSteps + 10;
    for (int i = 0; i < turns; ++i) s.main.cmdRotLeft->click();
    EXPECT_EQ(s.main.history().size(), size_t(EditHistory::kSteps) + 1);
    int undone = 0;
    while (s.main.mnuEditUndo->isEnabled()) {
        s.main.mnuEditUndo->trigger();
        ++undone;
    }
    EXPECT_EQ(undone, EditHistory::kSteps);
    EXPECT_GE(undone, 20);
    EXPECT_EQ(s.working(), loaded);
    // Only the kept states stay on disk.
    const QStringList kept = QDir(s.w.env.workDir).entryList({QStringLiteral("undo-*.bmp")});
    EXPECT_EQ(kept.size(), EditHistory::kSteps + 1);
}

TEST(View, ZoomStaysWithinItsLimitsAndFitShowsTheWholePicture) {
    Shell s;
    const QString in = s.w.path("in/long.bmp");
    palettePicture(200, 1000).write(in.toStdString());
    s.load(in);
    EXPECT_EQ(s.main.image1->size(), QSize(200, 1000));
    EXPECT_EQ(s.main.zoom(), 1.0);

    s.main.zoomBy(1e6);
    EXPECT_EQ(s.main.zoom(), frmMain::kMaxZoom);
    EXPECT_EQ(s.main.image1->size(), QSize(3200, 16000));
    s.main.zoomBy(1e-9);
    EXPECT_EQ(s.main.zoom(), frmMain::kMinZoom);
    EXPECT_EQ(s.main.lbZoom->text(), QStringLiteral("6%"));

    // Ctrl with the wheel zooms; the wheel alone scrolls.
    s.main.mnuViewActual->trigger();
    QWidget* viewport = s.main.picArea->viewport();
    const auto wheel = [viewport](int delta, Qt::KeyboardModifiers keys) {
        QWheelEvent e(QPointF(10, 10), viewport->mapToGlobal(QPointF(10, 10)), {}, QPoint(0, delta), Qt::NoButton,
                      keys, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(viewport, &e);
    };
    wheel(120, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(s.main.zoom(), 1.25);
    wheel(-120, Qt::ControlModifier);
    EXPECT_EQ(s.main.zoom(), 1.0);
    wheel(-120, Qt::NoModifier);
    EXPECT_EQ(s.main.zoom(), 1.0);
    EXPECT_GT(s.main.picArea->verticalScrollBar()->value(), 0);

    // Fit: the whole of a tall picture in view, and it refits as the window grows.
    s.main.mnuViewFit->trigger();
    const QSize room = s.main.picArea->maximumViewportSize();
    EXPECT_LE(s.main.image1->height(), room.height());
    EXPECT_GE(s.main.image1->height(), room.height() - 1);
    s.main.resize(s.main.width() + 200, s.main.height() + 300);
    EXPECT_GE(s.main.image1->height(), s.main.picArea->maximumViewportSize().height() - 1);
    EXPECT_GT(s.main.image1->height(), room.height());
    // Fit never enlarges a picture smaller than the view.
    palettePicture(20, 10).write(in.toStdString());
    s.load(in);
    EXPECT_EQ(s.main.image1->size(), QSize(20, 10));
}

TEST(View, TheWindowGrowsWithTheStepsInPlaceAndTheToolsAtTheRightEdge) {
    Shell s;
    const QRect load = s.main.cmdLoad->geometry(), print = s.main.cmdPrint->geometry();
    const QSize area = s.main.picArea->size();
    s.main.resize(s.main.width() + 150, s.main.height() + 80);
    EXPECT_EQ(s.main.cmdLoad->geometry(), load);
    EXPECT_EQ(s.main.cmdPrint->geometry(), print.translated(150, 0));
    EXPECT_EQ(s.main.picArea->size(), area + QSize(150, 80));
    EXPECT_LT(s.main.picArea->geometry().right(), s.main.Shape2->x());
}

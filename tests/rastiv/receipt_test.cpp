// The Virtual Printer window: it opens with the first output, shows, saves
// and clears the receipt, zooms, and prints what a till sends it over TCP.
// What the receipt engine draws is its own tests' business.
#include <QAbstractButton>
#include <QApplication>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include "fakes.hpp"
#include "ui/printer/frmVirtualPrinter.hpp"
#include "ui/printer/frmComm.hpp"
#include "core/portdevices.hpp"
#include "receipt/receiptrenderer.hpp"
#include "link/virtualprinter.hpp"

using namespace rastiv;
using namespace rastiv::testing;
using namespace testing_support;

namespace {

constexpr int kWidth = ReceiptRenderer::kWidth;

// A plane of `size` bytes, zero but for the listed (index, value) pairs.
QByteArray plane(std::initializer_list<std::pair<int, uint8_t>> set, int size = 72) {
    QByteArray p(size, '\0');
    for (const auto& [at, value] : set) p[at] = char(value);
    return p;
}

// One text line of the receipt, cell by cell: '#' where a 12 x 24 cell has
// black dots, 'r' where it has highlight dots, '.' where it is white.
std::string inkMap(const QImage& receipt, int top) {
    std::string cells(ReceiptRenderer::kColumns, '.');
    for (int y = top; y < top + ReceiptRenderer::kLineHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const int dot = receipt.pixelIndex(x, y);
            char& cell = cells[size_t(x / ReceiptRenderer::kCellWidth)];
            if (dot == ReceiptRenderer::Highlight) cell = 'r';
            if (dot == ReceiptRenderer::Black && cell == '.') cell = '#';
        }
    return cells;
}

const QByteArray kLogoDefinition5 =  // two-colour logo 5 of 8 x 8 dots
    hex("1D 22 01 1D 23 05 1D 84 02 01 01") +
    hex("81 01") +          // row 0: dot 0 highlight (ink only), dot 7 black (both planes)
    hex("00 00 00 00 00 00 00 00 00 00 00 00") +
    hex("10 00");           // row 7: dot 3 highlight
const QByteArray kPrintLogo5 = hex("1D 23 05 1D 2F 00");

// A world with a virtual printer connected through the communication dialog
// as the program makes it.
struct Paper {
    World w;
    RecordingWorkflow main{w.picture};
    frmComm comm{w.env, main};

    // The connection test prints nothing; a first line feed opens the window.
    explicit Paper(bool firstLine = true) {
        w.g.gScreenRed = true;
        setPortDevice(w.settings, 0, QString::fromLatin1(kVirtualPrinterDevice));
        comm.cmdConnect_Click();
        EXPECT_TRUE(w.link.printerAnswering());
        if (firstLine) w.link.SendData(QByteArray("\n"));
    }
    frmVirtualPrinter* window() const {
        for (QWidget* t : QApplication::topLevelWidgets())
            if (auto* f = qobject_cast<frmVirtualPrinter*>(t); f && t->isVisible()) return f;
        return nullptr;
    }
    QImage receiptShown() const {
        frmVirtualPrinter* f = window();
        return f ? f->imReceipt->grab().toImage() : QImage();
    }
};

TEST(VirtualPrinterWindow, OpensWithTheFirstOutputAndGrowsWithEveryByteSent) {
    Paper p(false);
    // The window is there from the connection on; the connection test's
    // query (ESC v and a line feed) feeds no paper.
    frmVirtualPrinter* f = p.window();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->imReceipt->height(), 0);
    p.w.link.SendData(QByteArray("\n"));
    EXPECT_EQ(f->windowTitle(), "Virtual Printer");
    EXPECT_EQ(f->imReceipt->size(), QSize(kWidth, 24));
    EXPECT_TRUE(f->cmdSaveImage->isEnabled());

    f->close();
    EXPECT_EQ(p.window(), nullptr);
    p.w.link.SendData(hex("1F 03 16 02 32 19"));  // nothing printed: the window stays closed
    EXPECT_EQ(p.window(), nullptr);
    p.w.link.SendData(hex("1D 82") + plane({{0, 0xFF}}));
    ASSERT_EQ(p.window(), f);  // the same window again, with everything printed so far
    EXPECT_EQ(f->imReceipt->height(), 25);

    p.w.g.gScreenRed = false;  // the screen colour follows into the next output
    // A two-colour line, ink plane first: ink alone is the highlight, black wins over it.
    p.w.link.SendData(hex("1D 83") + plane({{0, 0xC0}}) + plane({{0, 0x40}}));
    const QImage shown = p.receiptShown();
    EXPECT_EQ(shown.pixel(0, 24), qRgb(0, 0, 0));
    EXPECT_EQ(shown.pixel(0, 25), qRgb(0, 0, 255));
    EXPECT_EQ(shown.pixel(1, 25), qRgb(0, 0, 0));
    EXPECT_EQ(shown.pixel(2, 25), qRgb(255, 255, 255));
    // A full line of text, then ESC J: the one text line and the feed below it.
    p.w.link.SendData(QByteArray(ReceiptRenderer::kColumns, 'X') + hex("1B 4A 10"));
    EXPECT_EQ(f->imReceipt->height(), 26 + 24 + 16);
}

TEST(VirtualPrinterWindow, SaveImageWritesOnePixelPerDotAsPngAndClearEmptiesTheReceipt) {
    Paper p;
    frmVirtualPrinter* f = p.window();
    ASSERT_NE(f, nullptr);
    p.w.link.SendData(kLogoDefinition5);
    p.w.link.SendData(kPrintLogo5);
    p.w.link.SendData(QByteArray("Sample Receipt Item  1\n"));

    const QString png = p.w.path("out/receipt.png");
    p.w.files.choose(png);
    f->cmdSaveImage->click();
    ASSERT_EQ(p.w.files.requests.size(), 1u);
    const FileRequest& r = p.w.files.requests[0];
    EXPECT_EQ(r.mode, FileRequest::Mode::Save);
    EXPECT_EQ(r.title, "Save Receipt Image");
    EXPECT_EQ(r.filter, "PNG image (*.png)|*.png");
    EXPECT_TRUE(r.askBeforeOverwrite);
    QImageReader reader(png);
    EXPECT_EQ(reader.format(), "png");
    const QImage saved = reader.read();
    ASSERT_EQ(saved.size(), QSize(kWidth, 24 + 8 + 24));
    EXPECT_EQ(saved.pixel(0, 24), qRgb(255, 0, 0));
    EXPECT_EQ(saved.pixel(7, 24), qRgb(0, 0, 0));
    EXPECT_EQ(saved.pixel(3, 31), qRgb(255, 0, 0));
    EXPECT_EQ(saved.pixel(7, 25), qRgb(255, 255, 255));
    const QImage indexed =
        saved.convertToFormat(QImage::Format_Indexed8, {qRgb(255, 255, 255), qRgb(0, 0, 0), qRgb(255, 0, 0)});
    EXPECT_EQ(inkMap(indexed, 32), "######.#######.####..#" + std::string(26, '.'));
    EXPECT_TRUE(p.w.messages.shown.empty());

    // Cancelled: nothing written.  A folder that is not there: told, nothing left behind.
    f->cmdSaveImage->click();
    p.w.files.choose(p.w.path("gone/receipt.png"));
    f->cmdSaveImage->click();
    ASSERT_EQ(p.w.messages.shown.size(), 1u);
    EXPECT_EQ(p.w.messages.shown[0].title, "Save Receipt Image");
    EXPECT_TRUE(p.w.messages.shown[0].text.contains(p.w.path("gone/receipt.png")));
    EXPECT_EQ(p.w.messages.shown[0].icon, MsgIcon::Exclamation);
    EXPECT_FALSE(QFileInfo::exists(p.w.path("gone")));

    f->cmdClear->click();
    EXPECT_EQ(f->imReceipt->height(), 0);
    EXPECT_FALSE(f->cmdSaveImage->isEnabled());
    EXPECT_FALSE(f->cmdClear->isEnabled());
    // The logo is still in the printer: right-justified (the digit '2'), then left after ESC @.
    p.w.link.SendData(hex("1B 61 32") + kPrintLogo5 + hex("1B 40") + kPrintLogo5);
    EXPECT_EQ(f->imReceipt->height(), 16);
    EXPECT_TRUE(f->cmdSaveImage->isEnabled());
    const QImage logos = p.receiptShown();
    EXPECT_EQ(logos.pixel(575, 0), qRgb(0, 0, 0));
    EXPECT_EQ(logos.pixel(7, 8), qRgb(0, 0, 0));
    p.w.link.SendData(hex("1D 40 31") + kPrintLogo5);  // until the flash is erased
    EXPECT_EQ(f->imReceipt->height(), 16);
}

TEST(VirtualPrinterWindow, ZoomsByButtonKeyAndCtrlWheelKeepsTheNewestOutputInViewAndClosesOnEscape) {
    Paper p;
    frmVirtualPrinter* f = p.window();
    ASSERT_NE(f, nullptr);
    f->activateWindow();
    for (int i = 0; i < 60; ++i) p.w.link.SendData(QByteArray("Sample Receipt Item\n"));
    const int length = 24 * 61;
    QScrollBar* bar = f->scrReceipt->verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());

    const auto ctrlWheel = [f](int delta) {
        QWheelEvent e({10, 10}, {10, 10}, {}, {0, delta}, Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(f->scrReceipt->viewport(), &e);
    };
    const struct {
        const char* what;
        std::function<void()> act;
        double zoom;
    } rows[] = {
        {"Zoom In", [&] { f->cmdZoomIn->click(); }, 1.5},
        {"Ctrl+Plus", [&] { QTest::keyClick(f, Qt::Key_Plus, Qt::ControlModifier); }, 2},
        {"Zoom Out", [&] { f->cmdZoomOut->click(); }, 1.5},
        {"Ctrl+Minus", [&] { QTest::keyClick(f, Qt::Key_Minus, Qt::ControlModifier); }, 1},
        {"Ctrl+wheel down", [&] { ctrlWheel(-120); }, 0.75},
        {"Ctrl+1", [&] { QTest::keyClick(f, Qt::Key_1, Qt::ControlModifier); }, 1},
        {"Ctrl+wheel up", [&] { ctrlWheel(120); }, 1.5},
    };
    for (const auto& r : rows) {
        r.act();
        EXPECT_DOUBLE_EQ(f->zoom(), r.zoom) << r.what;
        EXPECT_EQ(f->imReceipt->size(), QSize(qRound(kWidth * r.zoom), qRound(length * r.zoom)))
            << r.what;
        EXPECT_EQ(f->lblZoom->text(), QStringLiteral("%1%").arg(qRound(r.zoom * 100))) << r.what;
    }
    QTest::keyClick(f, Qt::Key_0, Qt::ControlModifier);
    EXPECT_LE(f->imReceipt->width(), f->scrReceipt->viewport()->width());
    EXPECT_GT(f->imReceipt->width(), f->scrReceipt->viewport()->width() - 4);

    bar->setValue(0);  // reading the top: new output does not pull the view away
    p.w.link.SendData(QByteArray("\n"));
    EXPECT_EQ(bar->value(), 0);
    bar->setValue(bar->maximum());
    p.w.link.SendData(QByteArray("\n"));
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_EQ(f->lblZoom->accessibleName(), "Zoom");  // not the bare figure
    // The window opened beside whatever had the keyboard, and Escape closes it.
    QApplication::setActiveWindow(f);
    QTest::keyClick(f, Qt::Key_Escape);
    EXPECT_FALSE(f->isVisible());
}

// A till on TCP prints on the same paper, in the colour of the paper type it
// sets, and has its status requests answered.
TEST(VirtualPrinterWindow, ListensForATillOnTcpUntilStopped) {
    Paper p;
    frmVirtualPrinter* f = p.window();
    ASSERT_NE(f, nullptr);
    f->tbListen->setText(QStringLiteral("127.0.0.1:0"));
    f->cmdListen->click();
    ASSERT_TRUE(f->listening()) << f->lblListen->text().toStdString();
    const quint16 port = quint16(f->lblListen->text().section(u':', -1).toUInt());
    const int till = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::connect(till, reinterpret_cast<sockaddr*>(&a), sizeof a);
    const QByteArray job = hex("1D 81 04 FF 1B 72 01") + "Till\n" + hex("10 04 01");
    QByteArray answer;
    for (int i = 0; i < 200 && answer.isEmpty(); ++i) {  // the window's event loop does the printing
        QTest::qWait(10);
        if (i == 5) {
            EXPECT_EQ(::write(till, job.constData(), size_t(job.size())), job.size());
        }
        char b[8];
        if (const ssize_t n = ::read(till, b, sizeof b); n > 0) answer.append(b, n);
    }
    ::close(till);
    EXPECT_EQ(answer, hex("12"));
    EXPECT_EQ(f->imReceipt->height(), 24 + 24);
    const QImage shown = p.receiptShown();
    int blue = 0;  // blue paper, though the screen is red
    for (int y = 24; y < 48; ++y)
        for (int x = 0; x < 48; ++x) blue += (shown.pixel(x, y) & 0xFFFFFF) == 0x0000FFu;
    EXPECT_GT(blue, 20);
    f->cmdListen->click();
    EXPECT_FALSE(f->listening());
    EXPECT_EQ(f->lblListen->text(), "Not listening");
}

}  // namespace

#include "link/receiptrenderer.hpp"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QImageWriter>
#include <QPainter>
#include <QSaveFile>
#include <algorithm>
#include <cstring>

namespace rastiv {

namespace {

constexpr int kPlaneBytes = ReceiptRenderer::kWidth / 8;  // one raster plane, 72 bytes

bool bitAt(QByteArrayView plane, int x) {
    return x / 8 < plane.size() && (static_cast<uint8_t>(plane[x / 8]) & (0x80 >> (x % 8)));
}

// The dot of one plane pair: set in the black plane it is black (the ink
// plane has it too), set in the ink plane alone it is the highlight colour.
ReceiptRenderer::Dot dotAt(QByteArrayView ink, QByteArrayView black, int x) {
    if (bitAt(black, x)) return ReceiptRenderer::Black;
    return bitAt(ink, x) ? ReceiptRenderer::Highlight : ReceiptRenderer::White;
}

// The largest fixed-pitch font whose characters fit a 12 x 24 cell, drawn
// without smoothing: a thermal dot is on or off.
QFont fittedFont() {
    QFont font(QStringLiteral("Monospace"));
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setStyleStrategy(QFont::NoAntialias);
    for (int px = ReceiptRenderer::kLineHeight; px > 6; --px) {
        font.setPixelSize(px);
        const QFontMetrics fm(font);
        if (fm.horizontalAdvance(QLatin1Char('W')) <= ReceiptRenderer::kCellWidth &&
            fm.height() <= ReceiptRenderer::kLineHeight)
            break;
    }
    return font;
}

}  // namespace

ReceiptRenderer::ReceiptRenderer() = default;

void ReceiptRenderer::feed(QByteArrayView bytes) {
    const int before = height();
    commands_.feed(bytes, [this](QByteArrayView unit) { obey(unit); });
    if (height() > before && grew) grew();
}

QImage ReceiptRenderer::receipt() const {
    if (dots_.empty()) return {};
    QImage image(kWidth, height(), QImage::Format_Indexed8);
    image.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0), highlight_.rgb()});
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(image.scanLine(y), dots_.data() + size_t(y) * kWidth, kWidth);
    return image;
}

void ReceiptRenderer::clear() {
    dots_.clear();
    dots_.shrink_to_fit();
}

void ReceiptRenderer::obey(QByteArrayView unit) {
    const auto at = [&](qsizetype i) { return i < unit.size() ? static_cast<uint8_t>(unit[i]) : 0; };
    if (unit.size() == 1) return text(at(0));
    switch (at(0) << 8 | at(1)) {
        case 0x1D83: return rasterLine(unit.sliced(2, kPlaneBytes), unit.sliced(2 + kPlaneBytes, kPlaneBytes));
        case 0x1D82: return rasterLine({}, unit.sliced(2, kPlaneBytes));
        case 0x1D84: return defineLogo(unit);
        case 0x1D23: selectedLogo_ = at(2); return;
        case 0x1D2F:
            if (const auto logo = logos_.find(selectedLogo_); logo != logos_.end()) printLogo(logo->second);
            return;
        case 0x1D40:  // 1D 40 31: the flash is erased, and every logo with it
            if (at(2) == 0x31) logos_.clear();
            return;
        case 0x1B4A:  // ESC J n: print what is pending, then feed n dots
            if (!line_.isEmpty()) printLine();
            return feedDots(at(2));
        case 0x1B61:  // ESC a n, n as a number or as its digit
            switch (at(2)) {
                case 0: case '0': align_ = Align::Left; break;
                case 1: case '1': align_ = Align::Centre; break;
                case 2: case '2': align_ = Align::Right; break;
                default: break;
            }
            return;
        case 0x1B40:  // ESC @: the printer starts afresh; its buffer is emptied
            line_.clear();
            align_ = Align::Left;
            return;
        default: return;
    }
}

void ReceiptRenderer::text(uint8_t byte) {
    if (byte == 0x0A) return printLine();
    if (byte < 0x20 || byte == 0x7F) return;  // other control bytes print nothing
    if (line_.size() == kColumns) printLine();  // a full line prints before the next character
    line_.append(char(byte));
}

void ReceiptRenderer::printLine() {
    const size_t top = dots_.size();
    feedDots(kLineHeight);
    const int left = alignedLeft(int(line_.size()) * kCellWidth);
    for (qsizetype i = 0; i < line_.size(); ++i) {
        const auto& cell = glyph(static_cast<uint8_t>(line_[i]));
        const size_t x0 = size_t(left + int(i) * kCellWidth);
        for (int y = 0; y < kLineHeight; ++y)
            for (int x = 0; x < kCellWidth; ++x)
                if (cell[size_t(y * kCellWidth + x)]) dots_[top + size_t(y) * kWidth + x0 + size_t(x)] = Black;
    }
    line_.clear();
}

void ReceiptRenderer::feedDots(int rows) { dots_.resize(dots_.size() + size_t(rows) * kWidth, White); }

void ReceiptRenderer::rasterLine(QByteArrayView ink, QByteArrayView black) {
    if (!line_.isEmpty()) printLine();
    const size_t top = dots_.size();
    feedDots(1);
    for (int x = 0; x < kWidth; ++x) dots_[top + size_t(x)] = dotAt(ink, black, x);
}

// 1D 84 kind X Y, then Y x 8 rows; each row is the X-byte ink plane and the
// X-byte black plane for kind 2, the black plane alone otherwise.
void ReceiptRenderer::defineLogo(QByteArrayView unit) {
    const int kind = static_cast<uint8_t>(unit[2]);
    const int bytesPerPlane = static_cast<uint8_t>(unit[3]);
    const int planes = kind == 2 ? 2 : 1;
    Logo logo;
    logo.width = bytesPerPlane * 8;
    logo.height = static_cast<uint8_t>(unit[4]) * 8;
    logo.dots.resize(size_t(logo.width) * size_t(logo.height));
    for (int y = 0; y < logo.height; ++y) {
        const QByteArrayView row = unit.sliced(5 + qsizetype(y) * bytesPerPlane * planes, bytesPerPlane * planes);
        const QByteArrayView ink = planes == 2 ? row.first(bytesPerPlane) : QByteArrayView();
        const QByteArrayView black = row.last(bytesPerPlane);
        for (int x = 0; x < logo.width; ++x) logo.dots[size_t(y) * logo.width + x] = dotAt(ink, black, x);
    }
    logos_[selectedLogo_] = std::move(logo);
}

void ReceiptRenderer::printLogo(const Logo& logo) {
    if (!line_.isEmpty()) printLine();
    // A logo wider than the paper loses its right-hand part.
    const int width = std::min(logo.width, kWidth);
    const int left = alignedLeft(width);
    for (int y = 0; y < logo.height; ++y) {
        const size_t top = dots_.size();
        feedDots(1);
        std::copy_n(logo.dots.begin() + ptrdiff_t(y) * logo.width, width, dots_.begin() + ptrdiff_t(top + left));
    }
}

int ReceiptRenderer::alignedLeft(int width) const {
    switch (align_) {
        case Align::Centre: return (kWidth - width) / 2;
        case Align::Right: return kWidth - width;
        case Align::Left: break;
    }
    return 0;
}

// The dots of one character cell, drawn once.  Fonts need a QGuiApplication;
// without one (a tool that did not make one) a character is a solid block, so
// that the layout still shows.
const std::array<uint8_t, ReceiptRenderer::kCellWidth * ReceiptRenderer::kLineHeight>& ReceiptRenderer::glyph(
    uint8_t ch) {
    auto& cached = glyphs_[ch];
    if (cached) return *cached;
    cached.emplace();
    auto& cell = *cached;
    cell.fill(White);
    if (ch == ' ') return cell;
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        for (int y = 6; y < 18; ++y)
            for (int x = 2; x < 10; ++x) cell[size_t(y * kCellWidth + x)] = Black;
        return cell;
    }
    if (!font_) font_ = fittedFont();
    QImage image(kCellWidth, kLineHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter p(&image);
        p.setFont(*font_);
        p.setPen(Qt::black);
        const QFontMetrics fm(*font_);
        const QString s = QChar::fromLatin1(char(ch));  // the byte as Latin-1
        const int x = std::max(0, (kCellWidth - fm.horizontalAdvance(s)) / 2);
        const int baseline = std::max(0, (kLineHeight - fm.height()) / 2) + fm.ascent();
        p.drawText(x, baseline, s);
    }
    for (int y = 0; y < kLineHeight; ++y)
        for (int x = 0; x < kCellWidth; ++x)
            if (qGray(image.pixel(x, y)) < 128) cell[size_t(y * kCellWidth + x)] = Black;
    return cell;
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

#include "receipt/receiptengine.hpp"

#include <utility>

#include "receipt/codepages.hpp"
#include "receipt/engineparts.hpp"

namespace rastiv {

void ReceiptEngine::Impl::reset() {
    style = {};
    codePage = 0;
    align = 0;
    lineSpacing = kDefaultLineSpacing;
    charSpacing = 0;
    leftMargin = 0;
    areaWidth = kPaperWidth;
    upsideDown = false;
    tabs.clear();
    tabsSet = false;
    hriPosition = 0;
    hriFontB = false;
    barHeight = 162;
    barWidth = 3;
    clearLine();
}

void ReceiptEngine::Impl::obey(const Unit& u) {
    if (self.unitSeen) self.unitSeen(u);
    if (u.unknown) {
        afterStatusQuery = false;
        return warn(u.offset, QStringLiteral("unknown command %1 skipped (%2 bytes)")
                                  .arg(QString::fromLatin1(u.bytes.toByteArray().toHex(' ').toUpper()))
                                  .arg(u.length));
    }
    if (u.oversize) {
        afterStatusQuery = false;
        return warn(u.offset, QStringLiteral("%1 of %2 bytes skipped: longer than any picture the printer takes")
                                  .arg(QString::fromLatin1(u.command->name))
                                  .arg(u.length));
    }
    if (over && (!u.command || u.command->pastCap == PastCap::Ignored)) return;
    if (!u.command) return text(u.byte());
    const bool statusQuery = u.command->id == Cmd::StatusQuery;
    command(u);
    afterStatusQuery = statusQuery;
    if (std::exchange(flashChanged, false) && flashEffect(u) != Flash::None && self.memoryChanged)
        self.memoryChanged();
}

void ReceiptEngine::Impl::text(uint8_t b) {
    // The connection test's query is ESC v and a line feed; that line
    // feed ends the query and feeds no paper.
    if (afterStatusQuery && b == 0x0A) return void(afterStatusQuery = false);
    afterStatusQuery = false;
    switch (b) {
        case 0x0A: return printLine(lineSpacing, false, true);
        case 0x09: return tab();
        case 0x0C: return printLine(0, true);  // page mode's form feed: the data waiting is printed
        default: break;
    }
    if (b < 0x20 || b == 0x7F) return;  // other control bytes print nothing
    character(decodeByte(codePage, b));
}

void ReceiptEngine::Impl::command(const Unit& u) {
    const uint8_t n = u.param(0);
    const auto on = [&] { return (n & 1) != 0; };
    switch (u.command->id) {
        case Cmd::Reset:
            clearLine();
            reset();
            return;
        case Cmd::PrintMode:
            style.fontB = n & 0x01;
            style.bold = n & 0x08;
            style.heightMul = n & 0x10 ? 2 : 1;
            style.widthMul = n & 0x20 ? 2 : 1;
            style.underline = n & 0x80 ? 1 : 0;
            return;
        case Cmd::CharacterSize:
            style.widthMul = ((n >> 4) & 7) + 1;
            style.heightMul = (n & 7) + 1;
            return;
        case Cmd::Bold: case Cmd::DoubleStrike: style.bold = on(); return;
        case Cmd::Italic: style.italic = on(); return;
        case Cmd::ItalicOn: case Cmd::ItalicOff: style.italic = u.command->id == Cmd::ItalicOn; return;
        case Cmd::Underline: style.underline = (n == 2 || n == '2') ? 2 : (n == 1 || n == '1') ? 1 : 0; return;
        case Cmd::Reverse: style.reverse = on(); return;
        case Cmd::FontSelect: style.fontB = n == 1 || n == '1'; return;
        case Cmd::PrintColour: style.highlight = n == 1 || n == 2 || n == '1' || n == '2'; return;
        case Cmd::UpsideDown: upsideDown = on(); return;
        case Cmd::CodePage:
            codePage = n;
            if (!codePageName(n)) warn(u.offset, QStringLiteral("code page %1 is not known: its upper half prints as \u25A1").arg(n));
            return;
        case Cmd::Justify:
            if (n <= 2) align = n;
            else if (n >= '0' && n <= '2') align = n - '0';
            return;
        case Cmd::CharSpacing: charSpacing = n; return;
        case Cmd::DefaultLineSpacing: lineSpacing = kDefaultLineSpacing; return;
        case Cmd::LineSpacing: lineSpacing = n; return;
        case Cmd::LeftMargin: leftMargin = n + u.param(1) * 256; return;
        case Cmd::PrintAreaWidth: areaWidth = n + u.param(1) * 256; return;
        case Cmd::AbsolutePosition: return movePen(n + u.param(1) * 256);
        case Cmd::RelativePosition: return movePen(penX + int16_t(uint16_t(n + u.param(1) * 256)));
        case Cmd::TabStops:
            tabs.clear();
            tabsSet = true;
            for (qsizetype i = 2; i + 1 < u.bytes.size(); ++i) tabs.push_back(static_cast<uint8_t>(u.bytes[i]));
            return;
        case Cmd::HorizontalStart: return;
        case Cmd::FeedDots: return printLine(n, true);
        case Cmd::FeedLines:  // as n line feeds
            if (n == 0) return printLine(0, true);
            for (int i = 0; i < n && !over; ++i) printLine(lineSpacing, false, true);
            return;
        case Cmd::PageMode:
            if (!warnedPageMode) warn(u.offset, QStringLiteral("page mode is drawn as standard mode"));
            warnedPageMode = true;
            return;
        case Cmd::PrintPageData: return printLine(0, true);
        case Cmd::Rotate90:
            if (n & 1 && !warnedRotation) warn(u.offset, QStringLiteral("characters turned 90 degrees are drawn upright"));
            warnedRotation = warnedRotation || (n & 1);
            return;
        case Cmd::ColumnImage: return columnImage(u);
        case Cmd::RasterImage: case Cmd::VariableRaster: return rasterImage(u);
        case Cmd::DefineBitImage:
            downloadedImage = Plane::columns(u.bytes.sliced(4), n * 8, u.param(1), kBlackDot);
            return;
        case Cmd::PrintBitImage: return printStored(u);
        case Cmd::GsFunction: {
            const QByteArrayView body = u.bytes.sliced(std::min<qsizetype>(u.bytes.size(), 5));
            if (n == 'L') return graphics(body, u.offset);
            if (n == 'k') return twoDimensional(body, u.offset);
            return;  // ( A test print, ( E settings, ( H, ( K, ( N...: nothing to draw
        }
        case Cmd::GsFunction32:
            if (n == 'L') return graphics(u.bytes.sliced(std::min<qsizetype>(u.bytes.size(), 7)), u.offset);
            return;
        case Cmd::EscFunction:
            if (n == 'A') noteIt(QStringLiteral("beep"));
            return;
        case Cmd::Beep: return noteIt(QStringLiteral("beep %1 times").arg(n));
        case Cmd::DrawerPulse:
            return noteIt(QStringLiteral("cash drawer kick on pin %1").arg((n & 1) ? 5 : 2));
        case Cmd::DleDc4:
            if (n == 1) noteIt(QStringLiteral("cash drawer kick on pin %1").arg((u.param(1) & 1) ? 5 : 2));
            return;
        case Cmd::DefineNvImages: {
            // FS q replaces every NV bit image; n times xL xH yL yH and the columns.
            const auto first = mem.nvGraphics.lower_bound(QByteArray("q")), last = mem.nvGraphics.upper_bound(QByteArray("q\xFF"));
            qint64 kept = 0;
            for (auto i = first; i != last; ++i) kept += i->second.size();
            if (mem.bytes() - kept + u.bytes.size() - 3 > PrinterMemory::kFlashBytes)
                return warn(u.offset, QStringLiteral("the flash is full: the NV bit images are not stored"));
            mem.nvGraphics.erase(first, last);
            qsizetype o = 3;
            for (int i = 1; i <= n && o + 4 <= u.bytes.size(); ++i) {
                const int xb = static_cast<uint8_t>(u.bytes[o]) + static_cast<uint8_t>(u.bytes[o + 1]) * 256;
                const int yb = static_cast<uint8_t>(u.bytes[o + 2]) + static_cast<uint8_t>(u.bytes[o + 3]) * 256;
                const qsizetype size = qsizetype(xb) * yb * 8;
                mem.nvGraphics[QByteArray("q") + char(i)] = u.bytes.sliced(o, std::min(u.bytes.size() - o, size + 4)).toByteArray();
                o += 4 + size;
            }
            flashWritten();
            return;
        }
        case Cmd::PrintNvImage: {
            const auto i = mem.nvGraphics.find(QByteArray("q") + char(n));
            if (i == mem.nvGraphics.end()) return warn(u.offset, QStringLiteral("NV bit image %1 is not defined").arg(n));
            const QByteArray& d = i->second;
            if (d.size() < 4) return warn(u.offset, QStringLiteral("NV bit image %1 is not usable").arg(n));
            const int xb = static_cast<uint8_t>(d[0]) + static_cast<uint8_t>(d[1]) * 256;
            const int yb = static_cast<uint8_t>(d[2]) + static_cast<uint8_t>(d[3]) * 256;
            const int m = u.param(1) & 3;
            return printPicture(Plane::columns(QByteArrayView(d).sliced(4), xb * 8, yb, kBlackDot, m & 1 ? 2 : 1, m & 2 ? 2 : 1),
                                u.offset);
        }
        case Cmd::HriPosition: hriPosition = n & 3; return;
        case Cmd::HriFont: hriFontB = n == 1 || n == '1'; return;
        case Cmd::BarcodeHeight: barHeight = std::max<int>(1, n); return;
        case Cmd::BarcodeWidth: barWidth = n; return;
        case Cmd::Barcode: return barcode(u);
        case Cmd::CutPaper:
            if (n == 65 || n == 66 || n == 97 || n == 98 || n == 103 || n == 104) {
                printLine(0, true);
                feedDots(u.param(1));
            }
            return cutPaper();
        case Cmd::FullCutOld: case Cmd::PartialCutOld: return cutPaper();

        // This family's own.
        case Cmd::RasterLine: case Cmd::TwoColourRasterLine: {
            const bool two = u.command->id == Cmd::TwoColourRasterLine;
            const QByteArrayView ink = two ? u.bytes.sliced(2, 72) : QByteArrayView();
            const QByteArrayView black = u.bytes.sliced(two ? 74 : 2, 72);
            if (lineHasContent || lineHasText) printLine(0, true);
            Bitmap row(kPaperWidth, 1);
            for (int x = 0; x < kPaperWidth; ++x)
                row.at(x, 0) = bit(black, x / 8, x % 8) ? kBlackDot : bit(ink, x / 8, x % 8) ? kHighlightDot : kWhiteDot;
            paperOut(row);
            return;
        }
        case Cmd::SelectLogo: selectedLogo = n; return;
        case Cmd::LogoDefinition: return defineLogo(u);
        case Cmd::EraseFlash:
            if (n == 0x31) {
                mem.logos.clear();
                mem.watermarks.clear();
                mem.nvGraphics.clear();
                flashWritten();
            }
            return;
        case Cmd::PaperType:
            mem.paperType = n;
            return flashWritten();
        case Cmd::DefineWatermark:
            mem.watermarks[u.param(2)] = {n, u.param(1), uint8_t(align)};
            return flashWritten();
        case Cmd::WatermarkSwitch:
            watermark.on = n == 1;
            watermark.number = u.param(1);
            watermark.start = receiptRows;
            return;
        case Cmd::MarginMessage:
            margin.on = n == 1 || n == 2;
            margin.side = n;
            margin.number = u.param(1);
            margin.start = receiptRows;
            return;
        case Cmd::StoreSettings: return flashWritten();
        case Cmd::LegacySetting: return legacySetting(u);
        case Cmd::TextSubstitution:
            if (n == 1 || n == 2) {
                mem.substitution[n] = uint16_t(u.param(1) | u.param(2) << 8);
                flashWritten();
            }
            return;

        // Nothing to draw: status requests (the emulator answers them),
        // the download's start, sensors, counters, macros, Kanji and page
        // mode settings.
        case Cmd::DleEot: case Cmd::DleEnq: case Cmd::UserCharsOn: case Cmd::DefineUserChars:
        case Cmd::ReturnHome: case Cmd::SelectPeripheral: case Cmd::CancelUserChar: case Cmd::ReverseFeedDots:
        case Cmd::CharacterSet: case Cmd::StandardMode: case Cmd::PageDirection: case Cmd::Unidirectional:
        case Cmd::PageArea: case Cmd::PanelAndSensors: case Cmd::ReverseFeedLines: case Cmd::PeripheralStatus:
        case Cmd::StatusQuery: case Cmd::KanjiMode: case Cmd::KanjiOn: case Cmd::KanjiUnderline:
        case Cmd::KanjiOff: case Cmd::DefineKanji: case Cmd::KanjiCode: case Cmd::KanjiSpacing:
        case Cmd::KanjiQuad: case Cmd::FsFunction: case Cmd::AbsoluteVertical: case Cmd::MacroToggle:
        case Cmd::HeadEnergy: case Cmd::PrinterId: case Cmd::MotionUnits: case Cmd::RelativeVertical:
        case Cmd::MacroRun: case Cmd::AutoStatus: case Cmd::Smoothing: case Cmd::CounterPrint:
        case Cmd::Counters: case Cmd::InkStatusBack: case Cmd::TransmitStatus: case Cmd::BeginDownload:
        case Cmd::Count:
            return;
    }
}

ReceiptEngine::ReceiptEngine(PaperSink& sink, PrinterMemory& memory)
    : d(std::make_unique<Impl>(*this, sink, memory)) {}

ReceiptEngine::~ReceiptEngine() = default;

void ReceiptEngine::feed(QByteArrayView bytes) {
    d->split.feed(bytes, [this](const Unit& u) { d->obey(u); });
}

void ReceiptEngine::finish() {
    if (d->split.midUnit()) {
        const CommandInfo* c = d->split.pendingCommand();
        d->warn(d->split.pendingOffset(),
                QStringLiteral("the stream ends inside %1; it was not printed")
                    .arg(c ? QString::fromLatin1(c->name) : QStringLiteral("a command")));
    }
    d->split = CommandSplitter();
    d->printLine(0, true);
    d->endCount();
}

void ReceiptEngine::cut() { d->cutPaper(); }

qint64 ReceiptEngine::receiptDots() const { return d->receiptRows + d->emptyLines; }
void ReceiptEngine::limitReceipt(qint64 dots) { d->maxDots = std::clamp<qint64>(dots, 1, kMaxReceiptDots); }
bool ReceiptEngine::overLength() const { return d->over; }
qint64 ReceiptEngine::offset() const { return d->split.offset(); }

}  // namespace rastiv

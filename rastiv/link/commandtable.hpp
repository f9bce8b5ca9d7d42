// Everything the printer reads, once: this family's own commands and the
// standard ESC/POS set that till software and point-of-sale libraries send.
// One record per command: its name, the bytes that start it, how its length
// is found, what it does, what the printer answers to it, whether it writes
// the flash, and whether a receipt past its length cap still obeys it.  The
// builders of commands.hpp take their bytes from here, the splitter
// (printercommands.hpp) its lengths, the virtual printer its answers and
// flash writes, and the receipt renderer all of it.
//
// How a stream is cut (the rule every reader shares):
//   - a byte other than 10 (DLE), 1B (ESC), 1C (FS), 1D (GS) and 1F is a unit
//     of its own: text, or a control byte such as LF, CR or HT;
//   - a command is its prefix, its fixed parameters and the data its length
//     rule adds; data is never read as commands;
//   - an unknown command (the prefix byte and a byte naming nothing here) is
//     skipped as those two bytes, an unknown 1F 03 setting as four, and the
//     reader reports it with its offset; a unit longer than kMaxUnitBytes is
//     skipped unread and reported.
#pragma once

#include <QByteArrayView>
#include <cstddef>
#include <cstdint>

namespace rastiv {

// How the bytes after the fixed parameters are counted.
enum class Data : uint8_t {
    None,
    Fixed72,         // 72 bytes: one 576-dot raster plane
    Fixed144,        // two planes
    Kanji72,         // FS 2: a 24 x 24 character, 72 bytes
    LogoDefinition,  // 1D 84 kind X Y: X * Y * 8 bytes per plane, kind planes
    ColumnImage,     // ESC * m nL nH: n columns of 1 byte (m 0, 1) or 3 (m 32, 33)
    Raster,          // m xL xH yL yH: x * y bytes
    BitImage,        // GS * x y: x * y * 8 bytes
    Length16,        // fn pL pH: p bytes
    Length32,        // fn p1 p2 p3 p4: p bytes
    NulTerminated,   // up to and with a 00 byte
    Barcode,         // GS k m: data and 00 for m 0..6; n and n bytes for m 65 and up
    UserCharacters,  // ESC & y c1 c2, then for each character x and y * x bytes
    NvImages,        // FS q n, then n times xL xH yL yH and x * y * 8 bytes
    DleDc4,          // DLE DC4 fn and the function's own parameters
    Cut,             // GS V m, and n for m 65, 66, 97, 98, 103, 104
    LegacyFunction,  // 1F 03 16 f: two parameters, three for the margin message (f 3)
};

// What the printer sends back when it obeys a command.
enum class Answer : uint8_t {
    None,
    RealTimeStatus,  // DLE EOT n: one status byte for n 1..4
    StatusByte,      // ESC v: this family's status byte
    DrawerStatus,    // ESC u: the drawer pin
    TransmitStatus,  // GS r: paper, drawer and ink
    AutoStatus,      // GS a: the four-byte status, once, when switched on
    PrinterId,       // GS I n: model, type, firmware or a name
};

// What a command does to the flash.
enum class Flash : uint8_t {
    None,
    Setting,     // changes a setting the flash keeps; written when GS FF stores the settings
    Writes,      // the printer writes its flash at once and drops its ready lines meanwhile
    ByFunction,  // some of its functions write (GS ( L and GS 8 L function 67, NV graphics)
};

// Whether a receipt past its length cap still obeys the command: nothing
// more is drawn until the cut, but what the flash keeps is still kept.
enum class PastCap : uint8_t { Ignored, Obeyed };

// One id per record, in the table's order.
enum class Cmd : uint8_t {
    // DLE: real-time, answered as soon as they arrive
    DleEot, DleEnq, DleDc4,
    // ESC
    PrintPageData, CharSpacing, PrintMode, AbsolutePosition, UserCharsOn, DefineUserChars, ColumnImage,
    Underline, DefaultLineSpacing, LineSpacing, ReturnHome, SelectPeripheral, CancelUserChar, Reset, TabStops,
    Bold, DoubleStrike, Italic, FeedDots, ReverseFeedDots, PageMode, FontSelect, CharacterSet, StandardMode,
    PageDirection, Unidirectional, Rotate90, PageArea, RelativePosition, Justify, PanelAndSensors, FeedLines,
    ReverseFeedLines, FullCutOld, PartialCutOld, DrawerPulse, PrintColour, CodePage, PeripheralStatus,
    StatusQuery, UpsideDown, EscFunction, Beep, ItalicOn, ItalicOff,
    // FS
    KanjiMode, KanjiOn, KanjiUnderline, KanjiOff, DefineKanji, KanjiCode, KanjiSpacing, KanjiQuad, PrintNvImage,
    DefineNvImages, FsFunction,
    // GS
    CharacterSize, AbsoluteVertical, GsFunction, DefineBitImage, PrintBitImage, GsFunction32, MacroToggle,
    Reverse, HeadEnergy, HriPosition, PrinterId, LeftMargin, MotionUnits, VariableRaster, HorizontalStart,
    CutPaper, PrintAreaWidth, RelativeVertical, MacroRun, AutoStatus, Smoothing, CounterPrint, HriFont,
    Counters, BarcodeHeight, InkStatusBack, Barcode, TransmitStatus, RasterImage, BarcodeWidth,
    // this family's own
    BeginDownload, SelectLogo, EraseFlash, PaperType, RasterLine, TwoColourRasterLine, LogoDefinition,
    DefineWatermark, WatermarkSwitch, MarginMessage, StoreSettings, LegacySetting, TextSubstitution,
    Count,
};

struct CommandInfo {
    Cmd id;
    const char* name;  // as the references write it: "GS v 0", "ESC !"
    uint8_t prefix[3];
    uint8_t prefixLength;
    uint8_t params;  // fixed parameter bytes after the prefix
    Data data;
    const char* what;
    Answer answer;
    Flash flash;
    PastCap pastCap;
};

// The record of a command.
const CommandInfo& commandInfo(Cmd id);

// The record whose prefix starts `start`.  Null when the bytes name no
// command, or when they do not tell yet (`more` is then true).
const CommandInfo* findCommand(QByteArrayView start, bool& more);

// The whole length of the command `info` that `unit` begins with: prefix,
// parameters and data; 0 while the bytes so far do not tell, or -k when they
// will not tell before k bytes are there (a definition of many characters
// or images, whose sizes stand between their data).
qsizetype commandLength(const CommandInfo& info, QByteArrayView unit);

// Longer units are skipped unread: a raster image of 20 m of paper is
// 11.5 MB, a length field can claim 4 GB.
inline constexpr qsizetype kMaxUnitBytes = qsizetype(16) << 20;

// Data ended by a 00 byte (tab stops, a barcode's digits) ends here at the
// latest.
inline constexpr qsizetype kMaxNulData = 256;

}  // namespace rastiv

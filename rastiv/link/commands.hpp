// Every command the program sends to the printer, once.  The sequences, the
// dialogs and the command-line tool build their bytes from these names; each
// command's prefix and its number of parameters come from the command table
// (commandtable.hpp), which the splitter and the printer's side read too.
#pragma once

#include <QByteArray>
#include <cstdint>
#include <initializer_list>

#include "link/commandtable.hpp"

namespace rastiv::cmd {

// Bytes as the printer's manual lists them.
inline QByteArray bytes(std::initializer_list<uint8_t> b) {
    QByteArray s;
    s.reserve(qsizetype(b.size()));
    for (uint8_t c : b) s += char(c);
    return s;
}

// Command `id` with its parameters, as many as the table gives it (checked:
// a builder that disagrees with the table would leave the printer waiting
// for a byte, or take the next command's first byte as its parameter).
inline QByteArray command(Cmd id, std::initializer_list<uint8_t> params = {}) {
    const CommandInfo& c = commandInfo(id);
    Q_ASSERT(params.size() == 0 || params.size() == c.params);
    QByteArray s(reinterpret_cast<const char*>(c.prefix), c.prefixLength);
    for (uint8_t p : params) s += char(p);
    return s;
}

// ---- Status ----
// ESC v: the printer answers with its status byte.
inline const QByteArray kStatusRequest = command(Cmd::StatusQuery);
// ESC v and a line feed: the connection test's query.
inline const QByteArray kStatusQuery = command(Cmd::StatusQuery) + bytes({0x0A});
// DLE EOT 1: the standard real-time status, for printers that answer only that.
inline const QByteArray kRealTimeStatus = command(Cmd::DleEot, {0x01});

// ---- Paper and page ----
// ESC J 255 then 19h: feeds a printed picture or sample past the tear bar.
inline const QByteArray kFeed = command(Cmd::FeedDots, {0xFF}) + bytes({0x19});
// ESC J n: feed n dots.
inline QByteArray feedDots(uint8_t n) { return command(Cmd::FeedDots, {n}); }
// ESC m: cut the paper.
inline const QByteArray kCut = command(Cmd::PartialCutOld);
// 19h: the byte the legacy sample receipt starts with.
inline const QByteArray kSampleStart = bytes({0x19});
// ESC @: back to the power-on text settings.
inline const QByteArray kReset = command(Cmd::Reset);
// ESC a n: justification, 0 left, 1 centred.
inline QByteArray justify(uint8_t n) { return command(Cmd::Justify, {n}); }
inline const QByteArray kLeftJustify = justify(0);
inline const QByteArray kCentre = justify(1);
// GS 81 n FF: paper type n (1 red and black, 2 blue and black).
inline QByteArray paperType(uint8_t n) { return command(Cmd::PaperType, {n, 0xFF}); }

// ---- Text attributes ----
// ESC ! m: print mode bits (01 compressed, 08 bold, 10 double high, 20 double wide, 80 underline).
inline QByteArray printMode(uint8_t m) { return command(Cmd::PrintMode, {m}); }
inline QByteArray bold(bool on) { return command(Cmd::Bold, {uint8_t(on)}); }            // ESC E n
inline QByteArray italic(bool on) { return command(Cmd::Italic, {uint8_t(on)}); }        // ESC I n
inline QByteArray underline(bool on) { return command(Cmd::Underline, {uint8_t(on)}); }  // ESC - n
inline QByteArray reverse(bool on) { return command(Cmd::Reverse, {uint8_t(on)}); }      // GS B n
// ESC r n: print colour, 0 black, 2 the paper's second colour.
inline QByteArray printColour(uint8_t n) { return command(Cmd::PrintColour, {n}); }

// ---- Pictures ----
// GS 82 and 72 bytes (black), GS 83 and 2 x 72 (ink, then black): one raster line.
inline const QByteArray kRasterLine = command(Cmd::RasterLine);
inline const QByteArray kTwoColourRasterLine = command(Cmd::TwoColourRasterLine);

// ---- Logos in the flash ----
// GS " 1: a logo definition follows (the download header).
inline const QByteArray kBeginDownload = command(Cmd::BeginDownload, {0x01});
// GS # n: select logo n; GS # 0 after a download or print deselects again
// and so ends a download.
inline QByteArray selectLogo(uint8_t n) { return command(Cmd::SelectLogo, {n}); }
inline const QByteArray kDeselect = selectLogo(0);
// GS 84 kind X Y, then the picture: a logo definition.
inline const QByteArray kLogoDefinition = QByteArray(reinterpret_cast<const char*>(commandInfo(Cmd::LogoDefinition).prefix), 2);
// GS / 0: print the selected logo once.
inline const QByteArray kPrintSelected = command(Cmd::PrintBitImage, {0x00});
// GS FF: the printer stores the settings sent before it in its flash.
inline const QByteArray kStoreSettings = command(Cmd::StoreSettings);
// GS @ 1: erase every logo and user character set in the flash.
inline const QByteArray kEraseFlash = command(Cmd::EraseFlash, {0x31});

// ---- Watermark and margin message ----
// ESC a 1 (centred) and GS 8B L S W in one string: the printer centres the
// watermark it makes from logo L with shading S as watermark W.
inline QByteArray defineWatermark(uint8_t logo, uint8_t shading, uint8_t watermark) {
    return kCentre + command(Cmd::DefineWatermark, {logo, shading, watermark});
}
// GS 8C on W: watermark W behind the following text, or off again.
inline QByteArray watermarkSwitch(bool on, uint8_t watermark) {
    return command(Cmd::WatermarkSwitch, {uint8_t(on ? 1 : 0), watermark});
}
// GS 99 side n 32h 00: logo n as a margin message on side 1 (left) or 2
// (right); side 0 switches it off.
inline QByteArray marginMessage(uint8_t side, uint8_t logo) { return command(Cmd::MarginMessage, {side, logo, 0x32, 0x00}); }

// ---- Legacy colorization: 1F 03 16 f and the function's parameters ----
inline QByteArray legacy(uint8_t function, std::initializer_list<uint8_t> parameters) {
    return command(Cmd::LegacySetting) + char(function) + bytes(parameters);
}
// Function 1: the top logo, printed `spacing` lines above the receipt.
inline QByteArray topLogoOn(uint8_t spacing) { return legacy(0x01, {spacing, 0x30}); }
inline const QByteArray kTopLogoOff = legacy(0x01, {0x00, 0x00});
// Function 2: the watermark.
inline const QByteArray kLegacyWatermarkOn = legacy(0x02, {0x32, 0x19});
inline const QByteArray kLegacyWatermarkOff = legacy(0x02, {0x00, 0x00});
// Function 3, with three parameters: the margin message.
inline const QByteArray kLegacyMarginOn = legacy(0x03, {0x01, 0x07, 0x01});
inline const QByteArray kLegacyMarginOff = legacy(0x03, {0x00, 0x00, 0x00});
// Function 4: the bottom logo (logo 243), alone or together with a margin
// message or a watermark.
inline const QByteArray kBottomLogoOn = legacy(0x04, {0x30, 0xA0});
inline const QByteArray kBottomLogoWithOthers = legacy(0x04, {0x01, 0xA0});
inline const QByteArray kBottomLogoOff = legacy(0x04, {0x00, 0x00});
// 1F 03 17 n A B: text attribute substitution n, with the 16 bits of the
// attributes to substitute (A, the low byte) and their replacement (B).
inline QByteArray textSubstitution(uint8_t n, uint16_t set) {
    return command(Cmd::TextSubstitution, {n, uint8_t(set & 0xFF), uint8_t(set >> 8)});
}

}  // namespace rastiv::cmd

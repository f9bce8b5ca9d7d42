// Every command the program sends to the printer, once.  The sequences, the
// dialogs and the command-line tool build their bytes from these names; the
// printer's side of the same table (how long each command is) is
// printercommands.hpp.
#pragma once

#include <QByteArray>
#include <cstdint>
#include <initializer_list>

namespace rastiv::cmd {

// Bytes as the printer's manual lists them.
inline QByteArray bytes(std::initializer_list<uint8_t> b) {
    QByteArray s;
    s.reserve(qsizetype(b.size()));
    for (uint8_t c : b) s += char(c);
    return s;
}

// ---- Status ----
// ESC v: the printer answers with its status byte.
inline const QByteArray kStatusRequest = bytes({0x1B, 0x76});
// ESC v and a line feed: the connection test's query.
inline const QByteArray kStatusQuery = bytes({0x1B, 0x76, 0x0A});

// ---- Paper and page ----
// ESC J 255 then 19h: feeds a printed picture or sample past the tear bar.
inline const QByteArray kFeed = bytes({0x1B, 0x4A, 0xFF, 0x19});
// ESC J n: feed n dots.
inline QByteArray feedDots(uint8_t n) { return bytes({0x1B, 0x4A, n}); }
// ESC m: cut the paper.
inline const QByteArray kCut = bytes({0x1B, 0x6D});
// 19h: the byte the legacy sample receipt starts with.
inline const QByteArray kSampleStart = bytes({0x19});
// ESC @: back to the power-on text settings.
inline const QByteArray kReset = bytes({0x1B, 0x40});
// ESC a n: justification, 0 left, 1 centred.
inline QByteArray justify(uint8_t n) { return bytes({0x1B, 0x61, n}); }
inline const QByteArray kLeftJustify = justify(0);
inline const QByteArray kCentre = justify(1);
// GS 81 n FF: paper type n (1 red and black, 2 blue and black).
inline QByteArray paperType(uint8_t n) { return bytes({0x1D, 0x81, n, 0xFF}); }

// ---- Text attributes ----
// ESC ! m: print mode bits (01 compressed, 08 bold, 10 double high, 20 double wide, 80 underline).
inline QByteArray printMode(uint8_t m) { return bytes({0x1B, 0x21, m}); }
inline QByteArray bold(bool on) { return bytes({0x1B, 0x45, uint8_t(on)}); }       // ESC E n
inline QByteArray italic(bool on) { return bytes({0x1B, 0x49, uint8_t(on)}); }     // ESC I n
inline QByteArray underline(bool on) { return bytes({0x1B, 0x2D, uint8_t(on)}); }  // ESC - n
inline QByteArray reverse(bool on) { return bytes({0x1D, 0x42, uint8_t(on)}); }    // GS B n
// ESC r n: print colour, 0 black, 2 the paper's second colour.
inline QByteArray printColour(uint8_t n) { return bytes({0x1B, 0x72, n}); }

// ---- Pictures ----
// GS 82 and 72 bytes (black), GS 83 and 2 x 72 (ink, then black): one raster line.
inline const QByteArray kRasterLine = bytes({0x1D, 0x82});
inline const QByteArray kTwoColourRasterLine = bytes({0x1D, 0x83});

// ---- Logos in the flash ----
// GS " 1: a logo definition follows (the download header).
inline const QByteArray kBeginDownload = bytes({0x1D, 0x22, 0x01});
// GS # n: select logo n; GS # 0 after a download or print deselects again
// and so ends a download.
inline QByteArray selectLogo(uint8_t n) { return bytes({0x1D, 0x23, n}); }
inline const QByteArray kDeselect = selectLogo(0);
// GS 84 kind X Y, then the picture: a logo definition.
inline const QByteArray kLogoDefinition = bytes({0x1D, 0x84});
// GS / 0: print the selected logo once.
inline const QByteArray kPrintSelected = bytes({0x1D, 0x2F, 0x00});
// GS FF: the printer stores the settings sent before it in its flash.
inline const QByteArray kStoreSettings = bytes({0x1D, 0xFF});
// GS @ 1: erase every logo and user character set in the flash.
inline const QByteArray kEraseFlash = bytes({0x1D, 0x40, 0x31});

// ---- Watermark and margin message ----
// ESC a 1 (centred) and GS 8B L S W in one string: the printer centres the
// watermark it makes from logo L with shading S as watermark W.
inline QByteArray defineWatermark(uint8_t logo, uint8_t shading, uint8_t watermark) {
    return kCentre + bytes({0x1D, 0x8B, logo, shading, watermark});
}
// GS 8C on W: watermark W behind the following text, or off again.
inline QByteArray watermarkSwitch(bool on, uint8_t watermark) {
    return bytes({0x1D, 0x8C, uint8_t(on ? 1 : 0), watermark});
}
// GS 99 side n 32h 00: logo n as a margin message on side 1 (left) or 2
// (right); side 0 switches it off.
inline QByteArray marginMessage(uint8_t side, uint8_t logo) { return bytes({0x1D, 0x99, side, logo, 0x32, 0x00}); }

// ---- Legacy colorization: 1F 03 16 f and the function's parameters ----
inline QByteArray legacy(uint8_t function, std::initializer_list<uint8_t> parameters) {
    return bytes({0x1F, 0x03, 0x16, function}) + bytes(parameters);
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
    return bytes({0x1F, 0x03, 0x17, n, uint8_t(set & 0xFF), uint8_t(set >> 8)});
}

}  // namespace rastiv::cmd

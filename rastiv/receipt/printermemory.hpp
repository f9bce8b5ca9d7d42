// What the printer keeps in its flash across receipts and power cycles: the
// stored logos, the watermarks made from them, the legacy colorization
// settings, the two text attribute substitution entries, the paper type and
// the NV graphics of the standard set.  `rastiv-cli serve --state FILE`
// keeps it in a file between runs.
#pragma once

#include <QByteArray>
#include <QColor>
#include <QString>
#include <array>
#include <cstdint>
#include <map>

namespace rastiv {

struct PrinterMemory {
    // The flash's size: a definition that does not fit is refused.
    static constexpr qint64 kFlashBytes = qint64(4) << 20;

    struct Watermark {
        uint8_t logo = 0;
        uint8_t shading = 80;  // 0 dark to 100 light
        uint8_t justify = 1;   // the justification when it was defined
    };
    std::map<uint8_t, QByteArray> logos;  // logo n: its definition, 1D 84 kind X Y and the planes
    std::map<uint8_t, Watermark> watermarks;
    // Legacy colorization functions 1 to 4 (top logo, watermark, margin
    // message, bottom logo): their parameter bytes, empty or zero when off.
    std::array<QByteArray, 5> legacy;
    std::array<uint16_t, 3> substitution{};  // entries 1 and 2: byte A, and byte B << 8
    int paperType = -1;                       // as GS 81 set it; -1 never set
    std::map<QByteArray, QByteArray> nvGraphics;  // key: the GS ( L / FS q graphics as sent

    bool legacyOn(int function) const;
    qint64 bytes() const;

    QByteArray toJson() const;
    // False with the reason when the text is not a memory this wrote.
    bool fromJson(const QByteArray& json, QString& problem);
};

// The second colour the paper prints: set by the paper type (1 red, 4 blue;
// 0 is monochrome paper, which prints it black), or `fallback` while the
// type says nothing of it (never set, or type 5, which covers red, green and
// blue papers).
QColor paperHighlight(int paperType, const QColor& fallback);

}  // namespace rastiv

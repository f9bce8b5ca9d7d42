#include "cli/convert.hpp"

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QMap>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/env.hpp"
#include "core/pixmill.hpp"
#include "core/pictureimport.hpp"
#include "core/picturepipeline.hpp"
#include "core/modUserGfx.hpp"

namespace rastiv::cli {

namespace {

// The program's wording: "Error #12 separating the photograph."
QString libraryError(int32_t status, const char* doing) {
    QString text = errorNumber(status);
    if (*doing) text += QLatin1Char(' ') + QString::fromLatin1(doing);
    return text;
}

// The finished working bitmap written as the output asks.
ConvertOutcome save(PixmillBinding& pm, const ConvertOptions& o, const QString& current, int32_t paper,
                    ConvertOutcome& out) {
    const auto refuse = [&out](const QString& why) {
        out.problem = why;
        return out;
    };
    // The printer files hold at most one printer line.
    const HeaderSize size = readHeaderSize(current);
    if (o.kind != OutputKind::Bmp && size.ok && size.width > kMaxPrintWidth)
        return refuse(QStringLiteral("The bitmap is too wide (%1 pixels; the printer prints at most %2): give a "
                                     "--width of %2 or less")
                          .arg(size.width)
                          .arg(kMaxPrintWidth));

    // A destination that cannot be made or written is the usual failure
    // here: say where, and the system's reason (the library leaves it in errno).
    int why = 0;
    const auto saveError = [&o, &why](int32_t r, const char* doing) {
        QString text = libraryError(r, doing);
        if ((r == PIXMILL_E_OPEN || r == PIXMILL_E_CREATE || r == PIXMILL_E_IO) && why != 0)
            text += QStringLiteral(" %1 could not be written: %2.").arg(o.output, QString::fromLocal8Bit(std::strerror(why)));
        else if (r == PIXMILL_E_OPEN || r == PIXMILL_E_CREATE)
            text += QStringLiteral(" %1 cannot be created: check that its folder exists and that you may write there.")
                        .arg(o.output);
        return text;
    };
    int32_t r = 0;
    errno = 0;
    switch (o.kind) {
        case OutputKind::Bmp:
            r = pm.SaveBMP(current, o.output);
            break;
        case OutputKind::Gfx:
            r = pm.SaveBMPAsGfx(current, o.output, paper);
            break;
        case OutputKind::Logo:
            r = pm.SaveBMPAsLogo(current, o.output, paper);
            break;
    }
    why = errno;
    if (r != 0) {
        switch (o.kind) {
            case OutputKind::Bmp: return refuse(QStringLiteral("Error saving bitmap file. ") + saveError(r, ""));
            case OutputKind::Gfx: return refuse(saveError(r, "saving the BMP file as a graphics (*.GFX) file."));
            case OutputKind::Logo: return refuse(saveError(r, "saving the BMP file as a logo (*.LGO) file."));
        }
    }
    out.ok = true;
    return out;
}

}  // namespace

QImage readPicture(const QString& path, QString& problem) {
    QImageReader reader(path);
    // A photograph taken on its side is stored on its side with a note of
    // how to hold it; the printer should get it the way it is seen.
    reader.setAutoTransform(true);
    QImage image = reader.read();
    if (image.isNull()) {
        problem = QStringLiteral("%1 cannot be read as a picture: %2").arg(path, reader.errorString());
        return {};
    }
    // Transparent parts print as the paper they lie on.
    return onWhitePaper(image);
}

ConvertOutcome convertPicture(PixmillBinding& pm, const ConvertOptions& o, const QString& work,
                              const ConvertWatch& watch) {
    ConvertOutcome out;
    const auto refuse = [&out](const QString& why) {
        out.problem = why;
        return out;
    };
    // Between the steps: how far the work is.
    const auto reached = [&](int percent) {
        if (watch.progress) watch.progress(percent);
    };
    // Checked before any work, so that a mistake costs nothing.
    const ColourInputs inputs = readColourInputs(o.colours, o.speed);
    switch (inputs.refusal) {
        case ColourInputs::Refusal::None:
            break;
        case ColourInputs::Refusal::SpeedTooHigh:
            return refuse(QStringLiteral("The maximum value for the color speed is 10000"));
        case ColourInputs::Refusal::SpeedTooLow:
            return refuse(QStringLiteral("The minimum value for the color speed is 1"));
        case ColourInputs::Refusal::TooFewColours:
            return refuse(QStringLiteral("The minimum value for the number of user colors is 1"));
        case ColourInputs::Refusal::TooManyColours:
            return refuse(QStringLiteral("The maximum value for the number of user colors is 9"));
    }
    if (o.width && (*o.width < kMinResizeWidth || *o.width > int(kMaxPrintWidth)))
        return refuse(QStringLiteral("The width must be from %1 to %2 pixels, not %3")
                          .arg(kMinResizeWidth)
                          .arg(kMaxPrintWidth)
                          .arg(*o.width));
    if (o.rotate != 0 && o.rotate != 90 && o.rotate != -90)
        return refuse(QStringLiteral("A picture turns by +90 or -90 degrees, not %1").arg(o.rotate));

    QString problem;
    reached(0);
    QImage picture = readPicture(o.input, problem);
    if (picture.isNull()) return refuse(problem);
    reached(10);

    // The working files, named as the program names them in its folder.
    const QString original = QDir(work).filePath(QStringLiteral("original.bmp"));
    const QString current = QDir(work).filePath(QStringLiteral("tmpfile.bmp"));
    const int32_t paper = paperKindOf(o.highlight);
    if (o.photo) {
        // A photograph is turned and scaled in full colour, averaging the
        // pixels it shrinks, before its tones become dots.
        if (o.rotate != 0) picture = picture.transformed(QTransform().rotate(o.rotate));
        if (o.width) picture = picture.scaledToWidth(*o.width, Qt::SmoothTransformation);
    }
    if (QString why; !writeBmp24(picture, original, &why))
        return refuse(QStringLiteral("The working copy of the picture cannot be written in %1: %2").arg(work, why));
    reached(20);
    if (o.photo) {
        const SeparationSettings& f = *o.photo;
        if (const int32_t r = pm.SeparateBitmap(original, current, paper, int32_t(f.method), f.brightness, f.contrast,
                                                f.gamma, f.sharpen);
            r != 0)
            return refuse(libraryError(r, "separating the photograph."));
        reached(90);
        return save(pm, o, current, paper, out);
    }

    // Loading: a 24-bit picture becomes the 8-bit working bitmap.
    if (!needsConversion(pm, original))
        return refuse(QStringLiteral("The image library does not take the working copy as a 24-bit bitmap (%1)")
                          .arg(pm.describe()));
    if (const StepResult r = loadWorkingCopy(pm, original, current, true); !r.ok()) return refuse(stepError(r));
    reached(40);

    // Rotate: "+90" clockwise, "-90" anticlockwise.
    if (o.rotate != 0) {
        const int32_t direction = o.rotate > 0 ? PIXMILL_TURN_CLOCKWISE : PIXMILL_TURN_ANTICLOCKWISE;
        if (const StepResult r = rotateWorkingCopy(pm, current, work, direction); !r.ok()) return refuse(stepError(r));
    }
    if (o.width) {
        if (const StepResult r = resizeWorkingCopy(pm, current, work, *o.width); !r.ok()) return refuse(stepError(r));
    }

    // Colour translation, then a rendering for every colour left.  A
    // picture too wide for the printer files is refused before this work.
    if (o.kind != OutputKind::Bmp) {
        const HeaderSize size = readHeaderSize(current);
        if (size.ok && size.width > kMaxPrintWidth) return save(pm, o, current, paper, out);
    }
    // The translation ends by the time its threshold passes 30000: its share
    // of the bar follows the threshold.
    reached(45);
    TranslationHooks hooks;
    hooks.progress = [&](int, int32_t threshold) {
        if (watch.progress) watch.progress(45 + 40 * std::min(threshold, 30000) / 30000);
    };
    const Translation run = translateColours(pm, current, inputs.colours, inputs.speed, hooks);
    if (run.error != 0) return refuse(libraryError(run.error, "modifying colors."));
    reached(85);

    std::vector<ColourMapping> mapping;
    QStringList unmapped;
    QMap<uint32_t, int32_t> chosen;
    if (o.map)
        for (const MapLine& l : *o.map) chosen.insert(l.colour, l.code);
    for (const ImageColour& c : run.colours) {
        const int32_t code = o.map ? chosen.value(c.colour, 0) : nearestRendering(c.colour, o.highlight);
        if (code == 0) unmapped << mapFileLine(c, nearestRendering(c.colour, o.highlight));
        mapping.push_back({c.colour, code});
        out.mapping.push_back({c, code});
    }
    if (!unmapped.isEmpty())
        return refuse(QStringLiteral("The map file gives no printer colour for %1 of the picture's colours; these "
                                     "lines, with the nearest renderings, would:\n%2")
                          .arg(unmapped.size())
                          .arg(unmapped.join(QLatin1Char('\n'))));
    if (const int32_t r = applyColourMapping(pm, current, mapping, highlightValue(o.highlight), paper); r != 0) {
        return refuse(libraryError(r, "mapping colors."));
    }
    pm.CleanBMP(current);
    reached(95);
    return save(pm, o, current, paper, out);
}

}  // namespace rastiv::cli

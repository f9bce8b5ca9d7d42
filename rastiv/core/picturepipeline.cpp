#include "core/picturepipeline.hpp"

#include "core/env.hpp"
#include "core/pixmill.hpp"

namespace rastiv {

namespace {

QString inFolder(const QString& work, const char* name) { return work + QStringLiteral("/") + QLatin1String(name); }

StepResult stoppedAt(int32_t status, PictureStage stage) { return {status, stage}; }

}  // namespace

QString stepError(const StepResult& result) {
    const char* doing = "";
    switch (result.stage) {
        case PictureStage::Convert: doing = "converting the bitmap from 24 to 8 bits/pixel."; break;
        case PictureStage::Load: doing = "loading the bitmap."; break;
        case PictureStage::CopyForRotation: doing = "copying the bitmap prior to rotation."; break;
        case PictureStage::Rotate: doing = "rotating the bitmap."; break;
        case PictureStage::Stretch: doing = "stretching the bitmap."; break;
    }
    return errorNumber(result.status) + QLatin1Char(' ') + QLatin1String(doing);
}

bool needsConversion(PixmillBinding& pm, const QString& original) { return pm.Is24BitsPerPixel(original) != 0; }

StepResult loadWorkingCopy(PixmillBinding& pm, const QString& original, const QString& current, bool convert) {
    if (convert) return stoppedAt(pm.Convert24to8Bits(original, current), PictureStage::Convert);
    return stoppedAt(pm.StretchBitmap(0, current, original), PictureStage::Load);
}

StepResult rotateWorkingCopy(PixmillBinding& pm, const QString& current, const QString& work, int32_t direction) {
    // The library turns from one file into another: the working bitmap is
    // copied aside first and turned back into its own name.
    const QString copy = inFolder(work, "tmprot.bmp");
    if (const int32_t r = pm.StretchBitmap(0, copy, current); r != 0) return stoppedAt(r, PictureStage::CopyForRotation);
    return stoppedAt(pm.RotateBitmap(copy, current, direction), PictureStage::Rotate);
}

StepResult resizeWorkingCopy(PixmillBinding& pm, const QString& current, const QString& work, int32_t width) {
    const QString copy = inFolder(work, "tmpstretch.bmp");
    int32_t r = pm.StretchBitmap(0, copy, current);
    if (r == 0) r = pm.StretchBitmap(width, current, copy);
    return stoppedAt(r, PictureStage::Stretch);
}

}  // namespace rastiv

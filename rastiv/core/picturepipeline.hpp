// The working copy's steps, the same library calls in the same order
// whichever way the work is asked for: the dialogs and the command-line tool
// both make a picture ready for the printer through these.  Each step says
// what happened; showing it (a box, a line on stderr) is the caller's part.
#pragma once

#include <QString>
#include <cstdint>

namespace rastiv {

class PixmillBinding;

// The widest picture the printer prints in one line, and the narrowest a
// picture is resized to.
inline constexpr uint32_t kMaxPrintWidth = 576;
inline constexpr int32_t kMinResizeWidth = 10;

// Where a step stopped.
enum class PictureStage {
    Convert,           // the 24-bit picture to the 8-bit working bitmap
    Load,              // the palette picture copied into the working bitmap
    CopyForRotation,
    Rotate,
    Stretch,
};

// The library's status (0: done) and, when not done, the stage it came from.
struct StepResult {
    int32_t status = 0;
    PictureStage stage = PictureStage::Load;
    bool ok() const { return status == 0; }
};

// The operator's wording of a failed step: "Error #12 rotating the bitmap."
QString stepError(const StepResult& result);

// A picture of 24 bits per pixel comes in by conversion to 8 bits per pixel;
// any other bitmap the library reads is copied as it is.
bool needsConversion(PixmillBinding& pm, const QString& original);

// Makes the working bitmap `current` from the operator's picture.
StepResult loadWorkingCopy(PixmillBinding& pm, const QString& original, const QString& current, bool convert);

// Turns the working bitmap a quarter (a PixmillDirection), from a copy in
// the folder `work`.
StepResult rotateWorkingCopy(PixmillBinding& pm, const QString& current, const QString& work, int32_t direction);

// Scales the working bitmap to `width` pixels, the height alike, from a copy
// in the folder `work`.
StepResult resizeWorkingCopy(PixmillBinding& pm, const QString& current, const QString& work, int32_t width);

}  // namespace rastiv

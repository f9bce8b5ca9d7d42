// The program's rules for numbers written as text and text read as numbers.
#pragma once

#include <QString>
#include <QStringView>
#include <cstdint>

namespace rastiv {

// A non-negative number gets one leading blank where the minus sign would be
// (" 240", "-5"); settings, labels and messages all use this form.
QString numToText(int64_t n);

// The leading number of the text: blanks and tabs before it are skipped, then
// an optional sign, digits, an optional fraction and an optional exponent.
// Text that does not start with a number reads as 0.  Overlong digit runs
// saturate to +/-infinity rather than fail, so callers clamp.
double leadingNumber(QStringView text);

// Rounds to the nearest whole number, halves to the even neighbour
// (2.5 -> 2, 3.5 -> 4, -2.5 -> -2).  Infinities come back unchanged.
double roundHalfEven(double x);

// Clamps a whole-number double into [lo, hi] before it is narrowed, so
// out-of-range text never turns into undefined behaviour.
int64_t clampToInt(double x, int64_t lo, int64_t hi);

}  // namespace rastiv

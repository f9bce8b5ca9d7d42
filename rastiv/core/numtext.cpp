#include "core/numtext.hpp"

#include <cmath>
#include <cstdlib>
#include <string>

namespace rastiv {

QString numToText(int64_t n) {
    return n < 0 ? QString::number(n) : QStringLiteral(" ") + QString::number(n);
}

double leadingNumber(QStringView text) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && (text[i] == u' ' || text[i] == u'\t')) ++i;

    // Collect the longest prefix that is a number and let strtod convert it;
    // strtod alone would also accept "inf", "nan" and hex, which are not numbers here.
    std::string s;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) s += char(text[i++].unicode());
    qsizetype digits = 0;
    while (i < n && text[i].isDigit() && text[i].unicode() < 128) { s += char(text[i++].unicode()); ++digits; }
    if (i < n && text[i] == u'.') {
        s += '.';
        ++i;
        while (i < n && text[i].unicode() >= '0' && text[i].unicode() <= '9') { s += char(text[i++].unicode()); ++digits; }
    }
    if (digits == 0) return 0.0;
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        qsizetype j = i + 1;
        std::string e = "e";
        if (j < n && (text[j] == u'+' || text[j] == u'-')) e += char(text[j++].unicode());
        qsizetype expDigits = 0;
        while (j < n && text[j].unicode() >= '0' && text[j].unicode() <= '9') { e += char(text[j++].unicode()); ++expDigits; }
        if (expDigits > 0) s += e;  // "1e" is the number 1 followed by text
    }
    return std::strtod(s.c_str(), nullptr);
}

double roundHalfEven(double x) {
    if (!std::isfinite(x)) return x;
    const double lower = std::floor(x);
    const double frac = x - lower;
    if (frac > 0.5) return lower + 1.0;
    if (frac < 0.5) return lower;
    return std::fmod(lower, 2.0) == 0.0 ? lower : lower + 1.0;
}

int64_t clampToInt(double x, int64_t lo, int64_t hi) {
    if (std::isnan(x)) return lo;
    if (x <= double(lo)) return lo;
    if (x >= double(hi)) return hi;
    return int64_t(x);
}

}  // namespace rastiv

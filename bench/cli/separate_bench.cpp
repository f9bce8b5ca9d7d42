// How much of a photograph survives on two inks, and what it costs.
//
// Each corpus photo is scaled to 400 dots wide (area-averaged, 24 bits) and
// turned into dots by every separation method, by the few-colours path that
// `rastiv-cli convert` takes by default (the conversion to 8 bits, the
// automatic translation to 5 colours at speed 500, the nearest rendering for
// each colour, the mapping), and by a plain Floyd-Steinberg diffusion in
// CIELAB onto the three inks, for comparison.  The score compares the dots,
// blurred as the eye blurs them at reading distance, with the photo blurred
// alike: the structural similarity (SSIM) of their CIELAB lightness, 1.0 for
// identical; and the mean CIELAB difference of the colours so seen, so
// that a method cannot buy lightness with the wrong hues.  Times are the
// medians of 7 runs of the library call (of the whole convert for the
// few-colours path), files and fsync included.
//
// Build: cmake --build build-release --target separate_bench
// Run:   build-release/bin/separate_bench [--blue] [photo.bmp ...]
//        (red paper unless --blue; default photos: the corpus' three)
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

#include "core/pixmill.hpp"
#include "cli/convert.hpp"
#include "core/nearestrendering.hpp"
#include "core/pictureimport.hpp"

using namespace rastiv;

namespace {

constexpr int kWidth = 400;
constexpr int kRuns = 7;

// Lightness of the picture, one value a pixel.
struct Plane {
    int w = 0, h = 0;
    std::vector<double> v;
    double& at(int x, int y) { return v[size_t(y) * size_t(w) + size_t(x)]; }
    double at(int x, int y) const { return v[size_t(y) * size_t(w) + size_t(x)]; }
};

// A grey of luminance y has X and Z in the white's proportions: its lightness.
double lightnessOfY(double y) { return labFromLinear(y, y, y).L; }
double yOf(QRgb p) {
    return 0.2126729 * linearOf(qRed(p)) + 0.7151522 * linearOf(qGreen(p)) + 0.0721750 * linearOf(qBlue(p));
}

// Luminance (linear light) of every pixel: dots and paper mix in light.
Plane luminance(const QImage& image) {
    Plane p{image.width(), image.height(), {}};
    p.v.resize(size_t(p.w) * size_t(p.h));
    for (int y = 0; y < p.h; ++y)
        for (int x = 0; x < p.w; ++x) p.at(x, y) = yOf(image.pixel(x, y));
    return p;
}

// A separable Gaussian blur, edges extended.
Plane blur(const Plane& in, double sigma) {
    const int r = int(std::ceil(3 * sigma));
    std::vector<double> k(size_t(2 * r + 1));
    double sum = 0;
    for (int i = -r; i <= r; ++i) sum += k[size_t(i + r)] = std::exp(-i * i / (2 * sigma * sigma));
    for (double& x : k) x /= sum;
    Plane tmp = in, out = in;
    for (int y = 0; y < in.h; ++y)
        for (int x = 0; x < in.w; ++x) {
            double s = 0;
            for (int i = -r; i <= r; ++i) s += k[size_t(i + r)] * in.at(std::clamp(x + i, 0, in.w - 1), y);
            tmp.at(x, y) = s;
        }
    for (int y = 0; y < in.h; ++y)
        for (int x = 0; x < in.w; ++x) {
            double s = 0;
            for (int i = -r; i <= r; ++i) s += k[size_t(i + r)] * tmp.at(x, std::clamp(y + i, 0, in.h - 1));
            out.at(x, y) = s;
        }
    return out;
}

// What the eye takes from a picture at reading distance: its light blurred
// over about two dots (a Gaussian of 2 dots, 0.25 mm on paper), as CIELAB
// lightness.  Dots and paper mix in light, so the blur is done in light.
constexpr double kEyeBlur = 2;

Plane seen(const QImage& image) {
    Plane p = blur(luminance(image), kEyeBlur);
    for (double& v : p.v) v = lightnessOfY(v);
    return p;
}

// The colour the eye sees at reading distance: each channel's light blurred
// as above, then CIELAB.
struct Seen3 {
    Plane r, g, b;
};
Seen3 seenColour(const QImage& image) {
    Seen3 s;
    for (Plane* p : {&s.r, &s.g, &s.b}) {
        p->w = image.width();
        p->h = image.height();
        p->v.resize(size_t(p->w) * size_t(p->h));
    }
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb px = image.pixel(x, y);
            s.r.at(x, y) = linearOf(qRed(px));
            s.g.at(x, y) = linearOf(qGreen(px));
            s.b.at(x, y) = linearOf(qBlue(px));
        }
    s.r = blur(s.r, kEyeBlur);
    s.g = blur(s.g, kEyeBlur);
    s.b = blur(s.b, kEyeBlur);
    return s;
}

// Mean SSIM of two lightness planes (0..100) with the usual 11 x 11
// Gaussian window of 1.5 pixels and constants.
double ssim(const Plane& a, const Plane& b) {
    constexpr double c1 = (0.01 * 100) * (0.01 * 100), c2 = (0.03 * 100) * (0.03 * 100);
    Plane aa = a, bb = b, ab = a;
    for (size_t i = 0; i < a.v.size(); ++i) {
        aa.v[i] = a.v[i] * a.v[i];
        bb.v[i] = b.v[i] * b.v[i];
        ab.v[i] = a.v[i] * b.v[i];
    }
    const Plane ma = blur(a, 1.5), mb = blur(b, 1.5), saa = blur(aa, 1.5), sbb = blur(bb, 1.5), sab = blur(ab, 1.5);
    double total = 0;
    for (size_t i = 0; i < a.v.size(); ++i) {
        const double mx = ma.v[i], my = mb.v[i];
        const double vx = saa.v[i] - mx * mx, vy = sbb.v[i] - my * my, cxy = sab.v[i] - mx * my;
        total += ((2 * mx * my + c1) * (2 * cxy + c2)) / ((mx * mx + my * my + c1) * (vx + vy + c2));
    }
    return total / double(a.v.size());
}


// Mean CIELAB colour difference (CIE 1976) of what the eye sees.
double meanDeltaE(const Seen3& x, const Seen3& y) {
    double total = 0;
    for (size_t i = 0; i < x.r.v.size(); ++i) {
        const Lab p = labFromLinear(x.r.v[i], x.g.v[i], x.b.v[i]);
        const Lab q = labFromLinear(y.r.v[i], y.g.v[i], y.b.v[i]);
        total += deltaE(p, q);
    }
    return total / double(x.r.v.size());
}

// ---- The plain diffusion to beat: Floyd-Steinberg in CIELAB, left to right ----

Lab labOf(QRgb p) { return labFromLinear(linearOf(qRed(p)), linearOf(qGreen(p)), linearOf(qBlue(p))); }

QImage plainDiffusion(const QImage& photo, QRgb highlight) {
    const QRgb inks[] = {qRgb(255, 255, 255), qRgb(0, 0, 0), highlight};
    Lab inkLab[3];
    for (int i = 0; i < 3; ++i) inkLab[i] = labOf(inks[i]);
    const int w = photo.width(), h = photo.height();
    std::vector<Lab> px(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) px[size_t(y) * size_t(w) + size_t(x)] = labOf(photo.pixel(x, y));
    QImage out(w, h, QImage::Format_RGB32);
    const auto spread = [&](int x, int y, const Lab& e, double k) {
        if (x < 0 || x >= w || y >= h) return;
        Lab& p = px[size_t(y) * size_t(w) + size_t(x)];
        p = {p.L + e.L * k, p.a + e.a * k, p.b + e.b * k};
    };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Lab c = px[size_t(y) * size_t(w) + size_t(x)];
            int best = 0;
            double bestD = 1e300;
            for (int i = 0; i < 3; ++i) {
                const double d = (c.L - inkLab[i].L) * (c.L - inkLab[i].L) + (c.a - inkLab[i].a) * (c.a - inkLab[i].a) +
                                 (c.b - inkLab[i].b) * (c.b - inkLab[i].b);
                if (d < bestD) bestD = d, best = i;
            }
            out.setPixel(x, y, inks[best]);
            const Lab e{c.L - inkLab[best].L, c.a - inkLab[best].a, c.b - inkLab[best].b};
            spread(x + 1, y, e, 7 / 16.0);
            spread(x - 1, y + 1, e, 3 / 16.0);
            spread(x, y + 1, e, 5 / 16.0);
            spread(x + 1, y + 1, e, 1 / 16.0);
        }
    return out;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Milliseconds of the median run, and whether every run succeeded.
double timed(const std::function<bool()>& run, bool& ok) {
    std::vector<double> ms;
    ok = true;
    for (int i = 0; i < kRuns; ++i) {
        QElapsedTimer t;
        t.start();
        ok = run() && ok;
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    return median(ms);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList photos;
    int paper = 1;
    for (int i = 1; i < argc; ++i) {
        if (QLatin1String(argv[i]) == QLatin1String("--blue"))
            paper = 2;
        else
            photos << QString::fromLocal8Bit(argv[i]);
    }
    if (photos.isEmpty())
        for (const char* name : {"kodim23", "shira_bird8", "vgl_6434_0018a"})
            photos << QStringLiteral(RASTIV_TESTDATA "/realworld/%1.bmp").arg(QLatin1String(name));
    const QRgb highlight = paper == 2 ? qRgb(0, 0, 255) : qRgb(255, 0, 0);

    QTemporaryDir work;
    PixmillBinding pm({QStringLiteral(RASTIV_PIXMILL_PATH)});
    std::printf("%-16s %-34s %7s %7s %9s\n", "photo", "method", "SSIM", "dE", "ms");
    for (const QString& photo : photos) {
        const QImage original(photo);
        if (original.isNull()) {
            std::fprintf(stderr, "cannot read %s\n", qPrintable(photo));
            return 1;
        }
        const QImage scaled = original.convertToFormat(QImage::Format_RGB888)
                                  .scaledToWidth(kWidth, Qt::SmoothTransformation)
                                  .convertToFormat(QImage::Format_RGB32);
        const QString input = work.filePath(QStringLiteral("photo.bmp"));
        const QString output = work.filePath(QStringLiteral("dots.bmp"));
        if (!writeBmp24(scaled, input)) return 1;
        const Plane reference = seen(scaled);
        const Seen3 referenceColour = seenColour(scaled);
        const QString name = QFileInfo(photo).completeBaseName();
        const auto report = [&](const QString& method, const QImage& dots, double ms) {
            if (dots.isNull() || dots.size() != scaled.size()) {
                std::printf("%-16s %-34s %7s\n", qPrintable(name), qPrintable(method), "failed");
                return;
            }
            const QImage d = dots.convertToFormat(QImage::Format_RGB32);
            std::printf("%-16s %-34s %7.3f %7.1f %9.2f\n", qPrintable(name), qPrintable(method),
                        ssim(reference, seen(d)), meanDeltaE(referenceColour, seenColour(d)), ms);
        };

        bool ok = false;
        double ms = timed(
            [&] {
                cli::ConvertOptions o;
                o.input = input;
                o.kind = cli::OutputKind::Bmp;
                o.output = output;
                o.highlight = paper == 2 ? Highlight::Blue : Highlight::Red;
                return cli::convertPicture(pm, o, work.path()).ok;
            },
            ok);
        report(QStringLiteral("few colours (convert's default)"), ok ? QImage(output) : QImage(), ms);

        QElapsedTimer t;
        t.start();
        const QImage plain = plainDiffusion(scaled, highlight);
        report(QStringLiteral("plain Floyd-Steinberg in CIELAB"), plain, double(t.nsecsElapsed()) / 1e6);

        struct Setting {
            const char* label;
            int32_t method, sharpen;
        };
        for (const Setting& s : {Setting{"diffusion", 1, 0}, Setting{"diffusion, sharpen 50", 1, 50},
                                 Setting{"ordered", 2, 0}, Setting{"nearest", 3, 0}}) {
            ms = timed([&] { return pm.SeparateBitmap(input, output, paper, s.method, 0, 0, 100, s.sharpen) == 0; },
                       ok);
            report(QString::fromLatin1(s.label), ok ? QImage(output) : QImage(), ms);
        }
    }

    // What a receipt-sized picture costs: the first photo at 576 x 800.
    const QImage big = QImage(photos.front()).convertToFormat(QImage::Format_RGB888).scaled(
        576, 800, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const QString input = work.filePath(QStringLiteral("big.bmp")), output = work.filePath(QStringLiteral("dots.bmp"));
    if (!writeBmp24(big, input)) return 1;
    std::printf("\n576 x 800, median of %d runs of SeparateBitmap, files and fsync included\n", kRuns);
    for (const auto& [label, method] : {std::pair{"diffusion", 1}, {"ordered", 2}, {"nearest", 3}}) {
        bool ok = false;
        const double ms = timed([&] { return pm.SeparateBitmap(input, output, paper, method, 0, 0, 100, 0) == 0; }, ok);
        std::printf("%-16s %9.2f ms%s\n", label, ms, ok ? "" : "  (failed)");
    }
    return 0;
}

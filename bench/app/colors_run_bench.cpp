// One colour translation in the program, from OK in Color Translation to the
// moment the manual mapping would open, with the main window redrawing its
// picture after every merge as the operator sees it (offscreen), against the
// same translation as `rastiv-cli convert` runs it (no redrawing) on the same
// working bitmap, and against the whole `rastiv-cli convert` process for the
// same picture, width, colours and speed when the tool is found beside this
// program.  The picture is a photograph turned into the working bitmap as
// Load and Re-size leave it.
//
// Build: cmake --build build-release --target colors_run_bench rastiv-cli
// Run:   QT_QPA_PLATFORM=offscreen build-release/bin/colors_run_bench [photo.bmp] [width] [colours] [speed] [runs]
//        (default: the shared corpus' kodim23.bmp, 300 pixels wide, 5 colours, speed 500, 5 runs)
//
// A benchmark, not a test: it prints the figures and fails only when a run
// cannot be made.
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QElapsedTimer>
#include <QLineEdit>
#include <algorithm>
#include <cstdio>
#include <vector>

#include <unistd.h>

#include "core/colourwork.hpp"
#include "fakes.hpp"
#include "ui/picture/frmColors.hpp"
#include "ui/main/frmMain.hpp"

using namespace rastiv;

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString photo = argc > 1 ? QString::fromLocal8Bit(argv[1])
                                   : QStringLiteral(RASTIV_TESTDATA "/realworld/kodim23.bmp");
    const int width = argc > 2 ? atoi(argv[2]) : 300;
    const QString colours = argc > 3 ? QString::fromLatin1(argv[3]) : QStringLiteral("5");
    const QString speed = argc > 4 ? QString::fromLatin1(argv[4]) : QStringLiteral("500");
    const int runs = argc > 5 ? std::max(1, atoi(argv[5])) : 5;

    std::vector<double> ms, toolMs, processMs;
    size_t kept = 0, toolKept = 0;
    for (int run = 0; run < runs; ++run) {
        rastiv::testing::World w;
        frmMain main(w.env);
        main.show();
        const QString converted = w.env.workPath("converted.bmp");
        if (w.pixmill.Convert24to8Bits(photo, converted) != 0 ||
            w.pixmill.StretchBitmap(width, w.working(), converted) != 0) {
            std::fprintf(stderr, "cannot make a working bitmap of %s\n", qPrintable(photo));
            return 1;
        }
        w.picture.current = w.working();
        main.ShowBitmap(w.picture.current);

        // The tool's way first, on a copy of the same working bitmap.
        const QString copy = w.env.workPath("tool.bmp");
        QFile::copy(w.working(), copy);
        QElapsedTimer tool;
        tool.start();
        const ColourInputs in = readColourInputs(colours, speed);
        const Translation plain = translateColours(w.pixmill, copy, in.colours, in.speed, {});
        toolMs.push_back(double(tool.nsecsElapsed()) / 1e6);
        toolKept = plain.colours.size();

        QElapsedTimer t;
        frmColors dialog(w.env, w.picture, main, &main);
        dialog.openMapping = [&](ColourSession& s) {
            ms.push_back(double(t.nsecsElapsed()) / 1e6);
            kept = s.colours.size();
        };
        dialog.tbNumUserColors->setText(colours);
        dialog.tbColorSpeed->setText(speed);
        dialog.show();
        app.processEvents();
        t.start();
        dialog.cmdSetUpRemap_Click();
        if (!w.messages.shown.empty()) {
            std::fprintf(stderr, "the run showed: %s\n", qPrintable(w.messages.shown.front().text));
            return 1;
        }
    }
    // The whole tool, started as a user starts it.
    const QString cli = QCoreApplication::applicationDirPath() + QStringLiteral("/rastiv-cli");
    if (QFile::exists(cli)) {
        const QString out = QDir::temp().filePath(QStringLiteral("colors_run_bench_%1.bmp").arg(getpid()));
        for (int run = 0; run < runs; ++run) {
            QProcess p;
            QElapsedTimer t;
            t.start();
            p.start(cli, {QStringLiteral("convert"), QStringLiteral("--width"), QString::number(width),
                          QStringLiteral("--colors"), colours, QStringLiteral("--speed"), speed,
                          QStringLiteral("--bmp"), out, photo});
            if (!p.waitForFinished(600000) || p.exitCode() != 0) {
                std::fprintf(stderr, "rastiv-cli convert failed: %s\n", p.readAllStandardError().constData());
                return 1;
            }
            processMs.push_back(double(t.nsecsElapsed()) / 1e6);
        }
        QFile::remove(out);
    }

    const auto median = [](std::vector<double>& v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    const double dialogMedian = median(ms), toolMedian = median(toolMs);
    std::printf("the tool's translation (one library run, no redrawing): %zu colours; median %.1f ms; "
                "the dialog takes %.2f times as long\n",
                toolKept, toolMedian, dialogMedian / toolMedian);
    if (!processMs.empty()) {
        const double processMedian = median(processMs);
        std::printf("rastiv-cli convert, the whole process (load, convert, re-size, translate, map, write): median "
                    "%.1f ms; the dialog takes %.2f times as long\n",
                    processMedian, dialogMedian / processMedian);
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%s at %d pixels, %s colours, speed %s: %zu colours handed over; median %.1f ms (min %.1f, max %.1f) over %d runs\n",
                qPrintable(photo), width, qPrintable(colours), qPrintable(speed), kept, ms[ms.size() / 2], ms.front(),
                ms.back(), runs);
    return 0;
}

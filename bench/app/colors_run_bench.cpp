// One colour translation in the program, from OK in Color Translation to the
// moment the manual mapping would open, with the main window refreshing its
// picture at every step as the operator sees it (offscreen).  The picture is
// a photograph turned into the working bitmap as Load and Re-size leave it.
//
// Build: cmake --build build-release --target colors_run_bench
// Run:   QT_QPA_PLATFORM=offscreen build-release/bin/colors_run_bench [photo.bmp] [width] [colours] [speed] [runs]
//        (default: the shared corpus' kodim23.bmp, 300 pixels wide, 5 colours, speed 500, 5 runs)
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <algorithm>
#include <cstdio>
#include <vector>

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

    std::vector<double> ms;
    size_t kept = 0;
    for (int run = 0; run < runs; ++run) {
        testing::World w;
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
    std::sort(ms.begin(), ms.end());
    std::printf("%s at %d pixels, %s colours, speed %s: %zu colours handed over; median %.1f ms (min %.1f, max %.1f) over %d runs\n",
                qPrintable(photo), width, qPrintable(colours), qPrintable(speed), kept, ms[ms.size() / 2], ms.front(),
                ms.back(), runs);
    return 0;
}

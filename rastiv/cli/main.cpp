// rastiv-cli: Rastiv's printer tools on the command line, without a screen.
#include <QCoreApplication>
#include <QGuiApplication>
#include <QTextStream>
#include <csignal>
#include <cstdio>
#include <memory>

#include "cli/cli.hpp"

int main(int argc, char** argv) {
    // A file grown past `ulimit -f` is a write error to report in words, not
    // a reason to die with the printer or a file half done.
    std::signal(SIGXFSZ, SIG_IGN);
    QStringList args;
    for (int i = 0; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);

    // Only the receipt's text needs fonts, and so a GUI application; it is
    // drawn offscreen, so the tool never looks for a display.
    std::unique_ptr<QCoreApplication> app;
    if (rastiv::cli::needsGui(args)) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        // Setting up the platform warns of what only a desktop session has (a
        // runtime folder, for one); the tool needs none of it, and its
        // standard error is for its own reasons.  What stops it still shows.
        static QtMessageHandler previous = nullptr;
        previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& where, const QString& text) {
            if ((type == QtCriticalMsg || type == QtFatalMsg) && previous) previous(type, where, text);
        });
        app = std::make_unique<QGuiApplication>(argc, argv);
        qInstallMessageHandler(previous);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("rastiv-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(RASTIV_VERSION));

    QTextStream out(stdout), err(stderr);
    const int rc = rastiv::cli::run(args, {out, err});
    out.flush();
    err.flush();
    return rc;
}

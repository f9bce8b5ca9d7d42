// Rastiv: prepares pictures for two-colour receipt printers.
#include "link/clock.hpp"
#include "core/desktop.hpp"
#include "core/env.hpp"
#include "ui/common/f1help.hpp"
#include "ui/common/qtfiledialogs.hpp"
#include "ui/common/frmSplash.hpp"
#include "ui/common/headless.hpp"
#include "ui/common/qtmessageboxes.hpp"
#include "core/modGlobal.hpp"
#include "core/paths.hpp"
#include "core/pixmill.hpp"
#include "core/settings.hpp"
#include "core/workfolder.hpp"
#include "core/batchmode.hpp"
#include "link/commlink.hpp"
#include "ui/main/frmMain.hpp"

#include <QApplication>
#include <QCommandLineParser>
#include <QProcessEnvironment>
#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>

using namespace rastiv;

namespace {
void describeOptions(QCommandLineParser& options) {
    options.setApplicationDescription(QStringLiteral("Prepares pictures for two-colour receipt printers."));
    options.addHelpOption();
    options.addVersionOption();
    options.addPositionalArgument(QStringLiteral("file"),
                                  QStringLiteral("A picture to load at start (BMP, PNG, JPEG, GIF, TIFF or WebP)."),
                                  QStringLiteral("[file]"));
}
}  // namespace

int main(int argc, char** argv) {
    // A file grown past `ulimit -f` is a write error the library reports,
    // not a reason to die with the printer inside a command.
    std::signal(SIGXFSZ, SIG_IGN);
    // The names are read by the settings and by --version; they need no
    // application object yet.
    QCoreApplication::setOrganizationName(QStringLiteral("Vru"));
    QCoreApplication::setApplicationName(QStringLiteral("Rastiv"));
    QCoreApplication::setApplicationVersion(QStringLiteral(RASTIV_VERSION));

    const QStringList args = rawArguments(argc, argv);
    {
        QCommandLineParser text;
        describeOptions(text);
        if (asksForHelpOrVersion(text, args)) {
            // As Qt would print them, but returning from main rather than
            // exiting from inside the parser.  The core application gives the
            // usage line the program's name.
            const QCoreApplication core(argc, argv);
            const QString out = text.isSet(QStringLiteral("version"))
                                    ? QStringLiteral("%1 %2\n").arg(QCoreApplication::applicationName(),
                                                                     QCoreApplication::applicationVersion())
                                    : text.helpText();
            std::fputs(out.toLocal8Bit().constData(), stdout);
            return std::fflush(stdout) == 0 ? 0 : 1;
        }
    }
    if (!displayNamed(QProcessEnvironment::systemEnvironment(), args)) {
        std::fprintf(stderr, "%s\n", noDisplayLine().toLocal8Bit().constData());
        return 1;
    }
    std::optional<PlatformStartGuard> starting(std::in_place);
    QApplication app(argc, argv);
    starting.reset();
    // Lets a Wayland or X11 desktop match the windows to the desktop entry
    // and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(RASTIV_APP_ID));

    RealDesktop desktop;
    QtMessageBoxes messages(desktop);
    QtFileDialogs files;
    SettingsStore settings;
    if (!settings.problem().isEmpty())
        std::fprintf(stderr, "rastiv: %s; the settings are not kept.\n", qPrintable(settings.problem()));
    RealClock clock;
    PixmillBinding pixmill;
    modGlobal g;

    // Bad options are reported here, once Qt has taken its own (-platform and
    // the like) off the line; --help-all lists those too, so it needs them.
    QCommandLineParser options;
    describeOptions(options);
    options.process(app);
    const QString startFile = options.positionalArguments().value(0);

    // This instance's own working folder, gone again when it ends.
    WorkFolder work(WorkFolder::defaultBases());
    if (!work.ok()) {
        Message m;
        m.text = QStringLiteral("Rastiv cannot start without a private working folder for its pictures.");
        m.title = QStringLiteral("Rastiv");
        m.icon = MsgIcon::Stop;
        m.details = work.problem();
        messages.show(m);
        return 1;
    }
    // Outputs cut short when an earlier Rastiv was killed, where it saves.
    for (const Key k : {Key::InitOutBmpDir, Key::InitGfxDir, Key::InitLgoDir, Key::InitBatDir})
        if (const QString folder = settings.read(k); !folder.isEmpty()) WorkFolder::removeAbandonedOutputs(folder);
    // The help index is named once, before anything can show a box or take F1.
    g.gHelpFile = locateHelpFile();
    CommLink link(clock, messages, g.gHelpFile);
    BatchRecording batch(pixmill, messages);
    // Everything written to the printer is copied into a recording while one is on.
    link.setBatchCopy([&batch](const QByteArray& s) { batch.WriteBatchFile(s); });
    Env env{g, pixmill, messages, files, settings, clock, desktop, link, batch, work.path()};
    pixmill.setProblemReporter(
        [&env](const QString& text) { tell(env, text, QStringLiteral("Image Library Problem"), MsgIcon::Stop); });

    F1Help f1(desktop, messages, g.gHelpFile);
    app.installEventFilter(&f1);

    std::unique_ptr<frmMain> mainWindow;
    auto* splash = new frmSplash(clock, [&] {
        mainWindow = std::make_unique<frmMain>(env);
        mainWindow->show();
        if (!startFile.isEmpty()) mainWindow->loadFile(startFile);
    });
    splash->setAttribute(Qt::WA_DeleteOnClose);
    splash->show();
    splash->activateWindow();
    splash->setFocus();

    const int rc = QApplication::exec();
    mainWindow.reset();
    return rc;
}

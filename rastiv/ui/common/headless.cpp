#include "ui/common/headless.hpp"

#include <QCommandLineParser>
#include <cstdio>
#include <cstdlib>

namespace rastiv {

QStringList rawArguments(int argc, const char* const* argv) {
    QStringList args;
    for (int i = 0; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
    return args;
}

bool asksForHelpOrVersion(QCommandLineParser& options, const QStringList& args) {
    // parse() goes on past an unknown option, so "-platform offscreen
    // --version" still sets version.
    options.parse(args);
    return options.isSet(QStringLiteral("help")) || options.isSet(QStringLiteral("version"));
}

bool displayNamed(const QProcessEnvironment& env, const QStringList& args) {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        if (!env.value(QString::fromLatin1(name)).isEmpty()) return true;
    // Qt takes its own options with one dash or two, anywhere on the line.
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--")) break;
        if (args[i] == QLatin1String("-platform") || args[i] == QLatin1String("--platform")) return true;
    }
    return false;
}

QString noDisplayLine(const QString& detail) {
    QString line = QStringLiteral("rastiv: no display");
    if (!detail.isEmpty()) line += QStringLiteral(" (%1)").arg(detail);
    return line + QStringLiteral(": set DISPLAY or run rastiv-cli for work without one");
}

namespace {
// Qt calls a plain function: it reaches the guard's list through this.
std::vector<PlatformStartGuard::Kept>* gKept = nullptr;

void keepOrEnd(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type != QtFatalMsg) {
        gKept->push_back({type, QByteArray(context.category ? context.category : ""), text});
        return;
    }
    const QString line = noDisplayLine(PlatformStartGuard::reason(*gKept, text));
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
    // Qt would abort next.  Nothing of the program's is open yet: no working
    // folder, no port, no recording, so there is nothing to clean up.
    std::_Exit(1);
}
}  // namespace

QString PlatformStartGuard::reason(const std::vector<Kept>& kept, const QString& fatal) {
    QString why = fatal;
    for (const Kept& k : kept)
        if (k.category.startsWith("qt.qpa")) {
            why = k.text;
            break;
        }
    return why.section(u'\n', 0, 0).trimmed();
}

PlatformStartGuard::PlatformStartGuard() {
    gKept = &kept_;
    previous_ = qInstallMessageHandler(keepOrEnd);
}

PlatformStartGuard::~PlatformStartGuard() {
    qInstallMessageHandler(previous_);
    gKept = nullptr;
    // A display that did open may still have had something to say.
    if (!previous_) return;
    for (const Kept& k : kept_) {
        const QMessageLogContext context(nullptr, 0, nullptr, k.category.isEmpty() ? nullptr : k.category.constData());
        previous_(k.type, context, k.text);
    }
}

}  // namespace rastiv

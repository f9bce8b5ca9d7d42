// What rastiv does before it has a window.  --help and --version are answered
// on the terminal, so that they work over ssh, in a container or in a package
// check; without a display the program says so in one line and ends with
// status 1 instead of Qt's abort (and its core file).
#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <vector>

class QCommandLineParser;

namespace rastiv {

// argv as Qt would read it, before any application object exists.
QStringList rawArguments(int argc, const char* const* argv);

// Parses args with options (which must hold Qt's help and version options)
// and tells whether they ask for --help or --version.  Arguments this parser
// does not know (Qt's own, such as -platform) do not hide the request.
bool asksForHelpOrVersion(QCommandLineParser& options, const QStringList& args);

// Whether anything names a display or a Qt platform for the program to
// open windows on: DISPLAY, WAYLAND_DISPLAY, QT_QPA_PLATFORM or a -platform
// argument.  When nothing does, Qt would only fail after loading its plugins.
bool displayNamed(const QProcessEnvironment& env, const QStringList& args);

// The one line for standard error; detail, when given, is Qt's reason.
QString noDisplayLine(const QString& detail = {});

// Held while the QApplication is being made.  Qt's messages are kept back
// meanwhile; when the platform plugin fails (Qt's fatal message) the program
// prints noDisplayLine with Qt's first reason and ends with status 1 at once.
// Otherwise the kept messages go to the previous handler when this ends.
class PlatformStartGuard {
public:
    PlatformStartGuard();
    ~PlatformStartGuard();
    PlatformStartGuard(const PlatformStartGuard&) = delete;
    PlatformStartGuard& operator=(const PlatformStartGuard&) = delete;

    struct Kept {
        QtMsgType type;
        QByteArray category;
        QString text;
    };
    // The first line of the reason a fatal message would carry: the first
    // platform warning kept, else the fatal message itself.
    static QString reason(const std::vector<Kept>& kept, const QString& fatal);

private:
    QtMessageHandler previous_;
    std::vector<Kept> kept_;
};

}  // namespace rastiv

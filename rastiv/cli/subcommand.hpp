// One sub-command's command line, as every command of rastiv-cli reads it:
// its own --help with a usage line naming the command, usage errors with
// exit status 2, refusals with 1.
#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include "cli/cli.hpp"
#include "core/settings.hpp"
#include "cli/convert.hpp"


namespace rastiv::cli {

inline constexpr const char* kTool = "rastiv-cli";

class SubCommand {
public:
    SubCommand(const char* name, const QString& synopsis, const QString& description)
        : name_(QString::fromLatin1(name)), synopsis_(synopsis) {
        p.setApplicationDescription(description);
        p.addOption(help_);
    }

    // False when the command is over already: its help was asked for (rc 0)
    // or the command line is not understood (rc 2, said on standard error).
    bool parse(const QStringList& args, Streams io, int& rc) {
        if (!p.parse(args)) {
            rc = usage(io, p.errorText());
            return false;
        }
        if (p.isSet(help_)) {
            QString text = p.helpText();
            // Qt names the running file; the usage line names the command.
            text.replace(0, text.indexOf(u'\n'),
                         QStringLiteral("Usage: %1 %2 %3").arg(QLatin1String(kTool), name_, synopsis_));
            io.out << text;
            if (!epilogue_.isEmpty()) io.out << '\n' << epilogue_ << '\n';
            rc = kExitOk;
            return false;
        }
        return true;
    }

    int usage(Streams io, const QString& why) const {
        io.err << kTool << ' ' << name_ << ": " << why << '\n' << "See '" << kTool << ' ' << name_ << " --help'.\n";
        return kExitUsage;
    }
    int refuse(Streams io, const QString& why) const {
        io.err << kTool << ' ' << name_ << ": " << why << '\n';
        return kExitFailed;
    }
    void setEpilogue(const QString& text) { epilogue_ = text; }

    QCommandLineParser p;

private:
    QString name_, synopsis_, epilogue_;
    QCommandLineOption help_{{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Shows this help.")};
};

// An option of a sub-command: its name, what it does, and the name of its
// value when it takes one.
inline QCommandLineOption option(const char* name, const char* help, const char* value = nullptr,
                          const QString& byDefault = {}) {
    return value ? QCommandLineOption(QString::fromLatin1(name), QString::fromUtf8(help), QString::fromLatin1(value),
                                      byDefault)
                 : QCommandLineOption(QString::fromLatin1(name), QString::fromUtf8(help));
}

// The highlight colour the program is set to: blue only when it says so.
inline Highlight programHighlight(const SettingsStore& settings) {
    return settings.read(Key::ScreenColor) == QLatin1String("Blue") ? Highlight::Blue : Highlight::Red;
}

inline bool readHighlight(const QString& text, Highlight& h) {
    if (text.compare(QLatin1String("red"), Qt::CaseInsensitive) == 0)
        h = Highlight::Red;
    else if (text.compare(QLatin1String("blue"), Qt::CaseInsensitive) == 0)
        h = Highlight::Blue;
    else
        return false;
    return true;
}

inline constexpr const char* kHighlightHelp =
    "The paper's highlight colour, red or blue (default: the one Rastiv is set to, red unless it is set to blue).";


// The options that name a printer's line.
inline constexpr const char* kPortHelp =
    "COM1 to COM8 (the devices Rastiv keeps for them), a device path, \"virtual\" for the built-in virtual "
    "printer, or tcp://HOST:PORT for a serial device server";
inline constexpr const char* kBaudHelp =
    "Baud rate: 115200, 57600, 38400, 19200, 9600, 4800, 2400 or 1200 (default: Rastiv's).";
inline constexpr const char* kParityHelp = "none, even or odd (default: Rastiv's).";

// The line settings: Rastiv's own, unless --baud or --parity say otherwise.
// False with rc set when one of them is not understood.
bool readLine(SubCommand& c, Streams io, const QCommandLineOption& baud, const QCommandLineOption& parity,
              const SettingsStore& settings, PortSettings& line, int& rc);

// The sub-commands, by family: the line (portcommands.cpp), pictures
// (convertcommand.cpp), receipts (receiptcommands.cpp) and the printer's
// jobs (printertools.cpp).
int cmdPorts(const QStringList& args, Streams io);
int cmdStatus(const QStringList& args, Streams io);
int cmdConvert(const QStringList& args, Streams io);
int cmdRender(const QStringList& args, Streams io);
int cmdServe(const QStringList& args, Streams io);
int cmdPrint(const QStringList& args, Streams io);
int cmdDownloadLogo(const QStringList& args, Streams io);
int cmdEraseLogos(const QStringList& args, Streams io);
int cmdPaperType(const QStringList& args, Streams io);
int cmdReplay(const QStringList& args, Streams io);

}  // namespace rastiv::cli

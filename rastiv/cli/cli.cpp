#include "cli/cli.hpp"

#include <array>

#include "cli/subcommand.hpp"
#include "core/settings.hpp"

namespace rastiv::cli {

namespace {

// Whether a command draws text with the receipt renderer's font, which
// takes a GUI application (offscreen will do); the others run on a core
// application.
enum class Display : bool { NotNeeded, Needed };

struct Command {
    const char* name;
    const char* summary;
    int (*run)(const QStringList& args, Streams io);
    Display display = Display::NotNeeded;
};

constexpr std::array<Command, 10> kCommands{{
    {"ports", "Lists the serial devices present and whether you may open them", cmdPorts},
    {"convert", "Turns a picture into a BMP, graphics (.gfx) or logo (.lgo) file for the printer", cmdConvert},
    {"render", "Draws what the printer would print from a byte stream, a .gfx or a .lgo file", cmdRender, Display::Needed},
    {"serve", "Acts as a printer a till can talk to, over TCP or a pseudo-terminal", cmdServe, Display::Needed},
    {"status", "Asks the printer for its status and says whether it answers", cmdStatus},
    {"print", "Prints a graphics file (.gfx) on one or more printers", cmdPrint},
    {"download-logo", "Stores a logo file (.lgo) in one or more printers", cmdDownloadLogo},
    {"erase-logos", "Erases the logos stored in one or more printers", cmdEraseLogos},
    {"paper-type", "Sets and stores the paper type of one or more printers", cmdPaperType},
    {"replay", "Plays a batch recording (.cpb) to one or more printers at once", cmdReplay},
}};

void usage(QTextStream& s) {
    s << "Usage: " << kTool << " COMMAND [options] [arguments]\n"
      << "       " << kTool << " COMMAND --help\n\n"
      << "Prepares pictures for two-colour receipt printers and talks to the printer, without a screen.\n\n"
      << "Commands:\n";
    for (const Command& c : kCommands) s << "  " << QString::fromLatin1(c.name).leftJustified(14) << c.summary << '\n';
    s << "\nOptions:\n"
      << "  -h, --help     Shows this help.\n"
      << "  -v, --version  Shows the version.\n\n"
      << "Exit status: 0 on success; 1 when the work was refused or failed, with the reason on\n"
      << "standard error; 2 for a command line that is not understood.\n"
      << "For the printer commands, \"ok\" means the line confirmed every byte as far as it can tell\n"
      << "(see a printer command's --help): a pseudo-terminal cannot tell whether its reader took them.\n";
}

}  // namespace

bool needsGui(const QStringList& args) {
    for (qsizetype i = 1; i < args.size(); ++i)
        if (!args[i].startsWith(u'-')) {
            for (const Command& c : kCommands)
                if (args[i] == QLatin1String(c.name)) return c.display == Display::Needed;
            return false;
        }
    return false;
}

int run(const QStringList& args, Streams io) {
    const QString first = args.value(1);
    if (first.isEmpty()) {
        usage(io.err);
        return kExitUsage;
    }
    if (first == QLatin1String("-h") || first == QLatin1String("--help") || first == QLatin1String("help")) {
        usage(io.out);
        return kExitOk;
    }
    if (first == QLatin1String("-v") || first == QLatin1String("--version")) {
        io.out << kTool << ' ' << RASTIV_VERSION << '\n';
        return kExitOk;
    }
    if (const QString why = SettingsStore().problem(); !why.isEmpty())
        io.err << kTool << ": " << why << "; Rastiv's settings are not used.\n";
    for (const Command& c : kCommands)
        if (first == QLatin1String(c.name)) return c.run(args.mid(1), io);
    io.err << kTool << ": '" << first << "' is not a command. See '" << kTool << " --help'.\n";
    return kExitUsage;
}

}  // namespace rastiv::cli

#include <sys/stat.h>
#include <unistd.h>

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <array>
#include <cmath>

#include "cli/colourmatch.hpp"
#include "cli/convert.hpp"
#include "cli/interrupts.hpp"
#include "cli/subcommand.hpp"
#include "core/pixmill.hpp"
#include "core/settings.hpp"
#include "core/workfolder.hpp"
#include "link/regularfile.hpp"

namespace rastiv::cli {

namespace {

// "diffusion, ordered or nearest", or with what each is for: the
// separation's methods by name.
QString methodNames(bool withUse = false) {
    QStringList names;
    for (const SeparationMethodName& m : kSeparationMethods)
        names << (withUse ? QStringLiteral("%1 (%2)").arg(QLatin1String(m.name), QLatin1String(m.use))
                          : QString::fromLatin1(m.name));
    const QString last = names.takeLast();
    return names.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last;
}

// The same file under two names (a link of either kind, or the same path).
bool sameFile(const QString& a, const QString& b) {
    struct stat sa {}, sb {};
    if (::stat(QFile::encodeName(a).constData(), &sa) != 0 || ::stat(QFile::encodeName(b).constData(), &sb) != 0)
        return QFileInfo(a).absoluteFilePath() == QFileInfo(b).absoluteFilePath();
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// The options of a photograph's separation, and how they are read.
struct ToneOptions {
    const QCommandLineOption method{QStringLiteral("method"), QStringLiteral("With --photo: %1.").arg(methodNames(true)),
                                    QStringLiteral("M")};
    const QCommandLineOption brightness =
        option("brightness", "With --photo: lighter (up to 100) or darker (down to -100); 0 keeps it.", "N");
    const QCommandLineOption contrast =
        option("contrast", "With --photo: more (up to 100) or less (down to -100) contrast; 0 keeps it.", "N");
    const QCommandLineOption gamma =
        option("gamma", "With --photo: above 1 lightens the middle tones, below 1 darkens them, 0.1 to 10 "
                        "(default 1).",
               "G");
    const QCommandLineOption sharpen =
        option("sharpen", "With --photo: sharpens fine detail before the dots are made, 0 to 100 (default 0).", "N");

    std::array<const QCommandLineOption*, 5> all() const {
        return {&method, &brightness, &contrast, &gamma, &sharpen};
    }

    // The settings the options ask for, over the defaults in `f`; what is
    // wrong with them, empty when nothing is.
    QString read(const QCommandLineParser& p, SeparationSettings& f) const {
        if (p.isSet(method)) {
            const std::optional<SeparationMethod> m = separationMethodNamed(p.value(method).toStdString());
            if (!m) return QStringLiteral("--method takes %1").arg(methodNames());
            f.method = *m;
        }
        const auto whole = [&](const QCommandLineOption& opt, int lowest, int highest, int32_t& into) {
            if (!p.isSet(opt)) return true;
            bool ok = false;
            const int v = p.value(opt).toInt(&ok);
            if (!ok || v < lowest || v > highest) return false;
            into = v;
            return true;
        };
        if (!whole(brightness, -100, 100, f.brightness))
            return QStringLiteral("--brightness takes a whole number from -100 to 100");
        if (!whole(contrast, -100, 100, f.contrast))
            return QStringLiteral("--contrast takes a whole number from -100 to 100");
        if (!whole(sharpen, 0, 100, f.sharpen))
            return QStringLiteral("--sharpen takes a whole number from 0 to 100");
        if (p.isSet(gamma)) {
            bool ok = false;
            const double g = p.value(gamma).toDouble(&ok);
            // In hundredths, as the library takes it.
            if (!ok || !(g >= 0.1 && g <= 10))
                return QStringLiteral("--gamma takes a number from 0.1 to 10");
            f.gamma = int32_t(std::lround(g * 100));
        }
        return {};
    }
};

// Converts as the options say, in a working folder of its own.
int convert(const SubCommand& c, Streams io, const ConvertOptions& o, bool printMap) {
    // The working bitmaps live in a private folder of their own (mkdtemp),
    // gone again when the command ends, and locked meanwhile as Rastiv locks
    // its own, so that a starting Rastiv leaves it alone.  A signal ends the
    // conversion at once, taking the folder and any output half written.
    WorkFolder::removeAbandonedOutputs(QFileInfo(o.output).absolutePath());
    WorkFolder work({QDir::tempPath()}, QStringLiteral("rastiv-cli-"));
    if (!work.ok()) return c.refuse(io, QStringLiteral("No working folder can be made: %1").arg(work.problem()));
    const QString workPath = work.path(), output = o.output;
    const Interrupts interrupts([workPath, output](int signo) {
        QDir(workPath).removeRecursively();
        removeOwnPartialOutput(output);
        const QByteArray said = "\nrastiv-cli convert: stopped by " + Interrupts::name(signo).toLatin1() +
                                "; nothing was written\n";
        (void)!::write(STDERR_FILENO, said.constData(), size_t(said.size()));
        ::_exit(kExitFailed);
    });

    PixmillBinding pm;
    pm.setProblemReporter([io](const QString& text) { io.err << text << '\n'; });
    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    // Progress only for someone watching: a log file gets the outcome alone.
    ConvertWatch watch;
    int shown = -1;
    if (terminal)
        watch.progress = [&](int percent) {
            if (percent == shown) return;
            shown = percent;
            io.err << "\rconverting: " << percent << " %";
            io.err.flush();
        };
    const ConvertOutcome result = convertPicture(pm, o, work.path(), watch);
    if (terminal && shown >= 0) io.err << "\r" << QString(20, u' ') << "\r";
    if (!result.ok) return c.refuse(io, result.problem);
    if (printMap)
        for (const auto& [colour, code] : result.mapping) io.out << mapFileLine(colour, code) << '\n';
    return kExitOk;
}

}  // namespace

int cmdConvert(const QStringList& args, Streams io) {
    SubCommand c(
        "convert", QStringLiteral("[options] IN (--bmp OUT | --gfx OUT | --logo OUT)"),
        QStringLiteral("Turns a picture (BMP, PNG, JPEG, GIF, TIFF, WebP: any format Qt reads) into a file for the\n"
                       "printer, by the same steps as Rastiv: the conversion to 8 bits per pixel, the turn, the\n"
                       "new width, the automatic colour translation, a printer colour for every colour left, and\n"
                       "the save.  Transparent parts become white; a photograph's orientation note is obeyed.\n"
                       "The picture is turned before it is resized, so --width is the width of the result.\n"
                       "With --photo the picture is turned and scaled smoothly in full colour and its tones\n"
                       "become dots of paper, black and the highlight, as Rastiv's Photo does."));
    const QCommandLineOption width =
        option("width", "New width in pixels, 10 to 576; the height keeps the proportions.", "W");
    const QCommandLineOption rotate = option("rotate", "A quarter turn: +90 clockwise, -90 anticlockwise.", "+90|-90");
    const QCommandLineOption colours =
        option("colors", "Most colours to keep besides black and white, 1 to 9 (default 5).", "N", QStringLiteral("5"));
    const QCommandLineOption speed =
        option("speed", "Conversion speed, the threshold step of the translation, 1 to 10000 (default 500). A "
                        "smaller step folds colours more finely and costs more: each step that folds something "
                        "takes a look at every colour, so speed 1 can take seconds where 500 takes a fraction "
                        "of one; the picture's pixels are read and written once whatever the speed.",
               "S", QStringLiteral("500"));
    const QCommandLineOption highlight = option("highlight", kHighlightHelp, "red|blue");
    const QCommandLineOption bmp = option("bmp", "Writes the printable picture as a BMP file.", "OUT");
    const QCommandLineOption gfx = option("gfx", "Writes a graphics file (.gfx): prints as it is sent.", "OUT");
    const QCommandLineOption logo = option("logo", "Writes a logo file (.lgo): a logo definition to store.", "OUT");
    const QCommandLineOption map =
        option("map", "Printer colours chosen by hand: one line per colour, \"RRGGBB code\".", "FILE");
    const QCommandLineOption printMap =
        option("print-map", "Writes the printer colour of every colour, as a map file, to standard output.");
    const QCommandLineOption photo =
        option("photo", "Keeps a photograph's tones in dots of paper, black and the highlight instead of a few flat "
                        "colours (not with --colors, --speed, --map or --print-map).");
    const ToneOptions tones;
    for (const auto* o : {&width, &rotate, &colours, &speed, &highlight, &bmp, &gfx, &logo, &map, &printMap, &photo})
        c.p.addOption(*o);
    for (const QCommandLineOption* o : tones.all()) c.p.addOption(*o);
    QString codes = QStringLiteral("Printer colour codes (for --map):\n");
    for (const PrinterColour& r : kPrinterColours)
        codes += QStringLiteral("  %1  %2\n").arg(r.code, 2).arg(QString::fromLatin1(r.tooltip).trimmed());
    c.setEpilogue(
        codes + QStringLiteral(
                    "Without --map every colour gets the printer colour that looks nearest to it (CIELAB): a dithered\n"
                    "one as its dots and the paper average out.  The files are written whole or not at all."));
    int rc = 0;
    if (!c.parse(args, io, rc)) return rc;

    const QStringList in = c.p.positionalArguments();
    if (in.size() != 1) return c.usage(io, QStringLiteral("give one picture to convert"));
    ConvertOptions o;
    o.input = in[0];
    int outputs = 0;
    for (const auto& [option, kind] :
         {std::pair{&bmp, OutputKind::Bmp}, {&gfx, OutputKind::Gfx}, {&logo, OutputKind::Logo}})
        if (c.p.isSet(*option)) {
            ++outputs;
            o.kind = kind;
            o.output = c.p.value(*option);
        }
    if (outputs != 1) return c.usage(io, QStringLiteral("give exactly one of --bmp, --gfx and --logo"));
    if (sameFile(o.input, o.output))
        return c.usage(io, QStringLiteral("the output %1 is the picture itself: give another file to write").arg(o.output));
    if (c.p.isSet(width)) {
        bool ok = false;
        o.width = c.p.value(width).toInt(&ok);
        if (!ok) return c.usage(io, QStringLiteral("--width takes a whole number of pixels"));
    }
    if (c.p.isSet(rotate)) {
        const QString r = c.p.value(rotate);
        if (r == QLatin1String("+90") || r == QLatin1String("90"))
            o.rotate = 90;
        else if (r == QLatin1String("-90"))
            o.rotate = -90;
        else
            return c.usage(io, QStringLiteral("--rotate takes +90 or -90"));
    }
    if (c.p.isSet(photo)) {
        // A photograph keeps its tones; the few-colours choices have nothing to work on.
        for (const QCommandLineOption* few : {&colours, &speed, &map, &printMap})
            if (c.p.isSet(*few))
                return c.usage(io, QStringLiteral("--photo and --%1 exclude each other: --photo keeps the tones, "
                                                  "--%1 is for a few flat colours")
                                       .arg(few->names().constFirst()));
        SeparationSettings f;
        if (const QString wrong = tones.read(c.p, f); !wrong.isEmpty()) return c.usage(io, wrong);
        o.photo = f;
    } else {
        for (const QCommandLineOption* tone : tones.all())
            if (c.p.isSet(*tone))
                return c.usage(io, QStringLiteral("--%1 goes with --photo").arg(tone->names().constFirst()));
    }
    // Whole numbers in range only: the program's boxes read "2.9" as 2 and
    // "abc" as too small, which on a command line hides a typing mistake.
    for (const auto& [opt, highest] : {std::pair{&colours, 9}, std::pair{&speed, 10000}}) {
        bool ok = false;
        const int v = c.p.value(*opt).toInt(&ok);
        if (!ok || v < 1 || v > highest)
            return c.usage(io, QStringLiteral("--%1 takes a whole number from 1 to %2, not \"%3\"")
                                   .arg(opt->names().constFirst())
                                   .arg(highest)
                                   .arg(c.p.value(*opt)));
    }
    o.colours = c.p.value(colours);
    o.speed = c.p.value(speed);
    const SettingsStore settings;
    o.highlight = programHighlight(settings);
    if (c.p.isSet(highlight) && !readHighlight(c.p.value(highlight), o.highlight))
        return c.usage(io, QStringLiteral("--highlight takes red or blue"));
    for (const QString& read : {o.input, c.p.value(map)})
        if (const QString why = notRegularFileProblem(read); !why.isEmpty()) return c.refuse(io, why);
    if (c.p.isSet(map)) {
        QFile f(c.p.value(map));
        if (!f.open(QIODevice::ReadOnly))
            return c.refuse(io,
                            QStringLiteral("The map file %1 cannot be read: %2").arg(f.fileName(), f.errorString()));
        std::vector<MapLine> lines;
        QString problem;
        if (!parseMapFile(f.readAll(), lines, problem))
            return c.refuse(io, QStringLiteral("The map file %1 is not usable: %2").arg(f.fileName(), problem));
        o.map = std::move(lines);
    }
    return convert(c, io, o, c.p.isSet(printMap));
}

}  // namespace rastiv::cli

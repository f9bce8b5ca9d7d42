// rastiv-cli as a user runs it: a child process with its own settings
// folder, judged by its exit status, its output and the files it leaves.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <set>
#include <gtest/gtest.h>

#include "clitool.hpp"

using namespace std::string_literals;

namespace {

class Cli : public ::testing::Test {
protected:
    // The settings Rastiv keeps for this user, in the child's own folder.
    void settings(const QByteArray& ini) {
        QDir(dir.path()).mkpath(QStringLiteral("config/Vru"));
        QFile f(dir.filePath(QStringLiteral("config/Vru/Rastiv.conf")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(ini);
    }
    Outcome run(const QStringList& args) { return runTool(dir, args); }
    QString file(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    // Black on the left half, the colour in the third quarter, white paper
    // in the last.
    QString picture(QRgb colour, int width = 64, int height = 16) {
        QImage image(width, height, QImage::Format_RGB32);
        for (int x = 0; x < width; ++x)
            for (int y = 0; y < height; ++y)
                image.setPixel(x, y, x < width / 2 ? qRgb(0, 0, 0) : x < width * 3 / 4 ? colour : qRgb(255, 255, 255));
        const QString path = file("picture.png");
        EXPECT_TRUE(image.save(path));
        return path;
    }

    QTemporaryDir dir;
};

struct Row {
    QStringList args;
    int exit;
    const char* out;  // a pattern the output must match (empty: anything)
    const char* err;  // and the errors
};

TEST_F(Cli, CommandLinesGetTheirHelpTheirAnswerOrTheirUsageError) {
    const QString source = picture(qRgb(255, 0, 0));
    const auto bytes = [&] {
        QFile f(source);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    const QByteArray before = bytes();
    ASSERT_TRUE(QFile::link(source, file("link.png")));
    ASSERT_EQ(::link(QFile::encodeName(source).constData(), QFile::encodeName(file("hard.png")).constData()), 0);
    QFile notes(file("notes.png"));
    ASSERT_TRUE(notes.open(QIODevice::WriteOnly) && notes.write("just text") == 9);
    notes.close();
    const Row rows[] = {
        {{"convert", "picture.png", "--bmp", "o.bmp", "--colors", "x"}, 2, "^$", "--colors takes a whole number"},
        {{"convert", "picture.png", "--bmp", "o.bmp", "--colors", "1.5"}, 2, "^$", "from 1 to 9, not \"1.5\""},
        {{"convert", "picture.png", "--bmp", "o.bmp", "--speed", "1e3"}, 2, "^$", "from 1 to 10000, not \"1e3\""},
        {{"convert", "picture.png", "--bmp", "o.bmp", "--speed", "10001"}, 2, "^$", "--speed takes a whole number"},
        {{"convert", "picture.png", "--bmp", "picture.png"}, 2, "^$", "picture.png is the picture itself"},
        {{"convert", "picture.png", "--logo", "link.png"}, 2, "^$", "link.png is the picture itself"},
        {{"convert", "picture.png", "--gfx", "hard.png"}, 2, "^$", "hard.png is the picture itself"},
        {{"status", "--port", ""}, 2, "^$", "--port names no port"},
        {{"print", "picture.png", "--port", " "}, 2, "^$", "--port names no port"},
        {{}, 2, "^$", "^Usage: rastiv-cli COMMAND"},
        {{"--help"}, 0, "^Usage: rastiv-cli COMMAND.*\n  ports .*\n  convert .*\n  render .*\n  status ", "^$"},
        {{"-h"}, 0, "^Usage: rastiv-cli COMMAND", "^$"},
        {{"frobnicate"}, 2, "^$", "'frobnicate' is not a command. See 'rastiv-cli --help'"},
        {{"--width", "5"}, 2, "^$", "'--width' is not a command"},
        {{"convert", "--help"}, 0, "^Usage: rastiv-cli convert .*--width <W>.*--map <FILE>.*11  37% Black", "^$"},
        {{"convert"}, 2, "^$", "rastiv-cli convert: give one picture to convert\nSee 'rastiv-cli convert --help'"},
        {{"convert", "a.png"}, 2, "^$", "exactly one of --bmp, --gfx and --logo"},
        {{"convert", "a.png", "--logo", "a.lgo", "--gfx", "a.gfx"}, 2, "^$", "exactly one of --bmp, --gfx and --logo"},
        {{"convert", "a.png", "--logo", "a.lgo", "--width", "wide"}, 2, "^$", "--width takes a whole number"},
        {{"convert", "a.png", "--logo", "a.lgo", "--rotate", "180"}, 2, "^$", "--rotate takes \\+90 or -90"},
        {{"convert", "gone.png", "--logo", "a.lgo", "--rotate", "-90"}, 1, "^$", "gone.png cannot be read as a picture"},
        {{"convert", "notes.png", "--gfx", "n.gfx"}, 1, "^$", "^rastiv-cli convert: .*notes.png cannot be read as a pict"},
        {{"convert", "a.png", "--logo", "a.lgo", "--highlight", "green"}, 2, "^$", "--highlight takes red or blue"},
        {{"convert", "a.png", "--logo", "a.lgo", "--frob"}, 2, "^$", "Unknown option 'frob'"},
        {{"convert", "a.png", "--logo", "a.lgo", "--photo", "--colors", "3"}, 2, "^$", "--photo and --colors exclude"},
        {{"convert", "a.png", "--logo", "a.lgo", "--photo", "--print-map"}, 2, "^$", "--photo and --print-map exclude"},
        {{"convert", "a.png", "--logo", "a.lgo", "--gamma", "2"}, 2, "^$", "--gamma goes with --photo"},
        {{"convert", "a.png", "--logo", "a.lgo", "--photo", "--method", "halftone"}, 2, "^$", "--method takes diff"},
        {{"convert", "a.png", "--logo", "a.lgo", "--photo", "--contrast", "101"}, 2, "^$", "from -100 to 100"},
        {{"convert", "a.png", "--logo", "a.lgo", "--photo", "--gamma", "0"}, 2, "^$", "from 0.1 to 10"},
        {{"render", "a.bin"}, 2, "^$", "give the PNG file to write with -o"},
        {{"render", "a.bin", "-o", "a.png", "--as", "pdf"}, 2, "^$", "--as takes stream, gfx or lgo"},
        {{"status", "--baud", "14400"}, 2, "^$", "--baud takes one of"},
        {{"status", "--parity", "mark"}, 2, "^$", "--parity takes none, even or odd"},
        {{"status", "--wait", "0"}, 2, "^$", "--wait takes a number of milliseconds"},
        {{"status", "COM1"}, 2, "^$", "name the port with --port"},
        {{"status", "--port", "COM9"}, 1, "^$", "The port is not usable: \"COM9\" is not one of the port entries"},
        {{"status", "--port", "tcp://nowhere"}, 1, "^$", "no port number"},
        {{"status", "--port", "/dev/ttyNoSuch9"}, 1, "^$", "/dev/ttyNoSuch9 does not exist"},
        {{"status", "--port", "virtual"}, 0, "^The printer on virtual answered \\(1 byte\\)\\.\n$", "^$"},
        {{"status", "--port", "virtual", "--query", "dle-eot"}, 0, "^The printer on virtual answered \\(1 byte\\)\\.\n$",
         "^$"},
        {{"status", "--query", "ping"}, 2, "^$", "--query takes esc-v or dle-eot"},
        {{"ports"}, 0, "", ""},
    };
    for (const Row& row : rows) {
        const Outcome r = run(row.args);
        const std::string what = "rastiv-cli " + row.args.join(u' ').toStdString();
        EXPECT_EQ(r.exit, row.exit) << what << "\n" << r.err.toStdString();
        const QRegularExpression out(QString::fromLatin1(row.out), QRegularExpression::DotMatchesEverythingOption);
        const QRegularExpression err(QString::fromLatin1(row.err), QRegularExpression::DotMatchesEverythingOption);
        EXPECT_TRUE(out.match(r.out).hasMatch()) << what << " wrote:\n" << r.out.toStdString();
        EXPECT_TRUE(err.match(r.err).hasMatch()) << what << " said:\n" << r.err.toStdString();
    }
    EXPECT_EQ(bytes(), before);
    EXPECT_FALSE(QFile::exists(file("n.gfx")));  // a refused conversion leaves no file
}

TEST_F(Cli, PortsCanBeListedAsJson) {
    const Outcome r = run({"ports", "--json"});
    ASSERT_EQ(r.exit, 0) << r.err.toStdString();
    QJsonParseError e;
    const QJsonDocument doc = QJsonDocument::fromJson(r.out.toUtf8(), &e);
    EXPECT_EQ(e.error, QJsonParseError::NoError) << r.out.toStdString();
    EXPECT_TRUE(doc.isArray());
}

TEST_F(Cli, StatusOnASilentLineFailsAfterItsWait) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const QString slave = QString::fromLocal8Bit(::ptsname(master));
    const Outcome r = run({"status", "--port", slave, "--wait", "200"});
    ::close(master);
    EXPECT_EQ(r.exit, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("did not answer within 200 ms"))) << r.err.toStdString();
}

TEST_F(Cli, PortEntriesAndTheHighlightComeFromRastivsSettings) {
    settings("[Printer]\nCOM3=virtual\n[Utility]\nScreenColor=Blue\n");
    const Outcome status = run({"status", "--port", "com3"});
    EXPECT_EQ(status.exit, 0) << status.err.toStdString();
    EXPECT_EQ(status.out, QStringLiteral("The printer on COM3 (virtual) answered (1 byte).\n"));

    const QString input = picture(qRgb(0, 0, 255));
    const Outcome blue = run({"convert", input, "--bmp", file("out.bmp"), "--print-map"});
    EXPECT_EQ(blue.exit, 0) << blue.err.toStdString();
    EXPECT_TRUE(blue.out.contains(QStringLiteral("0000FF  6"))) << blue.out.toStdString();
    const Outcome red = run({"convert", input, "--bmp", file("out.bmp"), "--print-map", "--highlight", "red"});
    EXPECT_EQ(red.exit, 0) << red.err.toStdString();
    EXPECT_TRUE(red.out.contains(QStringLiteral("0000FF  2"))) << red.out.toStdString();
}

// Each --method name gives its own dots, and "diffusion" the dots of no --method at all.
TEST_F(Cli, EachMethodNameChoosesItsOwnSeparation) {
    const QString grey = picture(qRgb(128, 128, 128), 96, 32);
    const auto dots = [&](QStringList method) {
        const Outcome r = run(QStringList{"convert", grey, "--gfx", file("m.gfx"), "--photo"} + method);
        EXPECT_EQ(r.exit, 0) << method.join(u' ').toStdString() << ": " << r.err.toStdString();
        QFile f(file("m.gfx"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    const QByteArray byDefault = dots({});
    EXPECT_EQ(dots({"--method", "Diffusion"}), byDefault);
    const std::set<QByteArray> distinct{byDefault, dots({"--method", "ordered"}), dots({"--method", "nearest"})};
    EXPECT_EQ(distinct.size(), 3u);
}

// Both printer files the tool makes render as they would print.
TEST_F(Cli, ALogoAndAGraphicsFileMadeFromAPngRenderAsTheyWouldPrint) {
    const QString input = picture(qRgb(255, 0, 0), 64, 16);
    for (const auto& [kind, name] : {std::pair{"--logo", "cup.lgo"}, {"--gfx", "cup.gfx"}}) {
        const Outcome made = run({"convert", input, kind, file(name), "--highlight", "red"});
        ASSERT_EQ(made.exit, 0) << made.err.toStdString();
        EXPECT_EQ(made.out, QString());
        const Outcome drawn = run({"render", file(name), "-o", file("cup.png"), "--highlight", "red"});
        ASSERT_EQ(drawn.exit, 0) << drawn.err.toStdString();
        const QImage receipt(file("cup.png"));
        ASSERT_EQ(receipt.size(), QSize(576, 16)) << name;
        EXPECT_EQ(receipt.pixel(10, 8) & 0xFFFFFF, 0x000000u) << name;
        EXPECT_EQ(receipt.pixel(40, 8) & 0xFFFFFF, 0xFF0000u) << name;
        for (const int x : {56, 100}) EXPECT_EQ(receipt.pixel(x, 8) & 0xFFFFFF, 0xFFFFFFu) << name;
    }
}

}  // namespace

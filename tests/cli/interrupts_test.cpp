// What is not a file, signals and file size limits, as a user meets them.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QRandomGenerator>

#include "clitool.hpp"

namespace {

QStringList words(const QString& line) { return line.split(u' '); }

TEST(NotAFile, FifosAndDevicesAreRefusedAtOnceWithTheSameWords) {
    QTemporaryDir dir;
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("fifo"))).constData(), 0600), 0);
    for (const char* line : {"convert fifo --gfx o.gfx", "convert a.png --gfx o.gfx --map /dev/zero", "render fifo -o o.png",
                             "print /dev/zero --port virtual", "download-logo fifo --number 1 --port virtual",
                             "replay fifo --port virtual"}) {
        const Outcome r = runTool(dir, words(QString::fromLatin1(line)), 5000);
        EXPECT_EQ(r.exit, 1) << line;
        EXPECT_TRUE(r.err.contains(QStringLiteral(" cannot be read: it is not a regular file"))) << r.err.toStdString();
    }
    // A settings file that is a FIFO: the defaults serve, and the tool says so.
    QDir(dir.path()).mkpath(QStringLiteral("config/Vru"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("config/Vru/Rastiv.conf"))).constData(), 0600), 0);
    const Outcome r = runTool(dir, words(QStringLiteral("status --port virtual")), 5000);
    EXPECT_TRUE(r.exit == 0 && r.err.contains(QStringLiteral("Rastiv.conf cannot be read: it is not a regular file"))) << r.err.toStdString();
}

// The tool as a child, with its temporary folder in `dir`.
void start(QProcess& p, const QTemporaryDir& dir, const QStringList& args) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("TMPDIR"), dir.path());
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(dir.path());
    p.start(QStringLiteral(RASTIV_CLI_PATH), args);
    ASSERT_TRUE(p.waitForStarted());
}

TEST(Signals, SigtermDuringALogoDownloadEndsTheDownloadAndSaysSo) {
    QTemporaryDir dir;
    QByteArray logo("\x1D\x84\x01\xFF\x64", 5);  // 255 x 100: 204,000 bytes, far more than a terminal holds
    logo += QByteArray(255 * 100 * 8, '\x55');
    QFile f(dir.filePath(QStringLiteral("l.lgo")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(logo) == logo.size() && f.flush());
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_TRUE(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
    const int slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY);  // no hang-up when the tool lets go
    QProcess p;
    start(p, dir, words(QStringLiteral("download-logo l.lgo --number 7 --no-status-check --port ") + QString::fromLocal8Bit(::ptsname(master))));
    QByteArray got;
    char buf[4096];
    bool sent = false;
    for (QElapsedTimer t; !t.isValid() || t.elapsed() < 20000;) {
        if (!t.isValid()) t.start();
        if (pollfd pfd{master, POLLIN, 0}; ::poll(&pfd, 1, 20) == 1) {
            if (const ssize_t n = ::read(master, buf, sizeof buf); n > 0) got.append(buf, int(n));
            if (!sent && got.size() >= 1000) sent = ::kill(pid_t(p.processId()), SIGTERM) == 0;
        } else if (p.waitForFinished(1) || p.state() == QProcess::NotRunning) {
            break;
        }
    }
    ::close(slave);
    ::close(master);
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_TRUE(got.startsWith("\x1D\x22\x01\x1D\x23\x07") && got.endsWith(QByteArray("\x1D\x23\x00", 3)));
    EXPECT_LT(got.size(), logo.size()) << "the rest held back";
    EXPECT_TRUE(p.readAllStandardOutput().contains("failed  ")) << "the summary";
}

TEST(Signals, AConversionStoppedBySigtermOrAFileSizeLimitLeavesNothingAndSaysWhy) {
    QTemporaryDir dir;
    QImage picture(1200, 1200, QImage::Format_RGB32);  // seconds of colour translation
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(picture.bits()), picture.sizeInBytes() / 4);
    const QDir tmp(dir.path());
    ASSERT_TRUE(picture.save(dir.filePath(QStringLiteral("big.png"))));
    QProcess p;
    start(p, dir, words(QStringLiteral("convert big.png --gfx o.gfx")));
    // Stopped once its working copy is written, in the library's work.
    for (int i = 0; i < 2000 && !tmp.exists(tmp.entryList({QStringLiteral("rastiv-cli-*")}).value(0) + "/original.bmp"); ++i)
        p.waitForFinished(5);
    p.terminate();
    ASSERT_TRUE(p.waitForFinished(5000));
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_TRUE(p.readAllStandardError().contains("stopped by SIGTERM"));
    EXPECT_EQ(tmp.entryList({QStringLiteral("rastiv-cli-*"), QStringLiteral(".o.gfx*")}, QDir::AllEntries | QDir::Hidden), QStringList());
    // A working copy larger than `ulimit -f` allows: a sentence, not SIGXFSZ.
    p.start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("ulimit -f 100; exec " RASTIV_CLI_PATH
                                                                        " convert big.png --gfx o.gfx")});
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_TRUE(p.readAllStandardError().contains("File too large"));
    EXPECT_EQ(tmp.entryList({QStringLiteral("rastiv-cli-*"), QStringLiteral("*o.gfx*")}, QDir::AllEntries | QDir::Hidden), QStringList());
}

}  // namespace

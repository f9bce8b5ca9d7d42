// Each running instance works in a folder of its own.
#include "core/workfolder.hpp"
#include "fakes.hpp"
#include "ui/main/frmMain.hpp"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace rastiv;
using namespace rastiv::testing;
using namespace testing_support;

namespace {

mode_t modeOf(const QString& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(QFile::encodeName(path).constData(), &st), 0) << path.toStdString();
    return st.st_mode & 07777;
}

// What an instance that has ended leaves behind: its folder and an unheld lock.
QString leftBehind(const QString& base, const char* name) {
    const QString dir = base + QStringLiteral("/") + QString::fromLatin1(name);
    QDir().mkpath(dir);
    const std::string lock = "rastiv-workfolder 1 42\n";
    writeFile((dir + QStringLiteral("/instance.lock")).toStdString(), ByteVec(lock.begin(), lock.end()));
    writeFile((dir + QStringLiteral("/tmpfile.bmp")).toStdString(), ByteVec{'B', 'M'});
    return dir;
}

}  // namespace

TEST(WorkFolder, EachInstanceGetsAFreshPrivateFolderRemovedWhenItEnds) {
    TempDir tmp;
    const QString base = QString::fromStdString(tmp.path("data"));
    QString first, second;
    {
        WorkFolder a({base}), b({base});
        ASSERT_TRUE(a.ok() && b.ok()) << a.problem().toStdString();
        first = a.path();
        second = b.path();
        EXPECT_NE(first, second);
        EXPECT_EQ(QFileInfo(first).absolutePath(), base);
        EXPECT_TRUE(QFileInfo(first).fileName().startsWith(QStringLiteral("rastiv-")));
        EXPECT_EQ(modeOf(first), mode_t(0700));
        // A second start does not take a running instance's folder for a stale one.
        WorkFolder::sweep(base);
        EXPECT_TRUE(QFileInfo::exists(first) && QFileInfo::exists(second));
    }
    EXPECT_FALSE(QFileInfo::exists(first) || QFileInfo::exists(second));
}

TEST(WorkFolder, AnUnusableDataFolderFallsBackToANewFolderNeverAPlantedOne) {
    TempDir tmp;
    // The data folder cannot be made (a file is in its way); in the shared
    // temporary folder someone has planted the predictable name with a link.
    const QString blocked = QString::fromStdString(tmp.path("blocked"));
    writeFile(blocked.toStdString(), {});
    const QString shared = QString::fromStdString(tmp.path("shared"));
    QDir().mkpath(shared);
    const QString planted = shared + QStringLiteral("/rastiv-%1").arg(::getuid());
    QDir().mkpath(planted);
    const QString victim = QString::fromStdString(tmp.path("victim.txt"));
    writeFile(victim.toStdString(), ByteVec{'k', 'e', 'e', 'p'});
    QFile::link(victim, planted + QStringLiteral("/tmpfile.bmp"));
    ::chmod(QFile::encodeName(planted).constData(), 0777);

    WorkFolder work({blocked + QStringLiteral("/Rastiv"), shared});
    ASSERT_TRUE(work.ok()) << work.problem().toStdString();
    EXPECT_EQ(QFileInfo(work.path()).absolutePath(), shared);
    EXPECT_NE(work.path(), planted);
    EXPECT_EQ(modeOf(work.path()), mode_t(0700));

    // Loading writes the working bitmap into the new folder, not through the link.
    World w;
    w.env.workDir = work.path();
    frmMain main(w.env);
    main.endProgram = [] {};
    const QString picture = w.path("in/a.bmp");
    palettePicture(6, 4).write(picture.toStdString());
    main.loadFile(picture);
    EXPECT_EQ(main.picture().current, work.path() + QStringLiteral("/tmpfile.bmp"));
    EXPECT_TRUE(QFileInfo(main.picture().current).isFile());
    EXPECT_FALSE(QFileInfo(main.picture().current).isSymLink());
    EXPECT_EQ(readFile(victim.toStdString()), (ByteVec{'k', 'e', 'e', 'p'}));
}

TEST(WorkFolder, AStartSweepsOnlyFoldersMarkedAsOursThatNobodyHolds) {
    TempDir tmp;
    const QString base = QString::fromStdString(tmp.path(""));
    const QString victim = QString::fromStdString(tmp.path("victim.txt"));
    writeFile(victim.toStdString(), ByteVec{'k', 'e', 'e', 'p'});
    // A link inside a stale folder goes with it; what it points to stays.
    const QString stale = leftBehind(base, "rastiv-ended1"), ended = leftBehind(base, "rastiv-cli-ended1");
    QFile::link(victim, stale + QStringLiteral("/tmpfile2.bmp"));
    // A user's folders of the same name, one with a lock of its own kind, both long untouched; a folder whose
    // lock a running instance holds; a working folder of rastiv-cli still converting.
    const QString mine = leftBehind(base, "rastiv-mydata"), other = leftBehind(base, "rastiv-otherlock");
    QFile::remove(mine + QStringLiteral("/instance.lock"));
    writeFile((other + QStringLiteral("/instance.lock")).toStdString(), ByteVec{'4', '2', '\n'});
    const QString held = leftBehind(base, "rastiv-held01");
    const int fd = ::open(QFile::encodeName(held + QStringLiteral("/instance.lock")).constData(), O_RDWR);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    WorkFolder converting({base}, QStringLiteral("rastiv-cli-"));
    const timeval hoursAgo[2] = {{::time(nullptr) - 7200, 0}, {::time(nullptr) - 7200, 0}};
    for (const QString& dir : {mine, other, converting.path()}) ::utimes(QFile::encodeName(dir).constData(), hoursAgo);
    WorkFolder next({base});
    EXPECT_EQ(WorkFolder::sweep(base), 0);
    EXPECT_FALSE(QFileInfo::exists(stale) || QFileInfo::exists(ended));
    for (const QString& dir : {mine, other, held, converting.path(), next.path()})
        EXPECT_TRUE(QFileInfo::exists(dir)) << dir.toStdString();
    EXPECT_EQ(readFile(victim.toStdString()), (ByteVec{'k', 'e', 'e', 'p'}));
    ::close(fd);
    // Outputs half written: only the one whose writer is gone goes.
    const pid_t gone = ::fork();
    if (gone == 0) ::_exit(0);
    ::waitpid(gone, nullptr, 0);
    for (const pid_t pid : {gone, ::getppid()}) writeFile(tmp.path(".o.gfx.pixmill-" + std::to_string(pid) + "-AbC123"), {});
    EXPECT_EQ(WorkFolder::removeAbandonedOutputs(base), 1);
}

// The working folder of one running instance ("the program's directory" for
// the working bitmap and its temporary files).
#pragma once

#include <QString>
#include <QStringList>

namespace rastiv {

// A folder made fresh for this instance with an unpredictable name and mode
// 0700 (mkdtemp), so that a second running copy never shares its working
// picture and nobody can plant a file or a link in it beforehand.  A lock
// inside it, held for the instance's lifetime, tells running instances from
// ones that have ended; the folder is removed when the object goes.
class WorkFolder {
public:
    // Tries the bases in order, creating the first one when it is missing;
    // before that, removes from each base the folders of instances that no
    // longer run.  The folder's name starts with `prefix`, which must start
    // with "rastiv-" for the sweep to know it.
    explicit WorkFolder(const QStringList& bases, const QString& prefix = QStringLiteral("rastiv-"));
    ~WorkFolder();
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

    bool ok() const { return !path_.isEmpty(); }
    QString path() const { return path_; }
    // Why no folder could be made, for the operator.
    QString problem() const { return problem_; }

    // The per-user data folder, then $XDG_RUNTIME_DIR, then the temporary
    // folder: the later ones only serve when the earlier cannot hold a folder.
    static QStringList defaultBases();
    // Removes the folders in base that belong to this user, carry the lock
    // this class writes (the program's and the command-line tool's), and
    // that no running instance holds; returns how many went.
    static int sweep(const QString& base);
    // Removes from `folder` the image library's temporary outputs
    // (".NAME.pixmill-PID-XXXXXX") whose writer was killed: this user's,
    // of a process that no longer runs, held by nobody.  Returns how many.
    static int removeAbandonedOutputs(const QString& folder);

private:
    bool makeIn(const QString& base, const QString& prefix);

    QString path_;
    QString problem_;
    int lockFd_ = -1;
};

}  // namespace rastiv

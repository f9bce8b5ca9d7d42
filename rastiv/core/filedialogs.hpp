// Open and Save dialogs behind an interface; tests script the answers.
#pragma once

#include <QString>
#include <QStringList>

namespace rastiv {

struct FileRequest {
    enum class Mode { Open, Save };
    Mode mode = Mode::Open;
    QString startFolder;
    QString title;
    // Pairs of description and pattern joined by "|":
    // "BMP file (*.bmp)|*.bmp|All Files (*.*)|*.*".
    QString filter;
    QString defaultExtension;  // ".BMP"; empty = none added
    QString fileName;
    bool askBeforeOverwrite = false;
    // Open: only an existing file can be chosen.  A request that may name a
    // file still to be created (a new recording) turns this off.
    bool mustExist = true;
};

struct FileChoice {
    QString path;  // full path; empty when cancelled
    QString name;  // bare file name; empty when cancelled

    bool cancelled() const { return name.isEmpty(); }
    // The folder of the chosen file with its trailing "/": the path cut to its
    // length minus the length of the bare name.
    QString folder() const { return path.left(path.size() - name.size()); }
};

class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    virtual FileChoice ask(const FileRequest& r) = 0;
};

}  // namespace rastiv

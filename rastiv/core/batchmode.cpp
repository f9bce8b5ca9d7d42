#include "core/batchmode.hpp"

#include "core/env.hpp"
#include "link/messages.hpp"
#include "core/modGlobal.hpp"
#include "core/settings.hpp"

#include <QFileInfo>

namespace rastiv {

namespace {
constexpr int kBatchHelpTopic = 15;
}  // namespace

FileRequest batchFileRequest(const QString& startFolder, const QString& defaultExtension) {
    FileRequest r;
    r.mode = FileRequest::Mode::Open;
    r.startFolder = startFolder;
    r.title = QStringLiteral("Open a Batch File");
    r.filter = QStringLiteral("CPB file (*.cpb)|*.cpb|All Files (*.*)|*.*");
    r.defaultExtension = defaultExtension;
    return r;
}

FileChoice chooseRecordingFile(const Env& env) {
    FileRequest r = batchFileRequest(env.settings.read(Key::InitBatDir), QStringLiteral(".CPB"));
    r.mustExist = false;
    for (;;) {
        const FileChoice chosen = env.files.ask(r);
        if (chosen.cancelled() || !QFileInfo::exists(chosen.path)) return chosen;
        const MsgResult answer =
            tell(env,
                 QStringLiteral("The file \"%1\" already exists.  Recording into it replaces everything it holds.  "
                                "Replace it?")
                     .arg(chosen.path),
                 QStringLiteral("Replace Batch File"), MsgIcon::Exclamation, kBatchHelpTopic, MsgButtons::OkCancel);
        if (answer == MsgResult::Ok) return chosen;
        r.startFolder = chosen.folder();
    }
}

}  // namespace rastiv

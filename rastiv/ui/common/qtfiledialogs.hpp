// The file dialogs of a program with a screen.
#pragma once

#include "core/filedialogs.hpp"

namespace rastiv {

class QtFileDialogs final : public FileDialogs {
public:
    FileChoice ask(const FileRequest& r) override;
};

// "desc|pat|desc|pat" to Qt's name filters; "*.*" means every file, as the
// operator expects, also one without an extension.
QStringList qtNameFilters(const QString& filter);

}  // namespace rastiv

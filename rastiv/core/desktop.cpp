#include "core/desktop.hpp"

#include "link/messages.hpp"

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace rastiv {

bool RealDesktop::openUrl(const QUrl& url) { return QDesktopServices::openUrl(url); }

QString RealDesktop::findPaintProgram() {
    // Linux has no registry entry naming "the" paint program: prefer the
    // well-known editors that open a BMP given on the command line, and fall
    // back to whatever the desktop opens images with.
    for (const char* name : {"kolourpaint", "pinta", "mtpaint", "gimp", "drawing"}) {
        const QString found = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (!found.isEmpty()) return found;
    }
    return QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
}

bool RealDesktop::startDetached(const QString& program, const QStringList& arguments) {
    return QProcess::startDetached(program, arguments);
}

QUrl helpUrl(const QString& helpFile, int topic) {
    QUrl url = QUrl::fromLocalFile(QFileInfo(helpFile).absoluteFilePath());
    if (topic >= 0) url.setFragment(QStringLiteral("topic-%1").arg(topic));
    return url;
}

void openHelp(Desktop& desktop, MessageBoxes* messages, const QString& helpFile, int topic) {
    const bool present = !helpFile.isEmpty() && QFileInfo::exists(helpFile);
    if (present && desktop.openUrl(helpUrl(helpFile, topic))) return;
    if (!messages) return;
    Message m;
    m.title = QStringLiteral("Help");
    m.icon = MsgIcon::Information;
    m.text = present ? QStringLiteral("The help could not be shown because no web browser could be started.  "
                                      "You can open it yourself: %1")
                           .arg(helpFile)
                     : QStringLiteral("The help pages were not found.  They are installed with Rastiv in "
                                      "share/rastiv/help.");
    messages->show(m);
}

}  // namespace rastiv

#include "ui/common/qtfiledialogs.hpp"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>

namespace rastiv {

QStringList qtNameFilters(const QString& filter) {
    const QStringList parts = filter.split(u'|');
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i].trimmed();
        QString pattern = parts[i + 1].trimmed();
        pattern.replace(QStringLiteral("*.*"), QStringLiteral("*"));
        // Qt takes the patterns from the last parentheses of the entry.
        const qsizetype open = description.lastIndexOf(u'(');
        if (open > 0 && description.endsWith(u')')) description = description.left(open).trimmed();
        out << QStringLiteral("%1 (%2)").arg(description, pattern.replace(u';', u' '));
    }
    return out;
}

FileChoice QtFileDialogs::ask(const FileRequest& r) {
    QFileDialog dlg(QApplication::activeWindow(), r.title, r.startFolder);
    dlg.setNameFilters(qtNameFilters(r.filter));
    const bool save = r.mode == FileRequest::Mode::Save;
    dlg.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dlg.setFileMode(save || !r.mustExist ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (save && !r.askBeforeOverwrite) dlg.setOption(QFileDialog::DontConfirmOverwrite);
    QString ext = r.defaultExtension;
    if (ext.startsWith(u'.')) ext.remove(0, 1);
    dlg.setDefaultSuffix(ext);
    if (!r.fileName.isEmpty()) dlg.selectFile(r.fileName);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return {};
    const QString path = dlg.selectedFiles().constFirst();
    return {path, QFileInfo(path).fileName()};
}

}  // namespace rastiv

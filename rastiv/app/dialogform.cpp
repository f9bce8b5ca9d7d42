#include "app/dialogform.hpp"

#include <QDialog>
#include <QGuiApplication>
#include <QScreen>

#include "app/f1help.hpp"

namespace rastiv {

void setUpDialog(QDialog& dialog, const char* name, const QString& title, int helpTopic, QSize size) {
    dialog.setObjectName(QString::fromLatin1(name));
    dialog.setWindowTitle(title);
    setHelpTopic(&dialog, helpTopic);
    QFont small = dialog.font();
    small.setPointSizeF(8);
    dialog.setFont(small);
    dialog.setFixedSize(size);
}

void centreOnScreen(QWidget& window) {
    if (QScreen* s = QGuiApplication::primaryScreen())
        window.move(s->availableGeometry().center() - window.rect().center());
}

}  // namespace rastiv

#include "ui/common/dialogform.hpp"

#include <QDialog>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QScreen>

#include "ui/common/f1help.hpp"

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

QPlainTextEdit* noteBox(QWidget* parent, const char* name, const QString& text, const QRect& geometry) {
    auto* box = new QPlainTextEdit(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setReadOnly(true);
    box->setFrameShape(QFrame::NoFrame);
    box->setBackgroundRole(QPalette::Window);
    box->viewport()->setBackgroundRole(QPalette::Window);
    box->setFocusPolicy(Qt::NoFocus);
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    box->document()->setDocumentMargin(0);
    box->setLineWrapMode(QPlainTextEdit::NoWrap);
    box->setPlainText(text);
    box->setGeometry(geometry);
    return box;
}

int runModal(QDialog& dialog) {
    dialog.setWindowModality(Qt::WindowModal);
    return dialog.exec();
}

void centreOnScreen(QWidget& window) {
    if (QScreen* s = QGuiApplication::primaryScreen())
        window.move(s->availableGeometry().center() - window.rect().center());
}

}  // namespace rastiv

#include "ui/common/f1help.hpp"

#include "core/desktop.hpp"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QWidget>

namespace rastiv {

void setHelpTopic(QObject* o, int topic) { o->setProperty(kHelpTopicProperty, topic); }

int F1Help::topicFor(const QObject* o) {
    for (; o; o = o->parent()) {
        const QVariant v = o->property(kHelpTopicProperty);
        if (v.isValid()) return v.toInt();
    }
    return -1;
}

bool F1Help::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || static_cast<QKeyEvent*>(event)->key() != Qt::Key_F1)
        return QObject::eventFilter(watched, event);
    int topic = -1;
    QString file = helpFile_;
    if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget()); menu && menu->activeAction()) {
        topic = topicFor(menu->activeAction());
    } else {
        const QWidget* focus = QApplication::focusWidget();
        if (!focus) focus = qobject_cast<const QWidget*>(watched);
        topic = topicFor(focus);
        for (const QObject* o = focus; o; o = o->parent())
            if (o->property("helpFile").isValid()) {
                file = o->property("helpFile").toString();
                break;
            }
    }
    if (topic < 0) return QObject::eventFilter(watched, event);
    openHelp(desktop_, &messages_, file, topic);
    return true;
}

}  // namespace rastiv

// F1 opens the help at the topic of the control that has the focus (or of
// the nearest window around it that names one), or of the highlighted menu item.
#pragma once

#include <QObject>
#include <QString>

namespace rastiv {

class Desktop;
class MessageBoxes;

// Controls name their topic with this property; message boxes also name
// their help file ("helpFile"), as they may outlive the window that made them.
inline constexpr const char* kHelpTopicProperty = "helpTopic";

void setHelpTopic(QObject* o, int topic);

class F1Help final : public QObject {
public:
    // `helpFile` is read at each F1, so it may be named after the filter is in.
    F1Help(Desktop& desktop, MessageBoxes& messages, const QString& helpFile, QObject* parent = nullptr)
        : QObject(parent), desktop_(desktop), messages_(messages), helpFile_(helpFile) {}
    bool eventFilter(QObject* watched, QEvent* event) override;

    // The topic F1 would open with this widget focused, or -1.
    static int topicFor(const QObject* focus);

private:
    Desktop& desktop_;
    MessageBoxes& messages_;
    const QString& helpFile_;
};

}  // namespace rastiv

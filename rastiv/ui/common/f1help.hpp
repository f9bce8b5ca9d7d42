// F1 opens the help at the topic of the control that has the focus (or of
// the nearest window around it that names one), or of the highlighted menu item.
#pragma once

#include <QObject>

namespace rastiv {

struct Env;

// Controls name their topic with this property; message boxes also name
// their help file ("helpFile"), as they may outlive the window that made them.
inline constexpr const char* kHelpTopicProperty = "helpTopic";

void setHelpTopic(QObject* o, int topic);

class F1Help final : public QObject {
public:
    explicit F1Help(Env& env, QObject* parent = nullptr) : QObject(parent), env_(env) {}
    bool eventFilter(QObject* watched, QEvent* event) override;

    // The topic F1 would open with this widget focused, or -1.
    static int topicFor(const QObject* focus);

private:
    Env& env_;
};

}  // namespace rastiv

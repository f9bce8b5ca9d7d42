// Message boxes behind an interface, so that tests can read every box the
// program shows and answer it.
#pragma once

#include <QString>

class QWidget;

namespace rastiv {

class Desktop;

enum class MsgIcon { None, Information, Exclamation, Stop };
enum class MsgButtons { Ok, OkCancel };
enum class MsgResult { Ok, Cancel };

struct Message {
    QString text;
    QString title;
    MsgIcon icon = MsgIcon::None;
    MsgButtons buttons = MsgButtons::Ok;
    // With a topic, F1 opens helpFile there, and so does a Help button
    // unless helpButton is false.
    QString helpFile;
    int helpTopic = -1;
    bool helpButton = true;
    // Shown on request under the text ("Show Details..."): what the operator
    // needs to find the cause, such as the file and the reason it was refused.
    QString details;

    bool hasHelpButton() const { return helpTopic >= 0 && helpButton; }
};

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual MsgResult show(const Message& m) = 0;
};

// QMessageBox.  The Help button opens the help and the box comes back, so that
// the operator can read the topic and still answer the question (help that
// cannot be shown is explained in a box of its own first).
class QtMessageBoxes final : public MessageBoxes {
public:
    explicit QtMessageBoxes(Desktop& desktop) : desktop_(desktop) {}
    MsgResult show(const Message& m) override;

private:
    Desktop& desktop_;
};

}  // namespace rastiv

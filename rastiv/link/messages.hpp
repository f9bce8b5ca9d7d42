// Message boxes behind an interface, so that tests can read every box the
// program shows and answer it.  Plain values only: the printer link words
// its boxes with them, and a program without a screen writes them as lines.
#pragma once

#include <QString>

namespace rastiv {

enum class MsgIcon { None, Information, Exclamation, Stop };
// ChoiceCancel: two ways on, named by the message, and Cancel; the first
// way is the default and answers Ok, the second answers Other.
enum class MsgButtons { Ok, OkCancel, SaveDiscardCancel, ChoiceCancel };
enum class MsgResult { Ok, Cancel, Save, Discard, Other };

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
    // Shown under the text, always: why it happened and what to do about it.
    QString informative;
    // Shown on request under the text ("Show Details..."): what the operator
    // needs to find the cause, such as the file and the reason it was refused.
    QString details;
    // The captions of ChoiceCancel's two ways on ("&Photo...").
    QString firstChoice, secondChoice;

    bool hasHelpButton() const { return helpTopic >= 0 && helpButton; }
};

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual MsgResult show(const Message& m) = 0;
};

}  // namespace rastiv

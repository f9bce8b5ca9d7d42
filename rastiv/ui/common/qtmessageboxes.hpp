// The message boxes of a program with a screen.
#pragma once

#include "link/messages.hpp"

class QWidget;

namespace rastiv {

class Desktop;

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

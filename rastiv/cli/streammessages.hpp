// The link's message boxes for a program without a screen: each box is a
// line on standard error, and a box that asks (OK or Cancel, to keep trying
// a send) is answered Cancel, since nobody is there to answer it.
#pragma once

#include <QTextStream>

#include "link/messages.hpp"

namespace rastiv::cli {

class StreamMessages final : public MessageBoxes {
public:
    explicit StreamMessages(QTextStream& err) : err_(err) {}
    MsgResult show(const Message& m) override {
        err_ << m.title << ": " << m.text << '\n';
        if (!m.details.isEmpty()) err_ << m.details << '\n';
        err_.flush();
        return m.buttons == MsgButtons::OkCancel ? MsgResult::Cancel : MsgResult::Ok;
    }

private:
    QTextStream& err_;
};

}  // namespace rastiv::cli

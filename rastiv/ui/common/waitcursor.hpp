// The hourglass for the length of a scope, restored on every path out.
#pragma once

#include <QApplication>
#include <QGuiApplication>

namespace rastiv {

class WaitCursor {
public:
    WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { restore(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
    // Back to the arrow before the scope ends, e.g. before a message box.
    void restore() {
        if (active_) QGuiApplication::restoreOverrideCursor();
        active_ = false;
    }

private:
    bool active_ = true;
};

}  // namespace rastiv

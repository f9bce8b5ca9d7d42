#pragma once

#include "fakes.hpp"
#include "ui/main/frmMain.hpp"

#include <QPushButton>

namespace rastiv::testing {

// The main window with its World, shown, with the end of the program caught.
struct Shell {
    World w;
    frmMain main{w.env};
    int ended = 0;
    Shell() {
        main.endProgram = [this] { ++ended; };
        main.show();
    }
    int markerStep() const {
        for (int s = 1; s <= 5; ++s)
            if (main.shBox->x() == main.stepLabel(s)->x() - 5) return s;
        return 0;
    }
    testing_support::ByteVec working() const { return testing_support::readFile(w.working().toStdString()); }
    QString input(const char* name, const testing_support::BmpBuilder& b) {
        b.write(w.tmp.path("in/" + std::string(name)));
        return w.path("in/") + QString::fromLatin1(name);
    }
    void load(const QString& path) {
        w.files.choose(path);
        main.cmdLoad->click();
    }
    bool allEnabled() const {
        for (QPushButton* b : {main.cmdLoad, main.cmdResize, main.cmdColor, main.cmdSaveOpts, main.cmdExit,
                               main.cmdPrint, main.cmdLogo, main.cmdLegacy, main.cmdRotLeft, main.cmdRotRight,
                               main.cmdShowCurrentBMP, main.cmdShowOriginalBMP})
            if (!b->isEnabled()) return false;
        return true;
    }
};

}  // namespace rastiv::testing

// Print a Graphic: the working bitmap encoded as a graphics file, streamed to
// the printer as it prints, then a paper feed.
#pragma once

#include <QDialog>
#include <functional>

#include "core/env.hpp"
#include "core/workingpicture.hpp"

class QComboBox;
class QLabel;
class QPushButton;

namespace rastiv {

class TransferPanel;

class frmPrint final : public QDialog {
    Q_OBJECT
public:
    frmPrint(Env& env, const WorkingPicture& picture, Workflow& main, QWidget* parent = nullptr);

    QPushButton* cmdSendBMP;
    QPushButton* cmdExit;
    TransferPanel* transfer;  // the graphic's progress while it goes out, then what went out
    QLabel* lblPrinter;       // which printer the graphic goes to
    QPushButton* cmdChangePrinter;
    QLabel* lblPlacement;
    QComboBox* cbPlacement;  // left, centre or right on the paper

    void cmdSendBMP_Click();
    void cmdExit_Click();
    void cmdChangePrinter_Click();
    // Names the printer of the link as it is now.
    void showPrinter();

    // Lets the operator choose another printer (the main window opens its
    // communication dialog); the dialog works without it.
    std::function<void()> changePrinter;

    void done(int result) override;

private:
    Env& env_;
    const WorkingPicture& picture_;
    Workflow& main_;
};

}  // namespace rastiv

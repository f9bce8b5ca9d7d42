// Print a Graphic: the working bitmap encoded as a graphics file, streamed to
// the printer as it prints, then a paper feed.
#pragma once

#include <QDialog>

#include "core/env.hpp"
#include "core/workingpicture.hpp"

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

    void cmdSendBMP_Click();
    void cmdExit_Click();

    void done(int result) override;

private:
    Env& env_;
    const WorkingPicture& picture_;
    Workflow& main_;
};

}  // namespace rastiv

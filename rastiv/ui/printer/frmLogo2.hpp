// Logo Management: chooses the logo file (made from the working bitmap or
// picked from disk), erases the printer's flash, and hands the file to the
// dialogs that store it as a logo, a watermark or a margin message.
#pragma once

#include <QDialog>
#include <memory>

#include "core/env.hpp"
#include "core/workingpicture.hpp"
#include "ui/common/stepindicator.hpp"

class QLabel;
class QLineEdit;
class QPushButton;

namespace rastiv {

class Timer;

class frmLogo2 final : public QDialog {
    Q_OBJECT
public:
    frmLogo2(Env& env, const WorkingPicture& picture, QWidget* parent = nullptr);
    ~frmLogo2() override;

    // The logo file chosen or made; empty until one is.
    const QString& logoFile() const { return logoFile_; }

    QPushButton* cmdUseCurrentBitmap;
    QPushButton* cmdLogoFromFile;
    QLabel* Label1;
    QLineEdit* tbLogoName;
    QPushButton* cmdErase;
    QPushButton* cmdLogo;
    QPushButton* cmdWatermark;
    QPushButton* cmdRibbon;
    QPushButton* cmdExit;
    QLabel* lblStatus;  // what the erase did
    StepIndicator steps;
    // The erase reply's watchdog: its tick only disables it.
    std::unique_ptr<Timer> Timer1;

    void Form_Load();
    void cmdUseCurrentBitmap_Click();
    void cmdLogoFromFile_Click();
    void cmdErase_Click();
    void cmdLogo_Click();
    void cmdWatermark_Click();
    void cmdRibbon_Click();
    void cmdExit_Click();
    void tbLogoName_Change();

private:
    void createControls();
    void connectSignals();
    bool erase();
    template <class Dialog>
    void sendAs();

    Env& env_;
    QString logoFile_;  // the logo file chosen or made here, which the send dialogs send
    const WorkingPicture& picture_;
};

}  // namespace rastiv

// Download a Logo: stores the chosen logo file in the printer's flash under
// a number from 0 to 255 (240 and 243 being the top and bottom logos of
// legacy colorization) and can print it once as a check.
#pragma once

#include <QDialog>

#include "core/env.hpp"
#include "ui/common/stepindicator.hpp"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace rastiv {

class TransferPanel;

class frmDownloadLogo final : public QDialog {
    Q_OBJECT
public:
    // `logoFile`: the logo Logo Management chose, which this dialog sends.
    frmDownloadLogo(Env& env, QString logoFile, QWidget* parent = nullptr);

    QLabel* Label1;
    QLineEdit* tbLogoNum;
    QGroupBox* Frame1;
    QRadioButton* rbTopLogo;
    QRadioButton* rbBottomLogo;
    QRadioButton* rbNoLogo;
    QLabel* lblNote;
    QPushButton* cmdDownloadLogo;
    QPushButton* cmdPrintLogo;
    QPushButton* cmdExit;
    TransferPanel* transfer;  // the logo's progress while it goes out, then what went out
    StepIndicator steps;

    void Form_Load();
    void rbTopLogo_Click();
    void rbBottomLogo_Click();
    void rbNoLogo_Click();
    void tbLogoNum_Change();
    void tbLogoNum_Click();
    void cmdDownloadLogo_Click();
    void cmdPrintLogo_Click();
    void cmdExit_Click();

private:
    void createControls();
    void connectSignals();
    void useReservedNumber(int n);
    bool download();
    bool printLogo();

    Env& env_;
    const QString logoFile_;
};

}  // namespace rastiv

// Download Margin Message: stores the chosen logo (usually long, narrow and
// rotated) under a logo number and prints a sample receipt with it running
// down the left or right edge.
#pragma once

#include <QDialog>

#include "core/env.hpp"
#include "ui/common/stepindicator.hpp"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace rastiv {

class BusyDialog;
class TransferPanel;

class frmRibbonLogo final : public QDialog {
    Q_OBJECT
public:
    // `logoFile`: the logo Logo Management chose, which this dialog sends.
    frmRibbonLogo(Env& env, QString logoFile, QWidget* parent = nullptr);

    QLabel* Label1;
    QLabel* Label3;
    QLabel* Label2;
    TransferPanel* transfer;  // the download's progress while it goes out, then what went out
    QLineEdit* tbLogoNum;
    QCheckBox* chkLegacyColorization;
    QGroupBox* Frame1;
    QRadioButton* rbLeft;
    QRadioButton* rbRight;
    QPushButton* cmdRibbon;
    QPushButton* cmdPrintSample;
    QPushButton* cmdExit;
    StepIndicator steps;

    void Form_Load();
    void Label3_Click();
    void tbLogoNum_Change();
    void chkLegacyColorization_Click();
    void rbLeft_Click();
    void rbRight_Click();
    void cmdRibbon_Click();
    void cmdPrintSample_Click();
    void cmdExit_Click();

private:
    void createControls();
    void connectSignals();
    bool download();
    bool printSample(BusyDialog& busy);

    Env& env_;
    const QString logoFile_;
};

}  // namespace rastiv

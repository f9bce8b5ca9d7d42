// Define and Download Watermark: stores the chosen logo under a logo
// number, has the printer make a shaded watermark of it, and prints a sample
// receipt with the watermark behind the text.
#pragma once

#include <QDialog>

#include "core/env.hpp"
#include "ui/common/stepindicator.hpp"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

namespace rastiv {

class BusyDialog;
class TransferPanel;
class TransferProgress;

class frmWatermark final : public QDialog {
    Q_OBJECT
public:
    // `logoFile`: the logo Logo Management chose, which this dialog sends.
    frmWatermark(Env& env, QString logoFile, QWidget* parent = nullptr);

    QLabel* Label12;
    QLabel* Label11;
    QLineEdit* tbLogoIndex;
    QCheckBox* chkLegacyColorization;
    QLabel* Label4;
    QSlider* slider1;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLineEdit* tbWmIndex;
    QPushButton* cmdDefine;
    QPushButton* cmdPrintSample;
    QPushButton* cmdExit;
    TransferPanel* transfer;  // the definition's progress while it goes out, then what went out
    StepIndicator steps;

    void Form_Load();
    void chkLegacyColorization_Click();
    void tbLogoIndex_Change();
    void tbWmIndex_Change();
    void slider1_Change();
    void cmdDefine_Click();
    void cmdPrintSample_Click();
    void cmdExit_Click();

private:
    void createControls();
    void connectSignals();
    bool define(BusyDialog& busy, TransferProgress& progress);
    bool printSample(BusyDialog& busy);

    Env& env_;
    const QString logoFile_;
};

}  // namespace rastiv

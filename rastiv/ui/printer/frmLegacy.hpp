// Legacy Colorization: switches the printer's own top logo, bottom logo,
// margin message and watermark on or off in one go, prints a sample receipt
// to show what the printer adds by itself, and opens the two text attribute
// substitutions.
#pragma once

#include <QByteArray>
#include <QDialog>
#include <QList>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/env.hpp"
#include "ui/common/stepindicator.hpp"
#include "link/legacysequences.hpp"

class QCheckBox;
class QLabel;
class QPushButton;

namespace rastiv {

class Timer;

class frmLegacy final : public QDialog {
    Q_OBJECT
public:
    explicit frmLegacy(Env& env, QWidget* parent = nullptr);
    ~frmLegacy() override;

    QCheckBox* chkTopLogo;
    QCheckBox* chkBottomLogo;
    QCheckBox* chkRibbonLogo;
    QCheckBox* chkWatermark;
    QPushButton* cmdDefineLegacy;
    QPushButton* cmdPrintSample;
    QPushButton* cmdTextAttribSub;
    QPushButton* cmdTextAttribSub2;
    QPushButton* cmdExit;
    QLabel* imReceipt;
    QLabel* imReceiptWatermark;
    QLabel* imTopLogo;
    QLabel* imBottomLogo;
    QLabel* imRibbonLogoL;
    QLabel* imRibbonLogoR;
    QLabel* lblStatus;  // what Enable Selected Options did
    StepIndicator steps;
    std::unique_ptr<Timer> Timer1;

    void Form_Load();
    void chkTopLogo_Click();
    void chkBottomLogo_Click();
    void chkRibbonLogo_Click();
    void chkWatermark_Click();
    void cmdDefineLegacy_Click();
    void cmdPrintSample_Click();
    void cmdTextAttribSub_Click();
    void cmdTextAttribSub2_Click();
    void cmdExit_Click();
    void Timer1_Timer();

private:
    void createControls();
    void createPreview();
    void connectSignals();
    bool enableSelected();
    QString enabledText() const;
    void openTextSub(int16_t set);

    Env& env_;
};

}  // namespace rastiv

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

#include "app/env.hpp"
#include "app/stepindicator.hpp"

class QCheckBox;
class QLabel;
class QPushButton;

namespace rastiv {

class Timer;

namespace legacy {

// What the four boxes ask for, and the top logo spacing byte.
struct Options {
    bool topLogo = false;
    bool bottomLogo = false;
    bool marginMessage = false;
    bool watermark = false;
    uint8_t spacing = 128;
};

// One command of the configuration; after a flash write the printer needs
// its pause (and a batch recording its marker) before the next one.
struct Command {
    QByteArray bytes;
    bool flashWrite = false;
};

// The whole configuration, every feature switched on or off: 5 to 10
// commands ending in the 1D FF that makes the printer store it.
std::vector<Command> configuration(const Options& o);

// The sample receipt up to the cut, one SendData each; the status request
// and the wait for its answer follow.
QList<QByteArray> sampleReceipt();

}  // namespace legacy

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
    void openTextSub(int16_t set);

    Env& env_;
};

}  // namespace rastiv

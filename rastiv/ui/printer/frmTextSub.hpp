// Text attribute substitution: one of the printer's two entries that print
// text with some attributes (bold, underline, ...) with others instead,
// colour among them; switched on or off, with a sample receipt that prints
// a line in every attribute.
#pragma once

#include "link/legacysequences.hpp"
#include "link/sequences.hpp"

#include <QByteArray>
#include <QDialog>
#include <QList>
#include <cstdint>
#include <memory>

#include "core/env.hpp"
#include "ui/common/stepindicator.hpp"

class QCheckBox;
class QFrame;
class QLabel;
class QPushButton;

namespace rastiv {

class CommLink;
class Timer;

// Print Sample of both dialogs: the receipt goes out as print-sample data
// with the dialog busy and step 2 shown; step 3 once it has been printed.
void printSampleStep(QWidget* dialog, Env& env, StepIndicator& steps, Timer& timer,
                     const QList<QByteArray>& receipt);

class frmTextSub final : public QDialog {
    Q_OBJECT
public:
    // `set`: which of the printer's two substitution entries (1 or 2) this edits.
    frmTextSub(Env& env, int16_t set, QWidget* parent = nullptr);
    ~frmTextSub() override;

    QLabel* Label1;
    QCheckBox* chkBold;
    QCheckBox* chkItalic;
    QCheckBox* chkReverse;
    QCheckBox* chkUnderline;
    QCheckBox* chkDblHigh;
    QCheckBox* chkDblWide;
    QCheckBox* chkCompressed;
    QLabel* Label2;
    QCheckBox* chkBoldSub;
    QCheckBox* chkItalicSub;
    QCheckBox* chkReverseSub;
    QCheckBox* chkUnderlineSub;
    QCheckBox* chkDblHighSub;
    QCheckBox* chkDblWideSub;
    QCheckBox* chkCompressedSub;
    QCheckBox* chkColorSub;
    QCheckBox* chkColorReverseSub;
    QFrame* Line1;
    QPushButton* cmdSubOn;
    QPushButton* cmdSubOff;
    QPushButton* cmdPrintSample;
    QPushButton* cmdExit;
    StepIndicator steps;
    std::unique_ptr<Timer> Timer1;

    void Form_Load();
    void chkAny_Click();
    void cmdSubOn_Click();
    void cmdSubOff_Click();
    void cmdPrintSample_Click();
    void cmdExit_Click();
    void Timer1_Timer();

    // The ticked boxes.
    AttributeSet attributes() const;

private:
    void createControls();
    void connectSignals();
    QList<QCheckBox*> boxes() const;
    void switchEntry(AttributeSet set);
    bool sendEntry(AttributeSet set);

    Env& env_;
    const int16_t set_;
};

}  // namespace rastiv

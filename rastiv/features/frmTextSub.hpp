// Text attribute substitution: one of the printer's two entries that print
// text with some attributes (bold, underline, ...) with others instead,
// colour among them; switched on or off, with a sample receipt that prints
// a line in every attribute.
#pragma once

#include "link/sequences.hpp"

#include <QByteArray>
#include <QDialog>
#include <QList>
#include <cstdint>
#include <memory>

#include "app/env.hpp"
#include "app/stepindicator.hpp"

class QCheckBox;
class QFrame;
class QLabel;
class QPushButton;

namespace rastiv {

class CommLink;
class Timer;

// The sixteen boxes as one number, bit k for the k-th box: the seven "From"
// boxes (bold, italic, reverse video, underline, double high, double wide,
// compressed), then the nine "To" boxes (the same seven, colour, colour
// reverse).  Its low byte is the entry's byte A, its high byte byte B.
using AttributeSet = uint16_t;

namespace textsub {
inline constexpr int kFromCount = 7;
inline constexpr int kToCount = 9;
constexpr AttributeSet from(int i) { return AttributeSet(1u << i); }
constexpr AttributeSet to(int i) { return AttributeSet(1u << (kFromCount + i)); }

// 1F 03 17 n A B: entry n on; with A = B = 0 it is off.
QByteArray entry(uint8_t n, AttributeSet set);
// Every string of the sample receipt, one SendData each, up to the paper
// feed; the status request and the wait for its answer follow.
QList<QByteArray> sampleReceipt(AttributeSet set);
}  // namespace textsub

// Print Sample of both dialogs: the receipt goes out as print-sample data
// with the dialog busy and step 2 shown; step 3 once it has been printed.
void printSampleStep(QWidget* dialog, Env& env, StepIndicator& steps, Timer& timer,
                     const QList<QByteArray>& receipt);

class frmTextSub final : public QDialog {
    Q_OBJECT
public:
    explicit frmTextSub(Env& env, QWidget* parent = nullptr);
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
};

}  // namespace rastiv

// The step indicator of the printer dialogs: labels "Step 1", "Step 2", ...
// and one rectangle frame per step, exactly one of them visible, drawn in
// the screen colour.
#pragma once

#include <QColor>
#include <QWidget>
#include <vector>

class QLabel;

namespace rastiv {

// The screen colour of a paper's highlight: red, else blue.
inline QColor highlightColour(bool red) { return red ? QColor(255, 0, 0) : QColor(0, 0, 255); }

// A hollow rectangle over other controls; clicks go through it.
class StepFrame final : public QWidget {
public:
    StepFrame(QWidget* parent, const QRect& at);
    void setColour(const QColor& c);
    QColor colour() const { return colour_; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QColor colour_{255, 0, 0};
};

class StepIndicator {
public:
    // Adds step n+1: its label at `labelAt` and its frame at `frameAt`.
    void add(QWidget* parent, const char* labelName, const char* frameName, const QRect& labelAt,
             const QRect& frameAt);
    // For dialogs whose frames each surround more than one step: the labels
    // ("Step 1", "Step 2", ... in the order added) and the frames (numbered
    // for show() in the order added) are added on their own.
    void addLabel(QWidget* parent, const char* name, const QRect& at);
    void addFrame(QWidget* parent, const char* name, const QRect& at);
    // Shows the frame of `step` (1-based) and hides the others.
    void show(int step);
    // Pure red on a red screen, pure blue otherwise; labels and frames alike.
    void setScreenRed(bool red);
    int shown() const { return shown_; }
    QLabel* label(int step) const { return labels_.at(size_t(step - 1)); }
    StepFrame* frame(int step) const { return frames_.at(size_t(step - 1)); }

private:
    std::vector<QLabel*> labels_;
    std::vector<StepFrame*> frames_;
    int shown_ = 0;
};

}  // namespace rastiv

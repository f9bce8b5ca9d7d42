// Color Translation: folds the working bitmap's colours into a few dominant
// ones with a growing distance threshold, then hands what remains to manual
// colour mapping.
#pragma once

#include "core/env.hpp"
#include "core/workingpicture.hpp"
#include "core/colourwork.hpp"

#include <QDialog>
#include <functional>
#include <vector>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QFrame;

namespace rastiv {

// " 25%", or "<1%" for a colour under one percent.
QString percentText(int32_t percent);

class frmColors final : public QDialog {
    Q_OBJECT
public:
    frmColors(Env& env, const WorkingPicture& picture, Workflow& main, QWidget* parent = nullptr);
    ~frmColors() override;

    QPlainTextEdit* Text1;
    QLabel* Label1;
    QLineEdit* tbNumUserColors;
    QLabel* Label3;
    QLineEdit* tbColorSpeed;
    QLabel* Label4;
    QFrame* Line1;
    QLabel* lblNumber;
    QLabel* lblThreshold;
    QPushButton* cmdSetUpRemap;
    QPushButton* cmdCancel;

    void cmdSetUpRemap_Click();
    void cmdCancel_Click();

    bool running() const { return running_; }
    // The mapping was applied (Re-Map finished): anything else leaves the
    // main window to put the picture back.
    bool mapped() const { return mapped_; }
    // Shows the manual mapping for the colours collected (tests look at the
    // hand-over instead).  By default the mapping dialog, modally, which
    // hands the session back with its renderings once Re-Map applied them.
    std::function<void(ColourSession&)> openMapping;
    // What translation and mapping found out, as the mapping left it.
    const ColourSession& session() const { return session_; }

    void done(int result) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool refuse(const ColourInputs& in);
    void translate();
    // The rank and threshold the run has reached, in the labels, and what
    // is pending (a repaint, a Cancel click) let through.
    void showProgress();
    void tellLibraryError(int32_t code);

    Env& env_;
    const WorkingPicture& picture_;
    Workflow& main_;
    ColourSession session_;
    bool running_ = false;
    bool cancelled_ = false;
    int rank_ = 0;
    int32_t threshold_ = 0;
    qint64 shownAtMs_ = 0;  // when the labels were last refreshed
    bool mapped_ = false;
};

}  // namespace rastiv

// Photo: a photograph's tones kept in dots of paper white, black and the
// highlight ink (the library's separation), beside the few flat colours of
// Modify Colors.  The preview shows the printed dots as they will come out,
// at the size of the receipt or dot for dot; Apply makes them the working
// bitmap in one step.
#pragma once

#include "core/env.hpp"
#include "core/workingpicture.hpp"
#include "pageout/separation.hpp"

#include <QDialog>
#include <memory>
#include <pixmill/pixmill.h>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QScrollArea;
class QSlider;

namespace rastiv {

class Timer;

// What the dialog's controls ask of the library: the separation, on the
// paper's two inks or in black only.
struct PhotoSettings : SeparationSettings {
    bool blackOnly = false;
    bool operator==(const PhotoSettings&) const = default;
};

class frmPhoto final : public QDialog {
    Q_OBJECT
public:
    frmPhoto(Env& env, const WorkingPicture& picture, Workflow& main, QWidget* parent = nullptr);
    ~frmPhoto() override;

    QScrollArea* picPreview;
    QLabel* imPreview;
    QLabel* lbMethod;
    QComboBox* cboMethod;
    QLabel* lbBrightness;
    QSlider* sldBrightness;
    QLabel* lbContrast;
    QSlider* sldContrast;
    QLabel* lbGamma;
    QDoubleSpinBox* spnGamma;
    QLabel* lbSharpen;
    QSlider* sldSharpen;
    QCheckBox* chkBlackOnly;
    QCheckBox* chkEveryDot;
    QLabel* lbFit;  // says that a picture wider than the paper is fitted to it
    QPushButton* cmdReset;
    QPushButton* cmdApply;
    QPushButton* cmdCancel;

    PhotoSettings settings() const;
    // The width of the picture that Photo fits to the paper, 0 when it fits already.
    uint32_t fittedFrom() const { return fittedFrom_; }
    // The settings the preview shows, once it has been made.
    const PhotoSettings& previewed() const { return previewed_; }

    // Handlers, public so that tests can drive them as the operator would.
    void settingChanged();
    void Timer1_Timer();
    void cmdReset_Click();
    void cmdApply_Click();
    void cmdCancel_Click();

    void done(int result) override;

private:
    // Separates the working bitmap into `path`: the library's code.
    int32_t separate(const PhotoSettings& s, const QString& path);
    // A picture wider than the paper is fitted to it first, smoothly and in
    // full colour, so that the dots come from every pixel it had.
    void fitToPaper();
    void showPreview();
    void Form_Unload();

    Env& env_;
    const WorkingPicture& picture_;
    Workflow& main_;
    std::unique_ptr<Timer> Timer1;  // the preview follows the controls after a short pause
    QString source_;  // what the dots are made from: the working bitmap, or its fitted copy
    uint32_t fittedFrom_ = 0;
    PhotoSettings previewed_;
    bool havePreview_ = false;
    bool unloaded_ = false;
};

}  // namespace rastiv

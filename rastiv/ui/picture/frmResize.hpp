// Resize Bitmap: a new width of 10 to 576 pixels, the height scaled alike.
#pragma once

#include "core/env.hpp"
#include "core/workingpicture.hpp"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace rastiv {

// The width the operator typed, made usable: its leading number rounded
// down, then held to 10..576.  Returns the texts the box shows on the way:
// first the normalised number (" 300"), then the clamped one if different.
struct WidthInput {
    QString normalised;
    QString final;
    int32_t width;
};
WidthInput normaliseWidth(const QString& typed);

class frmResize final : public QDialog {
    Q_OBJECT
public:
    frmResize(Env& env, const WorkingPicture& picture, Workflow& main, QWidget* parent = nullptr);

    QPlainTextEdit* tbText1;
    QLabel* Label1;
    QLineEdit* tbWidth;
    QPushButton* cmdResize;
    QPushButton* cmdCancel;

    void cmdResize_Click();
    void cmdCancel_Click();

    void done(int result) override;

private:
    void Form_Load();
    void Form_Unload();

    Env& env_;
    const WorkingPicture& picture_;
    Workflow& main_;
    bool unloaded_ = false;
    bool resized_ = false;
};

}  // namespace rastiv

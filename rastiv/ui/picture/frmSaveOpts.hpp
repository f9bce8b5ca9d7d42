// Save Options: the working bitmap saved as a BMP, graphics or logo file.
#pragma once

#include "core/env.hpp"
#include "core/workingpicture.hpp"
#include "core/filedialogs.hpp"

#include <QDialog>

class QLabel;
class QPushButton;

namespace rastiv {

enum class SaveKind { Bmp, Gfx, Logo };

class frmSaveOpts final : public QDialog {
    Q_OBJECT
public:
    frmSaveOpts(Env& env, const WorkingPicture& picture, Workflow& main, QWidget* parent = nullptr);

    QPushButton* cmdSaveLogo;
    QPushButton* cmdSaveGfx;
    QPushButton* cmdSaveBMP;
    QPushButton* cmdExit;
    QLabel* lblStatus;  // what the last save did

    void cmdSaveLogo_Click();
    void cmdSaveGfx_Click();
    void cmdSaveBMP_Click();
    void cmdExit_Click();

    void done(int result) override;

private:
    void save(SaveKind kind);
    QString destination(SaveKind kind, const FileChoice& choice);
    void Form_Unload();

    Env& env_;
    const WorkingPicture& picture_;
    Workflow& main_;
    bool unloaded_ = false;
};

}  // namespace rastiv

// Save Options: the working bitmap saved as a BMP, graphics or logo file.
#pragma once

#include "core/env.hpp"
#include "core/workingpicture.hpp"
#include "core/filedialogs.hpp"

#include <QDialog>
#include <optional>

class QComboBox;
class QLabel;
class QPushButton;

namespace rastiv {

enum class SaveKind { Bmp, Gfx, Logo };

// A file saved from the working bitmap, to save again the same way.
struct SavedFile {
    SaveKind kind = SaveKind::Bmp;
    QString path;
};

// The library call that writes the working bitmap as `kind` to `file`
// (graphics files placed on the paper as the settings say): its result code.
int32_t saveWorkingPicture(Env& env, const WorkingPicture& picture, SaveKind kind, const QString& file);
// The box that says a save failed, with what to do about it.
void tellSaveFailed(Env& env, const WorkingPicture& picture, SaveKind kind, int32_t r, const QString& file);

class frmSaveOpts final : public QDialog {
    Q_OBJECT
public:
    frmSaveOpts(Env& env, const WorkingPicture& picture, Workflow& main, QWidget* parent = nullptr);

    QPushButton* cmdSaveLogo;
    QPushButton* cmdSaveGfx;
    QPushButton* cmdSaveBMP;
    QPushButton* cmdExit;
    QLabel* lblStatus;  // what the last save did
    QLabel* lblPlacement;
    QComboBox* cbPlacement;  // where a graphics file puts a narrow picture on the paper

    void cmdSaveLogo_Click();
    void cmdSaveGfx_Click();
    void cmdSaveBMP_Click();
    void cmdExit_Click();

    void done(int result) override;
    // The last file this dialog saved, if it saved one.
    const std::optional<SavedFile>& lastSaved() const { return lastSaved_; }

private:
    void save(SaveKind kind);
    QString destination(SaveKind kind, const FileChoice& choice);
    void Form_Unload();

    Env& env_;
    const WorkingPicture& picture_;
    Workflow& main_;
    bool unloaded_ = false;
    std::optional<SavedFile> lastSaved_;
};

}  // namespace rastiv

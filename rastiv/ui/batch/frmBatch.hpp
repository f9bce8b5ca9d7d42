// Batch File Play: sends a recorded batch file to the connected printer,
// waiting wherever the recording waited.
#pragma once

#include <QDialog>

#include "core/env.hpp"
#include "ui/common/stepindicator.hpp"
#include "ui/common/waitcursor.hpp"

class QLabel;
class QPushButton;

namespace rastiv {

class TransferPanel;

class frmBatch final : public QDialog {
    Q_OBJECT
public:
    explicit frmBatch(Env& env, QWidget* parent = nullptr);

    QPushButton* cmdPlay;
    QPushButton* cmdReplay;
    QPushButton* cmdExit;
    QLabel* lblProgress;
    TransferPanel* transfer;  // the playback's progress and its Cancel, while it plays
    StepIndicator steps;

    void Form_Load();
    void cmdPlay_Click();
    void cmdReplay_Click();
    void cmdExit_Click();

    // The file chosen last with Play, for Replay.
    const QString& currentFile() const { return currentFile_; }

private:
    bool playable(const QString& path, WaitCursor& hourglass);
    QString play(const QString& path);
    void setButtonsEnabled(bool on);
    QString sendingText(const QString& path) const;

    Env& env_;
    QString currentFile_;
};

}  // namespace rastiv

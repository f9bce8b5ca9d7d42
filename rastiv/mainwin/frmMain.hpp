// The main window: the five steps, the picture, the tools and the menus.
#pragma once

#include "app/env.hpp"
#include "app/filedialogs.hpp"
#include "app/frmSplash.hpp"
#include "app/modGlobal.hpp"

#include <QMainWindow>
#include <QPointer>
#include <functional>

class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QFrame;

namespace rastiv {

class frmComm;


// The step marker: a hollow rectangle with a 4-pixel border in the screen colour.
class StepMarker final : public QWidget {
public:
    explicit StepMarker(QWidget* parent);
    void setBorderColor(const QColor& c);
    QColor borderColor() const { return colour_; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QColor colour_;
};

class frmMain final : public QMainWindow, public Workflow {
    Q_OBJECT
public:
    explicit frmMain(Env& env, QWidget* parent = nullptr);
    ~frmMain() override;

    // Public operations the dialogs and start-up use.
    void SetScreenRed();
    void SetScreenBlue();
    // Tells the printer its paper type (0, 1, 4 or 5), asking for the
    // connection first when there is none.
    void SetMediaType(const int16_t& type);
    void DisableButtons() override;
    void EnableButtons() override;
    void ShowBitmap(const QString& path) override;
    void ReadBitmapSize(const QString& path) override;
    void MoveStepMarker(int step) override;
    // Loads a picture without asking for it (the file named at start).
    void loadFile(const QString& path);

    // How the program ends (tests replace it).
    std::function<void()> endProgram;

    QLabel* lbStep1;
    QLabel* lbStep2;
    QLabel* lbStep3;
    QLabel* lbStep4;
    QLabel* lbStep5;
    QPushButton* cmdLoad;
    QPushButton* cmdResize;
    QPushButton* cmdColor;
    QPushButton* cmdSaveOpts;
    QPushButton* cmdExit;
    StepMarker* shBox;
    QLabel* image1;
    QLabel* Image2;
    QFrame* Shape2;
    QLabel* Label3;
    QPushButton* cmdPrint;
    QPushButton* cmdLogo;
    QPushButton* cmdLegacy;
    QPushButton* cmdRotLeft;
    QPushButton* cmdRotRight;
    QPushButton* cmdCrop;
    QPushButton* cmdMSPaint;
    QFrame* Shape1;
    QLabel* Label1;
    QPushButton* cmdShowOriginalBMP;
    QPushButton* cmdShowCurrentBMP;

    QMenu* mnuFile;
    QAction* mnuFileExit;
    QMenu* mnuBatchMode;
    QAction* mnuBatchModeEnable;
    QAction* mnuBatchModeOmit;
    QAction* mnuBatchModePlay;
    QMenu* mnuColor;
    QMenu* mnuColorScreen;
    QAction* mnuColorScreenRed;
    QAction* mnuColorScreenBlue;
    QMenu* mnuColorMedia;
    QAction* mnuColorMediaType0;
    QAction* mnuColorMediaType1;
    QAction* mnuColorMediaType4;
    QAction* mnuColorMediaType5[3];
    QMenu* mnuAdvanced;
    QAction* mnuAdvancedTopLogoSpacing;
    QMenu* mnuHelp;
    QAction* mnuHelpContents;
    QAction* mnuAbout;

    QLabel* stepLabel(int step) const;

    // Handlers, public so that tests can drive them as the operator would.
    void cmdLoad_Click();
    void cmdResize_Click();
    void cmdColor_Click();
    void cmdSaveOpts_Click();
    void cmdExit_Click();
    void cmdPrint_Click();
    void cmdLogo_Click();
    void cmdLegacy_Click();
    void cmdRotLeft_Click();
    void cmdRotRight_Click();
    void cmdCrop_Click();
    void cmdMSPaint_Click();
    void cmdShowOriginalBMP_Click();
    void cmdShowCurrentBMP_Click();
    void mnuFileExit_Click();
    void mnuBatchModeEnable_Click();
    void mnuBatchModeOmit_Click();
    void mnuBatchModePlay_Click();
    void mnuColorScreenRed_Click();
    void mnuColorScreenBlue_Click();
    void mnuColorMediaType0_Click();
    void mnuColorMediaType1_Click();
    void mnuColorMediaType4_Click();
    void mnuColorMediaType5_Click(int index);
    void mnuAdvancedTopLogoSpacing_Click();
    void mnuHelpContents_Click();
    void mnuAbout_Click();

    frmSplash* aboutBox() const { return about_; }
    // The communication dialog, created on first use and kept, hidden, between uses.
    frmComm& comm();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void createControls();
    void createMenus();
    void setTabOrder();
    void connectSignals();
    void Form_Load();
    void Form_Unload();

    void load(const FileChoice& choice);
    void rotate(int32_t direction);
    void showCommFor(bool modGlobal::*wanted);
    void showPrintDialog();
    void showLogoDialog();
    void showBatchDialog();
    void showLegacyDialog();
    bool requireBitmap(const QString& title);
    void setScreenColour(const QColor& c);
    void screenColourNote();
    QList<QPushButton*> busyButtons() const;

    Env& env_;
    QPointer<frmSplash> about_;
    QPointer<frmComm> comm_;
    bool unloaded_ = false;
};

}  // namespace rastiv

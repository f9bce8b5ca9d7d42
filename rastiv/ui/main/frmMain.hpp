// The main window: the five steps, the picture, the tools and the menus.
#pragma once

#include "core/env.hpp"
#include "core/filedialogs.hpp"
#include "core/history.hpp"
#include "core/modGlobal.hpp"
#include "ui/common/frmSplash.hpp"
#include "ui/main/picturedocument.hpp"
#include "ui/main/pictureview.hpp"
#include "ui/picture/frmSaveOpts.hpp"

#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <functional>

class QAction;
class QActionGroup;
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

// The window: the steps and the tools, laid out, and the menus.  The picture
// and its history belong to the document, its view to the PictureView.
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
    void ShowPicture(const QImage& picture) override;
    void ReadBitmapSize(const QString& path) override;
    void MoveStepMarker(int step) override;
    void PictureSaved() override;
    // Loads a picture without asking for it (the file named at start, one
    // dropped on the window or pasted).
    void loadFile(const QString& path);
    void loadImage(const QImage& picture, const QString& name);

    // The view of the picture: 1.0 shows one picture pixel per screen pixel.
    static constexpr double kMinZoom = PictureView::kMinZoom;
    static constexpr double kMaxZoom = PictureView::kMaxZoom;
    double zoom() const { return picArea->zoom(); }
    bool fitting() const { return picArea->fitting(); }
    void zoomBy(double factor) { picArea->zoomBy(factor); }
    int currentStep() const { return picture_.step; }
    const EditHistory& history() const { return document_.history(); }
    // The picture being worked on, which the window owns.
    const WorkingPicture& picture() const { return picture_; }
    // Changes to the picture that no file holds yet (the paint program's
    // edits included).
    bool hasUnsavedChanges() { return document_.hasUnsavedChanges(); }
    // The button of the step the marker points at, where the keyboard focus
    // goes back after a dialog: never Exit, which would end the program on
    // the next Enter.
    QPushButton* stepButton(int step) const;
    // The status bar's message, the last thing done and how it ended.
    QString statusText() const;

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
    PictureLabel* image1 = nullptr;
    PictureView* picArea = nullptr;
    QLabel* lbStatus = nullptr;
    QLabel* lbPictureSize = nullptr;
    QLabel* lbZoom = nullptr;
    QLabel* lbNextStep = nullptr;
    QLabel* Image2;
    QFrame* Shape2;
    QLabel* Label3;
    QPushButton* cmdPrint;
    QPushButton* cmdLogo;
    QPushButton* cmdLegacy;
    QPushButton* cmdRotLeft;
    QPushButton* cmdRotRight;
    QPushButton* cmdCrop;
    QPushButton* cmdPhoto = nullptr;  // the tones of a photograph in dots, beside Modify Colors
    QPushButton* cmdMSPaint;
    QFrame* Shape1;
    QLabel* Label1;
    QPushButton* cmdShowOriginalBMP;
    QPushButton* cmdShowCurrentBMP;

    QMenu* mnuFile;
    QAction* mnuFileOpen;
    QMenu* mnuFileRecent;
    QAction* mnuFileSave;
    QAction* mnuFileSaveAs;
    QAction* mnuFileExport;
    QAction* mnuFilePrint;
    QAction* mnuFileExit;
    QAction* mnuFileQuit;
    QMenu* mnuEdit;
    QAction* mnuEditUndo;
    QAction* mnuEditRedo;
    QAction* mnuEditPaste;
    QMenu* mnuView;
    QAction* mnuViewFit;
    QAction* mnuViewActual;
    QAction* mnuViewZoomIn;
    QAction* mnuViewZoomOut;
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
    QActionGroup* screenChoice = nullptr;
    QActionGroup* mediaChoice = nullptr;
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
    void cmdPhoto_Click();
    void cmdMSPaint_Click();
    void cmdShowOriginalBMP_Click();
    void cmdShowCurrentBMP_Click();
    void mnuFileOpen_Click();
    void mnuFileSave_Click();
    void mnuFileSaveAs_Click();
    void mnuFileExport_Click();
    void mnuFilePrint_Click();
    void mnuFileExit_Click();
    void mnuFileQuit_Click();
    void openRecent(const QString& path);
    // The pictures loaded last, newest first, as Open Recent lists them.
    QStringList recentFiles() const;
    // Takes in a change another program made to the working bitmap (the
    // paint program's), as the window does when it gets the focus back.
    void checkOutsideEdit();
    void mnuEditUndo_Click();
    void mnuEditRedo_Click();
    void mnuEditPaste_Click();
    void mnuViewFit_Click();
    void mnuViewActual_Click();
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
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The layout (mainlayout.cpp).
    void createControls();
    void createMenus();
    void createFileMenu();  // filemenu.cpp, with the File menu's work
    void fillRecentMenu();
    void rememberRecent(const QString& path);
    void setTabOrder();
    void connectSignals();
    void placeRightColumn();

    // The window's own work (frmMain.cpp).
    void Form_Load();
    void Form_Unload();
    bool mayReplacePicture(const QString& doing);
    void focusHarmless();
    void updateTitle();
    void showStatus(const QString& text);
    void updateEditActions();
    bool requireBitmap(const QString& title);
    QList<QPushButton*> busyButtons() const;

    // The screen colour, the paper type and the printer's dialogs (maintools.cpp).
    void chooseMedia(QAction* item, int16_t type);
    void offerRecolour();
    // Opens what `then` opens once a printer answers, asking for the connection first.
    void withConnection(const std::function<void()>& then);
    void showPrintDialog();
    void showLogoDialog();
    void showBatchDialog();
    void showLegacyDialog();
    // Asks how to make a picture the printer cannot print yet printable
    // (Photo, Modify Colors) before anything is written; true to print.
    bool mayPrint();
    // Modify Colors without the question whether Photo would suit better.
    void modifyColours();
    // The paper's highlight colour in words: "red" or "blue".
    QString highlightName() const;
    void setScreenColour(const QColor& c);
    void screenColourNote();

    Env& env_;
    QPointer<frmSplash> about_;
    QPointer<frmComm> comm_;
    bool unloaded_ = false;
    bool busy_ = false;
    QPointer<QWidget> focusBeforeBusy_;
    QString recordingFile_;
    bool paperTypeSet_ = false;
    QAction* mediaItem_ = nullptr;  // the paper type told last, in this run
    QString loading_;                      // the file being loaded, for Open Recent once it has loaded
    std::optional<SavedFile> lastSaved_;  // where Save writes again, for this picture
    WorkingPicture picture_;
    int32_t coloursUsed_ = 0;  // by the working bitmap, as the marker last moved
    PictureDocument document_;
    QList<QPair<QWidget*, QRect>> rightColumn_;  // their places at the smallest size
};

}  // namespace rastiv

// Manual Color Translation: the operator gives each colour left after the
// automatic translation a printer colour (solid or dithered black, white,
// solid or dithered highlight), and Re-Map rewrites the working bitmap in
// those printable colours.
#pragma once

#include "core/env.hpp"
#include "core/workingpicture.hpp"
#include "ui/picture/frmColors.hpp"

#include <QAbstractButton>
#include <QDialog>
#include <QImage>
#include <QList>
#include <array>
#include <memory>

class QLabel;
class QPushButton;
class QScrollBar;

namespace rastiv {

class Timer;

// A 40 x 40 swatch as the printer renders the code: black or the highlight
// colour on white, dithered in 2 x 2 cells (37 % as a sparse scatter).
QImage swatchImage(const PrinterColour& c, bool screenRed);

// A picture that acts as a button: it takes the keyboard focus, is pressed
// with Space or Enter, and draws its picture (or its fill colour) with a
// focus frame.  Image colour boxes may carry the cross of a mapped colour.
class ColourButton final : public QAbstractButton {
    Q_OBJECT
public:
    explicit ColourButton(QWidget* parent);
    void setFill(const QColor& c);
    void setPicture(const QImage& picture);
    void setCrossed(bool on);
    bool crossed() const { return crossed_; }
    QColor fill() const { return fill_; }

protected:
    void paintEvent(QPaintEvent*) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QColor fill_ = Qt::white;
    QImage picture_;
    bool crossed_ = false;
};

class frmColorMap final : public QDialog {
    Q_OBJECT
public:
    frmColorMap(Env& env, const WorkingPicture& picture, Workflow& main, ColourSession session,
                QWidget* parent = nullptr);
    ~frmColorMap() override;

    QLabel* lbInstructions;
    QList<ColourButton*> UserColor;
    QList<QLabel*> lbPercentage;
    QScrollBar* vscSrcColor;
    QWidget* HighlightBox;
    std::array<ColourButton*, 11> MapColor{};
    QPushButton* cmdMap;
    QPushButton* cmdPropose;
    QPushButton* cmdCancel;

    // Handlers, public so that tests can drive them as the operator would.
    void UserColor_MouseDown(int index);
    void MapColor_MouseUp(int index);
    void Timer1_Timer();
    void vscSrcColor_Change();
    void cmdMap_Click();
    // Gives every image colour not yet matched the printer colour that looks
    // nearest to it; the operator then only corrects.
    void cmdPropose_Click();
    void cmdCancel_Click();

    bool blinking() const;
    // The lines drawn: pairs of an image colour and a printer colour index.
    const QList<std::pair<int, int>>& lines() const { return lines_; }
    int selectedColor() const { return SelectedColor; }
    // The colours and the renderings given so far.
    ColourSession& session() { return session_; }
    // Where the left column's boxes and labels sit for colour row r (0-based).
    static int boxTop(int row) { return row * 50 + 110; }
    static int labelTop(int row) { return row * 50 + 120; }

    void done(int result) override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    void DrawColorMap();
    void stopBlink();
    void Form_Unload();
    void addImageColour(int index, const ImageColour& c);
    void describe(int index, int32_t code);

    Env& env_;
    const WorkingPicture& picture_;
    Workflow& main_;
    ColourSession session_;
    std::unique_ptr<Timer> Timer1;
    int SelectedColor = 0;
    uint32_t FlashColor = 0;
    int FlashTick = 0;
    // The lines on the dialog's surface as last drawn: pairs of an image
    // colour index (0-based) and a printer colour index.
    QList<std::pair<int, int>> lines_;
    bool unloaded_ = false;
};

}  // namespace rastiv

// What every dialog of the program sets up the same way.
#pragma once

#include <QSize>
#include <QString>

class QComboBox;
class QDialog;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QRect;
class QWidget;

namespace rastiv {

class SettingsStore;

// Object name, title, help topic (F1), the 8-point font the pixel layouts
// are drawn for, and a fixed size in pixels.
void setUpDialog(QDialog& dialog, const char* name, const QString& title, int helpTopic, QSize size);

// Runs a dialog modal to the window it belongs to, not to the whole
// program: the Virtual Printer window stays usable beside it.
int runModal(QDialog& dialog);

// Makes a button's whole caption show in the desktop's font: the button
// grows about its centre by at most `growth` pixels a side, and where that is
// not enough its font shrinks until the caption fits.
void fitCaption(QPushButton& button, int growth);

// The dialogs' plain controls: a label or a push button on `parent`, with its
// object name (what tests and the accessibility bus find it by), caption and
// place in pixels.
QLabel* makeLabel(QWidget* parent, const char* name, const QString& caption, const QRect& at);
QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption, const QRect& at);

// The "Place on the paper" list and its label: it shows the stored placement
// and stores a new choice at once, so every dialog that offers it agrees.
QComboBox* makePlacementChoice(QWidget* parent, SettingsStore& settings, const QString& toolTip, const QRect& label,
                               const QRect& list, QLabel*& labelOut);

// Centres a window on the screen.
void centreOnScreen(QWidget& window);

// A multi-line text box that only informs: read-only, frameless on the
// window's background, not in the tab order, lines as given (no wrapping).
QPlainTextEdit* noteBox(QWidget* parent, const char* name, const QString& text, const QRect& geometry);

}  // namespace rastiv

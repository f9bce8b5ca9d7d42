// What every dialog of the program sets up the same way.
#pragma once

#include <QSize>
#include <QString>

class QDialog;
class QWidget;

namespace rastiv {

// Object name, title, help topic (F1), the 8-point font the pixel layouts
// are drawn for, and a fixed size in pixels.
void setUpDialog(QDialog& dialog, const char* name, const QString& title, int helpTopic, QSize size);

// Centres a window on the screen.
void centreOnScreen(QWidget& window);

}  // namespace rastiv

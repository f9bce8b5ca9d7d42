// What the program asks of the desktop: open the help, find and start the
// paint program.  Tests record these requests instead.
#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

namespace rastiv {

class Desktop {
public:
    virtual ~Desktop() = default;
    virtual bool openUrl(const QUrl& url) = 0;
    // The command of a program that edits bitmaps, or empty when none is found.
    virtual QString findPaintProgram() = 0;
    virtual bool startDetached(const QString& program, const QStringList& arguments) = 0;
};

class RealDesktop final : public Desktop {
public:
    bool openUrl(const QUrl& url) override;
    QString findPaintProgram() override;
    bool startDetached(const QString& program, const QStringList& arguments) override;
};

// The address of one help topic: the help index with the topic's anchor; a
// negative topic means the contents.
QUrl helpUrl(const QString& helpFile, int topic);

// Opens the help at the topic and tells the operator in plain words when the
// desktop cannot show it.
class MessageBoxes;
void openHelp(Desktop& desktop, MessageBoxes* messages, const QString& helpFile, int topic);

}  // namespace rastiv

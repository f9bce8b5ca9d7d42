// The part of a sending dialog that follows a transfer: a status line, and
// while bytes are going out a progress bar and a Cancel button.  The status
// line stays after the transfer with what the dialog has to say about it.
#pragma once

#include <QRect>
#include <QString>
#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

namespace rastiv {

class TransferProgress;

class TransferPanel final : public QWidget {
    Q_OBJECT
public:
    // `verb` says what happens to the bytes in the progress text ("sent", "played").
    TransferPanel(QWidget* parent, const QRect& geometry, const QString& verb = QStringLiteral("sent"));

    QLabel* lblTransfer;       // the status line; while sending, the progress figures
    QProgressBar* pbTransfer;  // shown while sending
    QPushButton* cmdCancel;    // shown while sending; enabled while there is something left to stop

    // Follows `progress` from its start (the bar and Cancel appear, Cancel
    // takes the focus) until called with nullptr (they go again).
    void follow(TransferProgress* progress);
    void setStatus(const QString& text);
    QString status() const;

    void cmdCancel_Click();

private:
    void showProgress();

    QString verb_;
    TransferProgress* progress_ = nullptr;
};

}  // namespace rastiv

// What the logo dialogs (logo management, download, watermark, margin
// message) have in common: the logo number rules, the printer commands that
// store and show logos, the download sequence, the sample receipt lines, and
// the small pieces of dialog behaviour they all follow.
#pragma once

#include <optional>

#include <QByteArray>
#include <QPointer>
#include <QRect>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "core/env.hpp"
#include "ui/common/waitcursor.hpp"
#include "link/commands.hpp"
#include "link/commlink.hpp"
#include "link/sequences.hpp"
#include "link/transferprogress.hpp"

class QWidget;

namespace rastiv {

struct modGlobal;
class BatchRecording;
class StepIndicator;
class TransferPanel;

// ---- Logo numbers ----

// A number box as the operator left it.  Empty means no text at all: a
// blank box reads as the number 0, like any text that is not a number.
enum class NumberCheck { Empty, OutOfRange, Valid };

struct LogoNumber {
    NumberCheck check = NumberCheck::Empty;
    uint8_t byte = 0;  // what goes on the wire; meaningful only when Valid
    bool valid() const { return check == NumberCheck::Valid; }
};

// The leading number of the text, valid from 0 to 255 inclusive as typed;
// the byte is that number rounded to the nearest whole one, halves to even
// (2.5 -> 2, 3.5 -> 4).
LogoNumber readLogoNumber(const QString& text);

// The printer commands, under the name the logo code has long used.
namespace logocmd = cmd;

// ---- Command sequences ----

// Blocks a dialog's input and shows the hourglass for the length of one
// command; both come back on every way out, after the clicks that queued up
// meanwhile have been let through to the (still disabled) dialog and dropped.
// Meanwhile the command is a Transfer: the dialog's close box and Escape do
// nothing, and the main window does not close either.
class BusyDialog {
public:
    BusyDialog(QWidget* dialog, Env& env);
    // The same for a command whose transfer the operator can follow and
    // cancel: the dialog's controls are blocked, but not the panel, which
    // follows `progress` (and starts the command with an empty status line).
    BusyDialog(QWidget* dialog, Env& env, TransferPanel& panel, TransferProgress& progress);
    ~BusyDialog();
    BusyDialog(const BusyDialog&) = delete;
    BusyDialog& operator=(const BusyDialog&) = delete;

    // A message that ends the command: the arrow comes back first.
    MsgResult tell(const QString& text, const QString& title, MsgIcon icon, int helpTopic,
                   MsgButtons buttons = MsgButtons::Ok, const QString& details = {}, const QString& informative = {});
    // A number the command cannot use: "Parameter Error", information icon.
    void refuse(const QString& text, int helpTopic);

private:
    QWidget* dialog_;
    Env& env_;
    TransferPanel* panel_ = nullptr;
    std::vector<QPointer<QWidget>> blocked_;  // with a panel: the controls to give back
    QPointer<QWidget> focus_;
    Transfer transfer_;
    std::unique_ptr<QObject> holdOpen_;
    WaitCursor hourglass_;
};

// Checks the logo file Logo Management chose before anything of it is sent:
// it can be read and is a whole logo.  Its size; -1 after the problem was
// said, with the dialog's help topic.
qint64 checkedLogoFile(const QString& logoFile, BusyDialog& busy, int helpTopic);

// Stores the logo file in the printer as logo n: the download header, the logo
// number, the file in pieces of gSendChunk with the last piece sent even
// when empty, the pause for the flash write (with its batch marker), and
// the deselect.  The file is checked first (a problem is said before
// anything is sent, with the dialog's help topic: Abandoned).  `progress`
// is started with the file's size plus `thenSent`, what the caller sends
// after the download and a Cancel would still hold back.
TransferEnd downloadLogo(Env& env, const QString& logoFile, BusyDialog& busy, uint8_t n, int helpTopic,
                         TransferProgress& progress, qint64 thenSent = 0);
// The same without a Cancel: true when the logo went out whole.
bool downloadLogo(Env& env, const QString& logoFile, BusyDialog& busy, uint8_t n, int helpTopic);
// The logo number in `text`, or nothing once the operator is told why:
// `missing` when the box is empty, the range of logo numbers otherwise.
std::optional<uint8_t> logoNumberOrRefuse(BusyDialog& busy, const QString& text, const QString& missing,
                                          int helpTopic);
// A dialog's logo download: the number checked first, nothing sent without
// an open port, and the status line saying how it went (`done`, with the
// number and the size, when whole; `what` to download again after a Cancel).
// True when the logo went out whole, or when no port is open (nothing to
// wait for then).
bool downloadNumberedLogo(QWidget* dialog, Env& env, const QString& logoFile, TransferPanel& panel,
                          const QString& numberText, int helpTopic, const QString& missing, const QString& done,
                          const QString& what);

// The advice a sample gets when legacy colorization is to print the
// feature instead ("Watermark", "Margin Message"), in a plain box.
QString legacyAdvice(const QString& feature);
void tellLegacyAdvice(BusyDialog& busy, const QString& feature);

// ---- Dialog pieces ----

// Adds steps 1..count to an indicator, the labels at the given places and
// each frame drawn around its label.
void addSteps(StepIndicator& steps, QWidget* parent, std::initializer_list<QPoint> labelsAt);

// Calls `handler` when the widget is clicked (pressed and released on it),
// for labels and text boxes whose click moves a step indicator.
void onClick(QWidget* w, std::function<void()> handler);

// The program's own title, for the plain boxes that have no other.
inline constexpr const char* kProgramTitle = "Rastiv";

}  // namespace rastiv

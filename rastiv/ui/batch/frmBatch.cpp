#include "ui/batch/frmBatch.hpp"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "ui/common/dialogform.hpp"
#include "ui/common/f1help.hpp"
#include "core/filedialogs.hpp"
#include "core/modGlobal.hpp"
#include "core/pixmill.hpp"
#include "core/settings.hpp"
#include "ui/common/transferpanel.hpp"
#include "ui/common/waitcursor.hpp"
#include "core/batchmode.hpp"
#include "ui/printer/logocommon.hpp"
#include "core/printerfiles.hpp"
#include "link/commlink.hpp"

namespace rastiv {

namespace {
constexpr int kHelpTopic = 15;
const QString kCompleteText = QStringLiteral("Complete.  Click a button to continue.");
}  // namespace

frmBatch::frmBatch(Env& env, QWidget* parent) : QDialog(parent), env_(env) {
    setUpDialog(*this, "frmBatch", QStringLiteral("Batch File Play"), kHelpTopic, {345, 226});
    auto button = [this](const char* name, const QString& text, int top) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setGeometry(80, top, 257, 25);
        return b;
    };
    cmdPlay = button("cmdPlay", QStringLiteral("&Load and Play a Batch File"), 12);
    cmdReplay = button("cmdReplay", QStringLiteral("&Replay Current File"), 48);
    cmdExit = button("cmdExit", QStringLiteral("&Exit"), 84);
    for (int i = 0; i < 3; ++i) {
        const int top = 12 + 36 * i;
        const QByteArray label = "lblStep" + QByteArray::number(i + 1), frame = "sBox" + QByteArray::number(i + 1);
        steps.add(this, label.constData(), frame.constData(), {12, top + 4, 57, 17}, {6, top - 2, 69, 29});
    }
    lblProgress = makeLabel(this, "lblProgress", {}, {8, 120, 329, 49});
    lblProgress->setWordWrap(true);
    transfer = new TransferPanel(this, {8, 172, 329, 46}, QStringLiteral("played"));
    cmdPlay->setDefault(true);
    connect(cmdPlay, &QPushButton::clicked, this, &frmBatch::cmdPlay_Click);
    connect(cmdReplay, &QPushButton::clicked, this, &frmBatch::cmdReplay_Click);
    connect(cmdExit, &QPushButton::clicked, this, &frmBatch::cmdExit_Click);
    Form_Load();
}

void frmBatch::Form_Load() {
    centreOnScreen(*this);
    steps.setScreenRed(env_.g.gScreenRed);
    steps.show(1);
}

QString frmBatch::sendingText(const QString& path) const {
    return QStringLiteral("Sending ") + path + QStringLiteral(" to the printer...");
}

void frmBatch::setButtonsEnabled(bool on) {
    cmdPlay->setEnabled(on);
    cmdReplay->setEnabled(on);
    cmdExit->setEnabled(on);
}

void frmBatch::cmdPlay_Click() {
    steps.show(1);
    {
        WaitCursor hourglass;
        setButtonsEnabled(false);
        const FileChoice chosen =
            env_.files.ask(batchFileRequest(env_.settings.read(Key::InitBatDir), QStringLiteral(".cpb")));
        if (!chosen.cancelled()) {
            env_.settings.write(Key::InitBatDir, chosen.folder());
            currentFile_ = chosen.path;
            env_.link.yield();
            if (playable(chosen.path, hourglass)) {
                lblProgress->setText(sendingText(chosen.path));
                lblProgress->setText(play(chosen.path));
            }
        }
    }
    steps.show(2);
    setButtonsEnabled(true);
}

void frmBatch::cmdReplay_Click() {
    steps.show(2);
    {
        WaitCursor hourglass;
        setButtonsEnabled(false);
        if (!currentFile_.isEmpty()) {
            if (playable(currentFile_, hourglass)) {
                lblProgress->setText(sendingText(currentFile_));
                lblProgress->setText(play(currentFile_));
            }
        } else {
            hourglass.restore();
            tell(env_, QStringLiteral("No file specified."), QStringLiteral("File Open Error"), MsgIcon::Information,
                 kHelpTopic);
        }
    }
    steps.show(3);
    setButtonsEnabled(true);
}

void frmBatch::cmdExit_Click() { done(QDialog::Accepted); }

// A recording holds printer commands as they were sent; a picture chosen by
// mistake would go to the printer as commands too.  It plays only when the
// operator says so.
bool frmBatch::playable(const QString& path, WaitCursor& hourglass) {
    if (!looksLikeBitmap(path)) return true;
    hourglass.restore();
    return tell(env_,
                QStringLiteral("The file \"%1\" starts with \"BM\" as a bitmap picture does, not as a batch file.  "
                               "Its bytes would reach the printer as commands.  Play it anyway?")
                    .arg(path),
                QStringLiteral("Batch File Play"), MsgIcon::Exclamation, kHelpTopic,
                MsgButtons::OkCancel) == MsgResult::Ok;
}

// Plays the file with the dialog blocked and held open until the whole file
// has gone out, or a Cancel has stopped it where the printer can take it;
// returns the text that says how it ended.
QString frmBatch::play(const QString& path) {
    TransferProgress progress(env_.link.lineSettings());
    BusyDialog busy(this, env_, *transfer, progress);
    const Playback played = playBatchFile(env_.link, env_.batch, path, progress, [&](bool waiting) {
        lblProgress->setText(waiting ? QStringLiteral("Waiting for the printer...") : sendingText(path));
    });
    // The progress line has had its say; the result goes where the dialog
    // has always said how a playback ended.
    transfer->setStatus({});
    if (played.end != TransferEnd::Cancelled) return kCompleteText;
    return QStringLiteral("Cancelled: %1 of %2 bytes of the file were played%3; the rest was not sent.  Click a "
                          "button to continue.")
        .arg(byteCount(progress.sent()), byteCount(progress.total()),
             played.downloadEnded ? QStringLiteral(", then the end of the logo download under way") : QString());
}

}  // namespace rastiv

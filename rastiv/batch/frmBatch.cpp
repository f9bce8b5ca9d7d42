#include "batch/frmBatch.hpp"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "app/dialogform.hpp"
#include "app/f1help.hpp"
#include "app/filedialogs.hpp"
#include "app/modGlobal.hpp"
#include "app/pixmill.hpp"
#include "app/settings.hpp"
#include "app/waitcursor.hpp"
#include "batch/batchmode.hpp"
#include "features/logocommon.hpp"
#include "features/printerfiles.hpp"
#include "link/commlink.hpp"

namespace rastiv {

namespace {
constexpr int kHelpTopic = 15;
constexpr int kReadCount = 100;
}  // namespace

frmBatch::frmBatch(Env& env, QWidget* parent) : QDialog(parent), env_(env) {
    setUpDialog(*this, "frmBatch", QStringLiteral("Batch File Play"), kHelpTopic, {345, 177});
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
    lblProgress = new QLabel(this);
    lblProgress->setObjectName(QStringLiteral("lblProgress"));
    lblProgress->setGeometry(8, 120, 329, 49);
    lblProgress->setWordWrap(true);
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
                play(chosen.path);
                lblProgress->setText(QStringLiteral("Complete.  Click a button to continue."));
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
                play(currentFile_);
                lblProgress->setText(QStringLiteral("Complete.  Click a button to continue."));
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

// Sends the recorded bytes in pieces of at most 100, and answers each pause
// with WaitForPrinter alone: the marker's stand-in zero bytes are not
// printer data, so a replay sends exactly what was recorded.  The dialog
// stays disabled and open until the whole file has gone out.
void frmBatch::play(const QString& path) {
    BusyDialog busy(this, env_);
    BatchRecording& batch = env_.batch;
    batch.OpenBatchFile(path, false);
    if (!batch.isOpen()) return;  // the library has said why
    for (;;) {
        QByteArray buffer(kReadCount + 10, ' ');
        int32_t count = kReadCount;
        int32_t pause = 0;
        const bool more = env_.pixmill.BatchRead(env_.g.gBatchFileHandle, buffer, count, pause) == 1;
        if (pause) {
            lblProgress->setText(QStringLiteral("Waiting for the printer..."));
            env_.link.WaitForPrinter();
            lblProgress->setText(sendingText(path));
        } else if (more && !env_.link.SendData(buffer.left(count))) {
            break;
        }
        env_.link.yield();
        if (!more) break;
    }
    batch.CloseBatchFile();
}

}  // namespace rastiv

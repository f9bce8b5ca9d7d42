#include "ui/printer/frmPrint.hpp"

#include <QComboBox>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "ui/common/dialogform.hpp"
#include "ui/common/f1help.hpp"
#include "core/loadproblem.hpp"
#include "core/modGlobal.hpp"
#include "core/picturepipeline.hpp"
#include "core/pixmill.hpp"
#include "ui/common/transferpanel.hpp"
#include "link/filestream.hpp"
#include "ui/printer/logocommon.hpp"
#include "core/printerfiles.hpp"
#include "core/printable.hpp"
#include "core/placement.hpp"
#include "core/portdevices.hpp"
#include "link/commlink.hpp"
#include "link/regularfile.hpp"

namespace rastiv {

namespace {
constexpr int kHelpBitmap = 1;
constexpr int kHelpPixmill = 6;

// What the status line says once the graphic has gone out, or some of it.
QString printedText(TransferEnd end, const TransferProgress& p) {
    const QString sent = byteCount(p.sent()), total = byteCount(p.total());
    switch (end) {
        case TransferEnd::Complete:
            return QStringLiteral("Done: %1 bytes of the graphic were sent, then the paper feed.").arg(total);
        case TransferEnd::Cancelled:
            return QStringLiteral("Cancelled: %1 of %2 bytes of the graphic were sent, to the end of a line of the "
                                  "picture, then the paper feed; the rest was not sent.")
                .arg(sent, total);
        case TransferEnd::Abandoned:
            break;
    }
    return QStringLiteral("Stopped: %1 of %2 bytes of the graphic were sent; the rest and the paper feed were not.")
        .arg(sent, total);
}
}  // namespace

frmPrint::frmPrint(Env& env, const WorkingPicture& picture, Workflow& main, QWidget* parent)
    : QDialog(parent), env_(env), picture_(picture), main_(main) {
    setUpDialog(*this, "frmPrint", QStringLiteral("Print a Graphic"), kHelpBitmap, {265, 290});
    cmdSendBMP = makeButton(this, "cmdSendBMP", QStringLiteral("Send &Graphic to the Printer"), {8, 8, 249, 25});
    cmdSendBMP->setDefault(true);
    cmdExit = makeButton(this, "cmdExit", QStringLiteral("E&xit"), {8, 48, 249, 25});
    transfer = new TransferPanel(this, {8, 84, 249, 86});
    lblPrinter = makeLabel(this, "lblPrinter", {}, {8, 178, 249, 34});
    lblPrinter->setWordWrap(true);
    lblPrinter->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    cmdChangePrinter = makeButton(this, "cmdChangePrinter", QStringLiteral("C&hange Printer..."), {8, 216, 249, 25});
    cbPlacement = makePlacementChoice(this, env_.settings,
                                      QStringLiteral("Where a picture narrower than the paper prints on it."),
                                      {8, 253, 124, 25}, {136, 253, 121, 25}, lblPlacement);
    QWidget::setTabOrder(cmdSendBMP, cmdExit);
    QWidget::setTabOrder(cmdExit, cmdChangePrinter);
    QWidget::setTabOrder(cmdChangePrinter, cbPlacement);
    showPrinter();
    connect(cmdSendBMP, &QPushButton::clicked, this, &frmPrint::cmdSendBMP_Click);
    connect(cmdExit, &QPushButton::clicked, this, &frmPrint::cmdExit_Click);
    connect(cmdChangePrinter, &QPushButton::clicked, this, &frmPrint::cmdChangePrinter_Click);
    centreOnScreen(*this);
}

void frmPrint::cmdSendBMP_Click() {
    modGlobal& g = env_.g;
    SendingPrintSample sample(env_.batch);  // a printed graphic is print-sample data for a recording
    TransferProgress progress(env_.link.lineSettings());
    BusyDialog busy(this, env_, *transfer, progress);
    if (picture_.widthOrZero() > kMaxPrintWidth) {
        busy.tell(QStringLiteral("The bitmap is too wide.  Make sure to re-size it before modifying the colors or "
                                 "saving it as a graphic or logo."),
                  QStringLiteral("Bitmap Size Error"), MsgIcon::Information, kHelpBitmap);
        return;
    }
    if (!picture_.loaded()) {
        busy.tell(QStringLiteral("You must load a BMP file before you can print anything."),
                  QStringLiteral("Parameter Error"), MsgIcon::Information, kHelpBitmap);
        return;
    }
    const QString gfx = env_.workPath("tmpfile.gfx");
    const int32_t r = saveBMPAsPlacedGfx(env_.pixmill, picture_.current, gfx, g.paperKind(),
                                         storedPlacement(env_.settings), env_.workPath("tmpplaced.bmp"));
    if (r != 0) {
        busy.tell(errorNumber(r) + QStringLiteral(" saving the BMP file as a graphics (*.GFX) file."),
                  QStringLiteral("PIXMILL DLL Error"), MsgIcon::Exclamation, kHelpPixmill, MsgButtons::Ok, {},
                  r == PIXMILL_E_FORMAT ? unprintableColoursAdvice(picture_.current, g.paperKind())
                                        : fileAdvice(env_.pixmill, r, picture_.current));
        return;
    }
    if (!env_.link.lineOpen()) return;
    // Raster lines print as they arrive: a broken one would print the rest
    // of the stream as picture.
    QFile file(gfx);
    const QString problem = !notRegularFileProblem(gfx).isEmpty() ? QStringLiteral("it is not a regular file")
                            : file.open(QIODevice::ReadOnly)      ? graphicsFileProblem(file.readAll())
                                                                  : QStringLiteral("it cannot be read");
    file.close();
    if (!problem.isEmpty()) {
        busy.tell(QStringLiteral("The graphics file \"%1\" cannot be sent to the printer: %2.").arg(gfx, problem),
                  QStringLiteral("File Format Error"), MsgIcon::Exclamation, kHelpPixmill);
        return;
    }
    const TransferEnd end = sendGraphic(env_.link, gfx, env_.link.sendChunk(), progress);
    transfer->setStatus(printedText(end, progress));
}

void frmPrint::cmdExit_Click() { done(QDialog::Rejected); }

void frmPrint::cmdChangePrinter_Click() {
    if (changePrinter) changePrinter();
    showPrinter();
}

void frmPrint::showPrinter() {
    const QString where = env_.link.printerAnswering() ? printerName(env_.link.lineSettings())
                                                             : QStringLiteral("no printer (not connected)");
    lblPrinter->setText(QStringLiteral("Prints to: %1").arg(where));
}

// Unloading hands the main window its buttons back, however the dialog closes.
void frmPrint::done(int result) {
    QDialog::done(result);
    main_.EnableButtons();
}

}  // namespace rastiv

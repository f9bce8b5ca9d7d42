// A world connected to the virtual printer through the communication
// dialog, as the printer dialogs' tests start from, with batch recording at hand.
#pragma once

#include "fakes.hpp"
#include "ui/printer/frmComm.hpp"
#include "core/portdevices.hpp"
#include "link/termiosport.hpp"
#include "link/virtualprinter.hpp"

#include <gtest/gtest.h>

namespace rastiv::testing {

// The printer's bytes spelt out as its manual gives them, not taken from the
// program's own table, so that a wrong entry there cannot pass unseen.
inline const QByteArray kBegin = hex("1D 22 01");     // start a logo download
inline const QByteArray kDeselect = hex("1D 23 00");  // end it: no logo selected
inline const QByteArray kFeed = hex("1B 4A FF 19");   // feed the paper past the cutter
inline QByteArray select(int n) { return hex("1D 23") + char(n); }

struct PrinterBench {
    World w;
    RecordingWorkflow main{w.picture};
    frmComm comm{w.env, main};
    VirtualPrinter* printer = nullptr;  // the last one the dialog made
    int replyDelayMs = 20;
    bool powered = true;
    QString recording;

    // The virtual printer's device makes virtual printers; any other is a real line.
    PrinterBench() {
        comm.makePort = [this](const QString& device) -> std::unique_ptr<SerialPort> {
            if (device != QLatin1String(kVirtualPrinterDevice)) return std::make_unique<TermiosPort>(w.clock);
            auto p = std::make_unique<VirtualPrinter>(w.clock);
            p->setReplyDelayMs(replyDelayMs);
            p->setPowered(powered);
            printer = p.get();
            return p;
        };
        w.g.gHelpFile = QStringLiteral("/opt/rastiv/help/index.html");
        setPortDevice(w.settings, 0, QString::fromLatin1(kVirtualPrinterDevice));
    }
    // Connects as the operator would and forgets what the connection sent.
    void connect() {
        comm.cmdConnect_Click();
        EXPECT_TRUE(w.link.printerAnswering());
        clear();
    }
    QList<QByteArray> writes() const { return printer->writes(); }
    void clear() {
        printer->clearReceived();
        w.messages.shown.clear();
    }
    void record() {
        recording = w.path("out/rec.cpb");
        w.batch.OpenBatchFile(recording, true);
        w.batch.setEnabled(true);
    }
    // A monochrome logo file `x` bytes across and `bands` bands of 8 rows
    // high: the header (1D 84, kind 1, X, Y) and x * 8 bytes a band of letters.
    QByteArray logoFile(int x, int bands = 1) {
        QByteArray bytes = hex("1D 84 01") + char(x) + char(bands);
        for (int i = 0; i < x * 8 * bands; ++i) bytes += char('A' + i % 26);
        logo = w.path("in/pic.lgo");
        testing_support::writeFile(logo.toStdString(), testing_support::ByteVec(bytes.begin(), bytes.end()));
        return bytes;
    }
    QString logo;  // the logo file the send dialogs are handed
    QByteArray recorded() {
        w.batch.setEnabled(false);
        w.batch.CloseBatchFile();
        return fileBytes(recording);
    }
};

}  // namespace rastiv::testing

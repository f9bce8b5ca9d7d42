#include "ui/printer/frmComm.hpp"

#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

#include "link/clock.hpp"
#include "ui/common/dialogform.hpp"
#include "ui/common/f1help.hpp"
#include "core/modGlobal.hpp"
#include "core/numtext.hpp"
#include "core/settings.hpp"
#include "ui/common/waitcursor.hpp"
#include "ui/printer/frmVirtualPrinter.hpp"
#include "link/commlink.hpp"
#include "link/connectiontest.hpp"
#include "core/portdevices.hpp"
#include "core/portname.hpp"
#include "link/virtualprinter.hpp"

namespace rastiv {

namespace {

constexpr int kHelpTopic = 7;
constexpr int kChunk = 50;

// Reads a list's stored index; a missing key is written as "0".  Indexes
// outside the list select its first entry.
int storedIndex(SettingsStore& settings, Key key, int count) {
    if (settings.read(key, QStringLiteral("None")) == QLatin1String("None")) settings.write(key, QStringLiteral("0"));
    return storedListIndex(settings, key, count);
}

}  // namespace

QString settingsString(const QString& baudText, const QString& parityText) {
    return baudText + u',' + parityText.left(1) + QStringLiteral(",8,1");
}

int portNumber(const QString& entryText) { return entryText.isEmpty() ? 0 : entryText.right(1).toInt(); }

frmComm::frmComm(Env& env, Workflow& main, QWidget* parent) : QDialog(parent), env_(env), main_(main) {
    createControls();
    connectSignals();
    // What the virtual printer prints is shown beside the main window, for
    // every connection of the run.  Its window belongs to no other: a dialog
    // modal to the main window would block it too.
    auto* preview = new VirtualPrinterPreview(env_, nullptr, this);
    makePort = [this, preview](const QString& device) {
        std::unique_ptr<SerialPort> line = makeSerialPort(device, env_.clock);
        if (auto* printer = qobject_cast<VirtualPrinter*>(line.get())) preview->watch(*printer);
        return line;
    };
    Form_Load();
}

void frmComm::createControls() {
    setUpDialog(*this, "frmComm", QStringLiteral("Communication Configuration"), kHelpTopic, {409, 321});

    // The virtual printer is a printer of its own, not a device behind a port.
    rbSerial = new QRadioButton(QStringLiteral("A printer on a &serial port"), this);
    rbSerial->setObjectName(QStringLiteral("rbSerial"));
    rbSerial->setGeometry(8, 8, 393, 21);
    rbVirtual = new QRadioButton(QStringLiteral("The &virtual printer (on screen, no hardware needed)"), this);
    rbVirtual->setObjectName(QStringLiteral("rbVirtual"));
    rbVirtual->setGeometry(8, 32, 393, 21);
    constexpr int kDown = 56;  // the port's controls sit under the two choices

    auto list = [this](const char* name, QRect at) {
        auto* l = new QListWidget(this);
        l->setObjectName(QString::fromLatin1(name));
        l->setGeometry(at);
        l->setSelectionMode(QAbstractItemView::SingleSelection);
        return l;
    };
    // A list is named on the accessibility bus by its label, not by the
    // entry that happens to be selected.
    auto label = [this](const char* name, const QString& text, QRect at, QWidget* buddy) {
        auto* l = makeLabel(this, name, text, at);
        l->setBuddy(buddy);
        buddy->setAccessibleName(QString(text).remove(u'&'));
        return l;
    };
    lbCommPorts = list("lbCommPorts", {8, 28 + kDown, 97, 129});
    Label1 = label("Label1", QStringLiteral("Port"), {8, 8 + kDown, 97, 17}, lbCommPorts);
    lbBaudRate = list("lbBaudRate", {120, 28 + kDown, 97, 129});
    lblBaudRate = label("lblBaudRate", QStringLiteral("Baud Rate"), {120, 8 + kDown, 97, 17}, lbBaudRate);
    lbParity = list("lbParity", {232, 28 + kDown, 81, 57});
    lblParity = label("lblParity", QStringLiteral("Parity"), {232, 8 + kDown, 81, 17}, lbParity);

    // Which Linux device the selected port entry stands for.
    cbDevice = new QComboBox(this);
    cbDevice->setObjectName(QStringLiteral("cbDevice"));
    cbDevice->setEditable(true);
    cbDevice->setInsertPolicy(QComboBox::NoInsert);
    cbDevice->setGeometry(8, 184 + kDown, 305, 25);
    cbDevice->setToolTip(QStringLiteral("The serial device of the selected port: pick one that is present, type "
                                        "its path, type tcp://HOST:PORT for a printer behind a serial device "
                                        "server."));
    lblDevice = label("lblDevice", QStringLiteral("&Device for this port"), {8, 164 + kDown, 305, 17}, cbDevice);

    auto button = [this](const char* name, const QString& text, QRect at) { return makeButton(this, name, text, at); };
    cmdConnect = button("cmdConnect", QStringLiteral("Co&nnect"), {328, 28 + kDown, 73, 25});
    cmdConnect->setDefault(true);
    cmdCancel = button("cmdCancel", QStringLiteral("&Cancel"), {328, 60 + kDown, 73, 25});
    cmdHelp = button("cmdHelp", QStringLiteral("&How do I determine my printer settings?"), {8, 224 + kDown, 393, 25});
}

void frmComm::connectSignals() {
    connect(lbCommPorts, &QListWidget::itemClicked, this, &frmComm::lbCommPorts_Click);
    connect(lbBaudRate, &QListWidget::itemClicked, this, &frmComm::lbBaudRate_Click);
    connect(lbParity, &QListWidget::itemClicked, this, &frmComm::lbParity_Click);
    // Keyboard selection counts as a click, as the operator expects.
    connect(lbCommPorts, &QListWidget::currentRowChanged, this, [this] { if (!filling_) lbCommPorts_Click(); });
    connect(lbBaudRate, &QListWidget::currentRowChanged, this, [this] { if (!filling_) lbBaudRate_Click(); });
    connect(lbParity, &QListWidget::currentRowChanged, this, [this] { if (!filling_) lbParity_Click(); });
    connect(cbDevice, &QComboBox::currentTextChanged, this, [this] { if (!filling_) cbDevice_Change(); });
    connect(rbVirtual, &QRadioButton::toggled, this, [this] { if (!filling_) rbVirtual_Click(); });
    connect(cmdConnect, &QPushButton::clicked, this, &frmComm::cmdConnect_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmComm::cmdCancel_Click);
    connect(cmdHelp, &QPushButton::clicked, this, &frmComm::cmdHelp_Click);
}

void frmComm::Form_Load() {
    centreOnScreen(*this);
    filling_ = true;
    lblBaudRate->setVisible(true);
    lbBaudRate->setVisible(true);
    lblParity->setVisible(true);
    lbParity->setVisible(true);
    lbCommPorts->clear();
    lbBaudRate->clear();
    lbParity->clear();
    for (const char* p : kPortEntryNames) lbCommPorts->addItem(QString::fromLatin1(p));
    for (const char* b : kBaudRates) lbBaudRate->addItem(QString::fromLatin1(b));
    for (const char* p : kParities) lbParity->addItem(QString::fromLatin1(p));
    lbCommPorts->setCurrentRow(storedIndex(env_.settings, Key::Port, lbCommPorts->count()));
    lbBaudRate->setCurrentRow(storedIndex(env_.settings, Key::BaudRate, lbBaudRate->count()));
    lbParity->setCurrentRow(storedIndex(env_.settings, Key::Parity, lbParity->count()));
    fillDevices();
    // A port whose device was set to the virtual printer by hand means it too.
    const bool virtualPrinter =
        env_.settings.read(Key::VirtualPrinter) == QLatin1String("1") ||
        portDevice(env_.settings, lbCommPorts->currentRow()) == QLatin1String(kVirtualPrinterDevice);
    (virtualPrinter ? rbVirtual : rbSerial)->setChecked(true);
    filling_ = false;
    showDevice();
    showChoice();
}

void frmComm::rbVirtual_Click() {
    const bool onPort = !rbVirtual->isChecked();
    env_.settings.write(Key::VirtualPrinter, onPort ? QStringLiteral("0") : QStringLiteral("1"));
    // Back to a real port: one whose device was the virtual printer gets its own device again.
    const int port = lbCommPorts->currentRow();
    if (onPort && portDevice(env_.settings, port) == QLatin1String(kVirtualPrinterDevice)) {
        setPortDevice(env_.settings, port, QString::fromLatin1(keyInfo(Key(int(Key::Com1) + port)).defaultValue));
        showDevice();
    }
    showChoice();
}

void frmComm::showChoice() {
    const bool onPort = !rbVirtual->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{Label1, lbCommPorts, lblBaudRate, lbBaudRate, lblParity,
                                                      lbParity, lblDevice, cbDevice})
        w->setEnabled(onPort);
}

void frmComm::fillDevices() {
    cbDevice->clear();
    for (const QString& d : presentSerialDevices()) cbDevice->addItem(d, d);
}

void frmComm::showDevice() {
    const QString device = portDevice(env_.settings, lbCommPorts->currentRow());
    filling_ = true;
    const int i = cbDevice->findData(device);
    if (i >= 0)
        cbDevice->setCurrentIndex(i);
    else
        cbDevice->setEditText(device);
    filling_ = false;
}

void frmComm::lbCommPorts_Click() {
    env_.settings.write(Key::Port, numToText(lbCommPorts->currentRow()));
    showDevice();
}
void frmComm::lbBaudRate_Click() { env_.settings.write(Key::BaudRate, numToText(lbBaudRate->currentRow())); }
void frmComm::lbParity_Click() { env_.settings.write(Key::Parity, numToText(lbParity->currentRow())); }

void frmComm::cbDevice_Change() {
    const QString text = cbDevice->currentText().trimmed();
    const int i = cbDevice->findText(text);
    const QString device = i >= 0 ? cbDevice->itemData(i).toString() : text;
    if (lbCommPorts->currentRow() >= 0 && !device.isEmpty())
        setPortDevice(env_.settings, lbCommPorts->currentRow(), device);
}

void frmComm::parameterError(const QString& text) {
    tell(env_, text, QStringLiteral("Communication Parameter Error"), MsgIcon::Information, kHelpTopic);
}

void frmComm::systemError(const PortError& e) {
    Message m;
    m.text = QStringLiteral("There was a system error attempting to deal with the port you have chosen:") +
             QStringLiteral("\n\n") + QStringLiteral("Number: ") + numToText(e.number) + u'\n' +
             QStringLiteral("Description: ") + e.description;
    m.title = QGuiApplication::applicationDisplayName();
    if (m.title.isEmpty()) m.title = QStringLiteral("Rastiv");
    m.icon = MsgIcon::None;
    env_.messages.show(m);
}

void frmComm::cmdConnect_Click() {
    CommLink& link = env_.link;
    cmdConnect->setEnabled(false);
    {
        WaitCursor hourglass;
        link.ClosePort();
        const int port = lbCommPorts->currentRow(), baud = lbBaudRate->currentRow(), parity = lbParity->currentRow();
        if (port < 0) {
            hourglass.restore();
            parameterError(QStringLiteral("Select a port from the list provided."));
        } else if (parity < 0) {
            hourglass.restore();
            parameterError(QStringLiteral("Select a parity from the list provided."));
        } else if (baud < 0) {
            hourglass.restore();
            parameterError(QStringLiteral("Select a baud rate from the list provided."));
        } else {
            PortSettings settings;
            settings.device = rbVirtual->isChecked() ? QString::fromLatin1(kVirtualPrinterDevice)
                                                     : portDevice(env_.settings, port);
            settings.baud = lbBaudRate->item(baud)->text().toInt();
            settings.parity = lbParity->item(parity)->text().at(0).toLatin1();
            link.setSendChunk(kChunk);
            PortError error;
            const Connection c = connectPrinter(link, makePort(settings.device), settings, error);
            hourglass.restore();
            if (c == Connection::CannotOpen) {
                systemError(error);
            } else if (c == Connection::NoAnswer) {
                tell(env_,
                     QStringLiteral("Error communicating with the printer.  Verify the port settings at the "
                                    "printer match the program settings.  Check the cable, and make sure the "
                                    "printer is turned on."),
                     QStringLiteral("Communication Error"), MsgIcon::Exclamation, kHelpTopic);
            } else {
                cmdConnect->setEnabled(true);
                hide();  // ends withConnection's wait, which then opens what was asked for
            }
        }
    }
    cmdConnect->setEnabled(true);
}

void frmComm::withConnection(const std::function<void()>& then) {
    if (!env_.link.printerAnswering()) {
        Form_Load();
        runModal(*this);
        // Cancel, or closing the window, leaves the link unanswered: nothing opens.
        if (!env_.link.printerAnswering()) return;
    }
    if (then) then();
}

void frmComm::choosePrinter() {
    Form_Load();
    choosing_ = true;
    // Over the dialog that asked, which must wait for the answer.
    setWindowModality(Qt::ApplicationModal);
    exec();
    choosing_ = false;
}

void frmComm::cmdCancel_Click() {
    if (!choosing_) main_.EnableButtons();
    hide();
}

// Escape and the window's close button mean Cancel.
void frmComm::reject() { cmdCancel_Click(); }

void frmComm::cmdHelp_Click() {
    tell(env_,
         QStringLiteral("Look on the back of the PC to determine the port that is in use.  For the other "
                        "configuration information, turn the printer on while pressing the feed button.  The "
                        "printer will print the required configuration information."),
         QStringLiteral("Communication Help"), MsgIcon::Information, kHelpTopic);
}

}  // namespace rastiv

// Communication Configuration: the port, speed and parity, remembered per
// user, and the connection test that proves a printer answers.  It owns
// the printer link for the whole run (through the environment), so the
// port stays open between uses.
#pragma once

#include <QDialog>
#include <functional>

#include "core/env.hpp"
#include "link/serialport.hpp"

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace rastiv {

// "9600,N,8,1": the settings string of a connection.
QString settingsString(const QString& baudText, const QString& parityText);
// The port number of an entry: its last character ("COM3" gives 3).
int portNumber(const QString& entryText);

class frmComm final : public QDialog {
    Q_OBJECT
public:
    frmComm(Env& env, Workflow& main, QWidget* parent = nullptr);

    QRadioButton* rbSerial;   // a printer on one of the ports below
    QRadioButton* rbVirtual;  // the virtual printer, whatever the ports say
    QLabel* Label1;
    QListWidget* lbCommPorts;
    QLabel* lblDevice;
    QComboBox* cbDevice;
    QLabel* lblBaudRate;
    QListWidget* lbBaudRate;
    QLabel* lblParity;
    QListWidget* lbParity;
    QPushButton* cmdConnect;
    QPushButton* cmdCancel;
    QPushButton* cmdHelp;

    void Form_Load();
    void lbCommPorts_Click();
    void lbBaudRate_Click();
    void lbParity_Click();
    void cbDevice_Change();
    void rbVirtual_Click();
    void cmdConnect_Click();
    void cmdCancel_Click();
    void cmdHelp_Click();

    // Runs `then` once a printer answers on the link: at once when one has,
    // otherwise after the operator has connected in this dialog and it has
    // closed, so the next dialog is not nested in this one's event loop.
    // Cancel drops it; a failed test keeps the dialog, and `then`, waiting.
    void withConnection(const std::function<void()>& then);
    // Shows the dialog again over a dialog that prints, to connect to
    // another printer (or the same one again); Cancel leaves the link as it is
    // unless a test had already closed it.
    void choosePrinter();
    // Makes the line for a device (tests hand in their own printers).
    std::function<std::unique_ptr<SerialPort>(const QString& device)> makePort;

protected:
    void reject() override;

private:
    void createControls();
    void connectSignals();
    void fillDevices();
    void showDevice();
    void showChoice();  // the port's controls only for a printer on a port
    void parameterError(const QString& text);
    void systemError(const PortError& e);

    Env& env_;
    Workflow& main_;
    bool filling_ = false;
    bool choosing_ = false;  // opened by choosePrinter: the main window's buttons are not ours to give back
};

}  // namespace rastiv

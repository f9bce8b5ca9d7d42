// The Virtual Printer window: the receipt the virtual printer has printed so
// far, growing as output arrives, to scroll through, zoom, save as a PNG
// image or clear, with a dashed line where the paper was cut.  It is not
// modal: the printer dialogs that send are, and the receipt grows behind
// them.  It can also listen on a TCP port, as rastiv-cli serve does, so that
// a till prints on the same paper.
#pragma once

#include <QByteArray>
#include <functional>
#include <memory>
#include <QImage>
#include <QPointer>
#include <QWidget>

#include "core/env.hpp"
#include "receipt/listeners.hpp"
#include "receipt/receiptrenderer.hpp"

class QAction;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;

namespace rastiv {

class VirtualPrinter;
struct modGlobal;

// The highlight colour the operator sees: the screen colour setting.
QColor screenHighlight(const modGlobal& g);

// The receipt drawn at a zoom factor.
class ReceiptView final : public QWidget {
public:
    ReceiptView(const ReceiptRenderer& renderer, QWidget* parent);
    void setZoom(double zoom);
    double zoom() const { return zoom_; }
    // The receipt has changed: take its new length and draw it again.
    void refresh();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const ReceiptRenderer& renderer_;
    double zoom_ = 1;
};

class frmVirtualPrinter final : public QWidget {
    Q_OBJECT
public:
    frmVirtualPrinter(Env& env, ReceiptRenderer& renderer, QWidget* parent = nullptr);
    ~frmVirtualPrinter() override;

    QScrollArea* scrReceipt;
    ReceiptView* imReceipt;
    QPushButton* cmdZoomOut;
    QPushButton* cmdZoomIn;
    QPushButton* cmdFitWidth;
    QPushButton* cmdActualSize;
    QLabel* lblZoom;
    QPushButton* cmdSaveImage;
    QPushButton* cmdClear;
    QLineEdit* tbListen;
    QPushButton* cmdListen;
    QLabel* lblListen;

    void cmdZoomOut_Click();
    void cmdZoomIn_Click();
    void cmdFitWidth_Click();
    void cmdActualSize_Click();
    void cmdSaveImage_Click();
    void cmdClear_Click();
    void cmdListen_Click();
    bool listening() const { return listener_ != nullptr; }

    // Where bytes from a TCP client go to be printed.
    std::function<void(const QByteArray&)> print;

    // The renderer's receipt has changed (grown, or the screen colour with it).
    void receiptChanged();
    double zoom() const;
    void setZoom(double zoom);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void createControls();
    void createActions();
    void connectSignals();
    void followScreenColour();

    void stopListening();

    Env& env_;
    ReceiptRenderer& renderer_;
    std::unique_ptr<TcpPrinterListener> listener_;
    bool followEnd_ = true;  // keep the newest output in view while the operator is at the end
    QString saveFolder_;
};

// The virtual printer's paper for the whole run: every byte a virtual printer
// takes in is rendered (the paper outlasts a reconnection, as the stored
// logos outlast it in a real printer), and the window opens, without taking
// the focus, when a virtual printer is connected and whenever the receipt
// grows while it is not shown.
class VirtualPrinterPreview final : public QObject {
public:
    VirtualPrinterPreview(Env& env, QWidget* windowParent, QObject* parent = nullptr);
    ~VirtualPrinterPreview() override;

    void watch(VirtualPrinter& printer);
    void feed(const QByteArray& bytes);
    // Makes the window (once) and shows it without taking the focus.
    void show();
    ReceiptRenderer& renderer() { return renderer_; }
    // Null until the receipt first grows.
    frmVirtualPrinter* window() const { return window_; }

private:
    Env& env_;
    QPointer<QWidget> windowParent_;
    ReceiptRenderer renderer_;
    QPointer<frmVirtualPrinter> window_;
    bool grew_ = false;
};

}  // namespace rastiv

// Advanced Settings: the top logo spacing, which fine-tunes the space between
// the bottom logo, the knife cut and the top logo of legacy colorization.
#pragma once

#include <QDialog>

#include "core/env.hpp"

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace rastiv {

class frmAdvanced final : public QDialog {
    Q_OBJECT
public:
    explicit frmAdvanced(Env& env, QWidget* parent = nullptr);

    QLabel* Label1;
    QRadioButton* rbTLS80H;
    QRadioButton* rbTLSOther;
    QLineEdit* tbOther;
    QPushButton* cmdOK;

    void Form_Load();
    void Form_Activate();
    void tbOther_GotFocus();
    void rbTLS80H_Click();
    void rbTLSOther_Click();
    void cmdOK_Click();

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void connectSignals();
    void internalError(const char* text);

    Env& env_;
    bool loading_ = false;
};

}  // namespace rastiv

// The start-up window, which also serves as the About box.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>

class QFrame;
class QLabel;
class QPushButton;

namespace rastiv {

class Clock;
class Timer;

class frmSplash final : public QWidget {
    Q_OBJECT
public:
    // Closes itself (the owner may set Qt::WA_DeleteOnClose).  onStart runs once when the start-up splash ends (timer, key or click):
    // it opens the main window.
    frmSplash(Clock& clock, std::function<void()> onStart, QWidget* parent = nullptr);
    ~frmSplash() override;

    // About mode: timer stopped, OK shown; only OK closes the window.
    void ShowAbout();

    QFrame* Frame1;
    QLabel* imgLogo;
    QLabel* lblCompanyProduct;
    QLabel* lblVersion;
    QPushButton* cmdOk;
    std::unique_ptr<Timer> Timer1;

    static QString versionText();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Form_Load();
    void Timer1_Timer();
    void Frame1_Click();
    void cmdOk_Click();
    void finishStartUp();

    Clock& clock_;
    std::function<void()> onStart_;
};

}  // namespace rastiv

#include "link/clock.hpp"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>

namespace rastiv {

namespace {
class QtTimer final : public Timer {
public:
    QtTimer() {
        QObject::connect(&t_, &QTimer::timeout, [this] {
            if (onTimer) onTimer();
        });
    }
    void setInterval(int ms) override {
        t_.setInterval(ms);
        if (enabled_) t_.start();
    }
    int interval() const override { return t_.interval(); }
    void setEnabled(bool on) override {
        enabled_ = on;
        // An interval of 0 means "off", as with the timers the operator knows.
        if (on && t_.interval() > 0) t_.start(); else t_.stop();
    }
    bool isEnabled() const override { return enabled_; }

private:
    QTimer t_;
    bool enabled_ = false;
};

QElapsedTimer& monotonic() {
    static QElapsedTimer t = [] { QElapsedTimer e; e.start(); return e; }();
    return t;
}
}  // namespace

RealClock::RealClock() : start_(monotonic().elapsed()) {}

std::unique_ptr<Timer> RealClock::createTimer() { return std::make_unique<QtTimer>(); }

qint64 RealClock::nowMs() const { return monotonic().elapsed() - start_; }

// Waits loop on this while they poll the line, for seconds at a time.  When
// nothing was pending, sleep until the next event but never past a
// millisecond, so that a poll neither spins the processor nor lags behind a
// line that changed without an event; when something was, return at once so
// that the caller sees its effect without delay.
void RealClock::pumpEvents() {
    QAbstractEventDispatcher* events = QAbstractEventDispatcher::instance();
    if (!events) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        return;
    }
    if (events->processEvents(QEventLoop::AllEvents)) return;
    QTimer wake;
    wake.setSingleShot(true);
    wake.start(1);
    events->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

void RealClock::letPendingEventsRun() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

class VirtualClock::VTimer final : public Timer {
public:
    explicit VTimer(VirtualClock& c) : c_(&c) { c.timers_.push_back(this); }
    ~VTimer() override {
        if (c_) std::erase(c_->timers_, this);
    }
    void setInterval(int ms) override {
        interval_ = ms;
        restart();
    }
    int interval() const override { return interval_; }
    void setEnabled(bool on) override {
        enabled_ = on;
        restart();
    }
    bool isEnabled() const override { return enabled_; }

    void detach() { c_ = nullptr; }
    bool due(qint64 t) const { return enabled_ && interval_ > 0 && next_ <= t; }
    qint64 next() const { return next_; }
    void fire() {
        next_ += interval_;
        if (onTimer) onTimer();
    }

private:
    void restart() {
        if (c_) next_ = c_->now_ + interval_;
    }
    VirtualClock* c_;
    int interval_ = 0;
    bool enabled_ = false;
    qint64 next_ = 0;
};

VirtualClock::~VirtualClock() {
    for (VTimer* t : timers_) t->detach();
}

std::unique_ptr<Timer> VirtualClock::createTimer() { return std::make_unique<VTimer>(*this); }

void VirtualClock::pumpEvents() {
    ++pumps_;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (pumpStep_ > 0) advance(pumpStep_);
}

void VirtualClock::advance(qint64 ms) {
    const qint64 end = now_ + ms;
    for (;;) {
        // Timers may be created, enabled or destroyed by a handler, so look
        // the list up afresh after every tick.
        VTimer* first = nullptr;
        for (VTimer* t : timers_)
            if (t->due(end) && (!first || t->next() < first->next())) first = t;
        if (!first) break;
        now_ = std::max(now_, first->next());
        first->fire();
    }
    now_ = end;
}

}  // namespace rastiv

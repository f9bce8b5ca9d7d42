// Time for timers and waits.  Every timer and every "let pending events run"
// of the program goes through a Clock, so tests run timers in virtual time.
#pragma once

#include <QtGlobal>
#include <functional>
#include <memory>
#include <vector>

class QTimer;

namespace rastiv {

// A repeating timer with an interval in milliseconds that fires while enabled
// (the handler usually disables it to make it one-shot).
class Timer {
public:
    virtual ~Timer() = default;
    virtual void setInterval(int ms) = 0;
    virtual int interval() const = 0;
    virtual void setEnabled(bool on) = 0;
    virtual bool isEnabled() const = 0;
    std::function<void()> onTimer;
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual std::unique_ptr<Timer> createTimer() = 0;
    virtual qint64 nowMs() const = 0;
    // Lets pending window events, timer ticks and port events run once.
    virtual void pumpEvents() = 0;
    // Lets what is pending run, without waiting for more: for long work
    // that only needs to stay responsive (a Cancel click, a repaint).
    virtual void letPendingEventsRun() { pumpEvents(); }
};

class RealClock final : public Clock {
public:
    RealClock();
    std::unique_ptr<Timer> createTimer() override;
    qint64 nowMs() const override;
    void pumpEvents() override;
    void letPendingEventsRun() override;

private:
    qint64 start_;
};

// Time moves only when a test says so (advance) or when code pumps events
// (each pump moves time by pumpStep, so polling loops end at their watchdog).
class VirtualClock final : public Clock {
public:
    VirtualClock() = default;
    ~VirtualClock() override;
    VirtualClock(const VirtualClock&) = delete;
    VirtualClock& operator=(const VirtualClock&) = delete;
    std::unique_ptr<Timer> createTimer() override;
    qint64 nowMs() const override { return now_; }
    void pumpEvents() override;

    // Moves time forward, firing every due timer in time order.
    void advance(qint64 ms);
    void setPumpStep(qint64 ms) { pumpStep_ = ms; }
    int pumps() const { return pumps_; }

private:
    class VTimer;
    friend class VTimer;
    qint64 now_ = 0;
    qint64 pumpStep_ = 10;
    int pumps_ = 0;
    std::vector<VTimer*> timers_;
};

}  // namespace rastiv

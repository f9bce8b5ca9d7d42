#include "link/virtualprinter.hpp"

#include <algorithm>

#include "link/clock.hpp"

namespace rastiv {

VirtualPrinter::VirtualPrinter(Clock& clock)
    : clock_(clock), lineTimer_(clock.createTimer()), replyTimer_(clock.createTimer()),
      busyTimer_(clock.createTimer()) {
    lineTimer_->onTimer = [this] {
        lineTimer_->setEnabled(false);
        transmitted();
    };
    replyTimer_->onTimer = [this] {
        replyTimer_->setEnabled(false);
        if (open_ && powered_) in_.append(replies_);
        replies_.clear();
    };
    busyTimer_->onTimer = [this] {
        busyTimer_->setEnabled(false);
        busy_ = false;
        if (ackAfterBusy_) {
            ackAfterBusy_ = false;
            reply('\x00');
        }
    };
}

VirtualPrinter::~VirtualPrinter() = default;

bool VirtualPrinter::open(const PortSettings& settings, PortError&) {
    close();
    open_ = true;
    baud_ = std::max(settings.baud, 1200);
    return true;
}

void VirtualPrinter::close() {
    open_ = false;
    pending_ = 0;
    in_.clear();
    lineTimer_->setEnabled(false);
}

void VirtualPrinter::output(const QByteArray& bytes) {
    if (!open_) return;
    writes_.append(bytes);
    pending_ += bytes.size();
    // The bytes take their time on the line; an empty write is done at once,
    // but its transmit event still comes through event processing.
    const long long ms = (static_cast<long long>(pending_) * 10 * 1000 + baud_ - 1) / baud_;
    lineTimer_->setInterval(static_cast<int>(std::max(1LL, ms)));
    lineTimer_->setEnabled(true);
    if (!powered_) return;
    received_.append(bytes);
    commands_.feed(bytes, [this](QByteArrayView unit) { obey(unit); });
    emit bytesReceived(bytes);
}

void VirtualPrinter::transmitted() {
    pending_ = 0;
    emit transmitEvent();
}

QByteArray VirtualPrinter::input() {
    QByteArray taken;
    taken.swap(in_);
    return taken;
}

void VirtualPrinter::reply(char byte) {
    replies_.append(byte);
    replyTimer_->setInterval(replyDelayMs_);
    replyTimer_->setEnabled(true);
}

void VirtualPrinter::startFlashWrite(bool acknowledge) {
    ++flashWrites_;
    busy_ = true;
    ackAfterBusy_ = ackAfterBusy_ || acknowledge;
    busyTimer_->setInterval(flashBusyMs_);
    busyTimer_->setEnabled(true);
}

// The commands that make the printer answer or write its flash; it prints
// nothing itself (a ReceiptRenderer fed from bytesReceived does that).
void VirtualPrinter::obey(QByteArrayView unit) {
    const auto at = [&](qsizetype i) { return i < unit.size() ? static_cast<uint8_t>(unit[i]) : 0; };
    switch (at(0) << 8 | at(1)) {
        case 0x1004: reply('\x12'); return;  // DLE EOT n: real-time status, answered at once
        case 0x1B76: reply('\x00'); return;  // status query: all is well
        case 0x1D84: startFlashWrite(false); return;  // a logo definition, stored once its last row is in
        case 0x1D40:                                  // 1D 40 31: erase the flash, then acknowledge
            if (at(2) == 0x31) startFlashWrite(acknowledgesErase_);
            return;
        case 0x1D8B: startFlashWrite(false); return;  // watermark definition
        case 0x1DFF: startFlashWrite(false); return;  // configuration closed and stored
        default: return;
    }
}

}  // namespace rastiv

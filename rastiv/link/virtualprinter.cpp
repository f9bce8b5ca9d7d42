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
    commands_.feed(bytes, [this](const Unit& unit) { obey(unit); });
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

QByteArray printerAnswer(const Unit& u) {
    if (!u.command) return {};
    const uint8_t n = u.param(0);
    switch (u.command->answer) {
        case Answer::None: return {};
        // Online, no error, paper present, drawer pin low: the "all well" byte
        // of each of the four real-time statuses (0**1**10).
        case Answer::RealTimeStatus: return n >= 1 && n <= 4 ? QByteArray(1, '\x12') : QByteArray();
        case Answer::StatusByte: return QByteArray(1, '\x00');    // this family's status byte: all is well
        case Answer::DrawerStatus: return QByteArray(1, '\x00');  // drawer pin low
        case Answer::TransmitStatus:  // paper adequate, drawer pin low, ink present (0**0****)
            return QByteArray(1, '\x00');
        case Answer::AutoStatus:  // enabling sends the status once: online, cover closed, paper present
            return (n & 0x0F) ? QByteArray("\x10\x00\x00\x00", 4) : QByteArray();
        case Answer::PrinterId:
            switch (n) {
                case 1: case 49: return QByteArray(1, '\x20');  // model
                case 2: case 50: return QByteArray(1, '\x02');  // an autocutter, no multi-byte characters
                case 3: case 51: return QByteArray(1, '\x10');  // firmware
                case 65: return QByteArray("_1.0", 5);
                case 66: return QByteArray("_Tintarex", 10);
                case 67: return QByteArray("_Tintarex two-colour", 21);
                case 68: return QByteArray("_00000000", 10);
                default: return {};
            }
    }
    return {};
}

// The commands that make the printer answer or write its flash; it prints
// nothing itself (a ReceiptRenderer fed from bytesReceived does that).
void VirtualPrinter::obey(const Unit& unit) {
    for (char c : printerAnswer(unit)) reply(c);
    if (flashEffect(unit) == Flash::Writes)
        startFlashWrite(unit.command->id == Cmd::EraseFlash && acknowledgesErase_);
}

}  // namespace rastiv

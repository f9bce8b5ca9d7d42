#include "link/virtualprinter.hpp"

#include <algorithm>

#include "app/clock.hpp"

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
    for (char c : bytes) interpret(static_cast<uint8_t>(c));
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

// Just enough of the printer's command language to know which bytes are
// commands and which are picture data, and which commands write the flash.
void VirtualPrinter::interpret(uint8_t byte) {
    if (skipData_ > 0) {
        if (--skipData_ == 0 && flashAfterData_) {
            flashAfterData_ = false;
            startFlashWrite(false);
        }
        return;
    }
    command_.append(static_cast<char>(byte));
    const auto at = [this](int i) { return static_cast<uint8_t>(command_.at(i)); };
    const int n = static_cast<int>(command_.size());
    const uint8_t first = at(0);
    if (first != 0x1B && first != 0x1D && first != 0x1F && first != 0x10) {  // text, line feeds, anything unknown
        command_.clear();
        return;
    }
    if (n < 2) return;
    const uint8_t second = at(1);
    auto done = [this] { command_.clear(); };
    if (first == 0x10) {  // DLE EOT n: real-time status, answered at once
        if (second != 0x04) return done();
        if (n < 3) return;
        reply('\x12');
        return done();
    }
    if (first == 0x1F) {  // 1F 03 ...: legacy colorization settings
        if (second != 0x03) return done();
        if (n < 4) return;
        switch (at(2)) {
            case 0x16:  // 1F 03 16 f p p [p]: function f, three parameters for the margin message (3), else two
                if (n == (at(3) == 0x03 ? 7 : 6)) done();
                return;
            case 0x17:  // 1F 03 17 n A B: text attribute substitution n
                if (n == 6) done();
                return;
            default: return done();
        }
    }
    if (first == 0x1B) {
        switch (second) {
            case 0x76: reply('\x00'); return done();  // status query: all is well
            case 0x4A:                                 // feed n dots
            case 0x61:                                 // justification
            case 0x21:                                 // print mode
            case 0x2D:                                 // underline
            case 0x45:                                 // bold
            case 0x49:                                 // italic
            case 0x72:                                 // print colour
                if (n == 3) done();
                return;
            default: return done();
        }
    }
    switch (second) {
        case 0x82: skipData_ = 72; return done();       // monochrome raster line
        case 0x83: skipData_ = 144; return done();      // two-colour raster line
        case 0x84:                                      // logo definition: kind X Y, then the planes
            if (n < 5) return;
            skipData_ = static_cast<long long>(at(3)) * at(4) * 8 * (at(2) == 2 ? 2 : 1);
            flashAfterData_ = skipData_ > 0;
            if (skipData_ == 0) startFlashWrite(false);
            return done();
        case 0x40:                                      // 1D 40 31: erase the flash, then acknowledge
            if (n < 3) return;
            if (at(2) == 0x31) startFlashWrite(acknowledgesErase_);
            return done();
        case 0x8B:                                      // watermark definition: L S W
            if (n < 5) return;
            startFlashWrite(false);
            return done();
        case 0xFF: startFlashWrite(false); return done();  // configuration closed and stored
        case 0x22:                                      // 1D 22 01: a logo download follows
        case 0x23:                                      // 1D 23 n: select logo n
        case 0x2F:                                      // 1D 2F m: print the selected logo
            if (n == 3) done();
            return;
        case 0x42:                                      // 1D 42 n: reverse video on or off
            if (n == 3) done();
            return;
        case 0x81:                                      // 1D 81 n FF: paper type n
            if (n == 4) done();
            return;
        case 0x8C:                                      // 1D 8C on W: watermark W on or off
            if (n == 4) done();
            return;
        case 0x99:                                      // 1D 99 side n 32 00: margin message
            if (n == 6) done();
            return;
        default: return done();
    }
}

}  // namespace rastiv

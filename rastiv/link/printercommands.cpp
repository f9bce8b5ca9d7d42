#include "link/printercommands.hpp"

#include <algorithm>
#include <cstdint>

namespace rastiv {

qsizetype unitLength(QByteArrayView start) {
    const qsizetype n = start.size();
    if (n == 0) return 0;
    const auto at = [&](qsizetype i) { return static_cast<uint8_t>(start[i]); };
    const uint8_t first = at(0);
    if (first != 0x1B && first != 0x1D && first != 0x1F && first != 0x10) return 1;  // text, line feeds, the rest
    if (n < 2) return 0;
    const uint8_t second = at(1);
    if (first == 0x10) return second == 0x04 ? 3 : 2;  // DLE EOT n: real-time status
    if (first == 0x1F) {                               // 1F 03 ...: legacy colorization settings
        if (second != 0x03) return 2;
        if (n < 4) return 0;
        switch (at(2)) {
            case 0x16: return at(3) == 0x03 ? 7 : 6;  // 1F 03 16 f p p [p]: three parameters for the margin message (3)
            case 0x17: return 6;                      // 1F 03 17 n A B: text attribute substitution n
            default: return 4;
        }
    }
    if (first == 0x1B) {
        switch (second) {
            case 0x4A:  // feed n dots
            case 0x61:  // justification
            case 0x21:  // print mode
            case 0x2D:  // underline
            case 0x45:  // bold
            case 0x49:  // italic
            case 0x72:  // print colour
                return 3;
            default: return 2;  // 1B 76 status query, 1B 40 reset, 1B 6D cut, ...
        }
    }
    switch (second) {
        case 0x82: return 2 + 72;       // monochrome raster line: the black plane
        case 0x83: return 2 + 2 * 72;   // two-colour raster line: ink plane, black plane
        case 0x84:                      // logo definition: kind X Y, then Y x 8 rows of X bytes per plane
            if (n < 5) return 0;
            return 5 + qsizetype(at(3)) * at(4) * 8 * (at(2) == 2 ? 2 : 1);
        case 0x22:  // 1D 22 01: a logo download follows
        case 0x23:  // 1D 23 n: select logo n
        case 0x2F:  // 1D 2F m: print the selected logo
        case 0x40:  // 1D 40 31: erase the flash
        case 0x42:  // 1D 42 n: reverse video on or off
            return 3;
        case 0x81: return 4;  // 1D 81 n FF: paper type n
        case 0x8B: return 5;  // 1D 8B L S W: watermark W from logo L
        case 0x8C: return 4;  // 1D 8C on W: watermark W on or off
        case 0x99: return 6;  // 1D 99 side n 32 00: margin message
        default: return 2;    // 1D FF and the unknown
    }
}

void CommandSplitter::feed(QByteArrayView bytes, const std::function<void(QByteArrayView)>& unit) {
    qsizetype i = 0;
    while (i < bytes.size()) {
        if (pending_.isEmpty() && unitLength(bytes.sliced(i, 1)) == 1) {  // text needs no buffer
            unit(bytes.sliced(i++, 1));
            continue;
        }
        if (length_ == 0) {
            pending_.append(bytes[i++]);
            length_ = unitLength(pending_);
            if (length_ == 0) continue;
        } else {
            // Picture data arrives in bulk: take as much of it as this piece holds.
            const qsizetype take = std::min(length_ - pending_.size(), bytes.size() - i);
            pending_.append(bytes.sliced(i, take));
            i += take;
        }
        if (pending_.size() == length_) {
            unit(pending_);
            startUnit();
        }
    }
}

qsizetype CommandSplitter::untilUnitEnds(QByteArrayView next) const {
    if (pending_.isEmpty()) return 0;
    if (length_ > 0) return std::min(length_ - pending_.size(), next.size());
    // The first bytes have not told the length yet; there are only a few.
    QByteArray start = pending_;
    for (qsizetype i = 0; i < next.size(); ++i) {
        start.append(next[i]);
        if (const qsizetype length = unitLength(start)) return std::min(length - pending_.size(), next.size());
    }
    return next.size();
}

void CommandSplitter::startUnit() {
    // A logo definition can be a megabyte; do not keep that much for commands of a few bytes.
    if (pending_.capacity() > 4096)
        pending_.clear();
    else
        pending_.resize(0);
    length_ = 0;
}

void CommandTracker::sent(QByteArrayView bytes) {
    splitter_.feed(bytes, [this](QByteArrayView u) { unit(u); });
}

void CommandTracker::unit(QByteArrayView u) {
    const auto at = [&](qsizetype i) { return i < u.size() ? static_cast<uint8_t>(u[i]) : 0; };
    const int command = at(0) << 8 | at(1);
    switch (download_) {
        case Download::None:
            if (command == 0x1D22 && at(2) == 0x01) download_ = Download::Header;
            return;
        case Download::Header:  // whatever follows names the logo, as far as the printer is concerned
            download_ = Download::Open;
            logo_ = command == 0x1D23 ? at(2) : -1;
            return;
        case Download::Open:
            if (command == 0x1D84) definitionStoring_ = true;
            if (command == 0x1D23 && at(2) == 0x00) {
                download_ = Download::None;
                definitionStoring_ = false;
            }
            return;
    }
}

qsizetype CommandTracker::toFinishCommand(QByteArrayView next) const {
    if (download_ != Download::Header) return splitter_.untilUnitEnds(next);
    // Between 1D 22 01 and its logo number nothing long can be under way,
    // so a copy is cheap: feed it until the number is through.
    CommandTracker probe = *this;
    for (qsizetype i = 0; i < next.size(); ++i) {
        probe.sent(next.sliced(i, 1));
        if (!probe.midCommand()) return i + 1;
    }
    return next.size();
}

}  // namespace rastiv

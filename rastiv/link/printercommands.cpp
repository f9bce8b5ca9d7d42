#include "link/printercommands.hpp"

#include <algorithm>
#include <cstdint>

namespace rastiv {

namespace {

bool startsCommand(uint8_t b) { return b == 0x10 || b == 0x1B || b == 0x1C || b == 0x1D || b == 0x1F; }

// The length of the unit `start` begins, and its record (null for text and
// unknown commands); 0 while the bytes do not tell.
qint64 lengthOf(QByteArrayView start, const CommandInfo*& info) {
    info = nullptr;
    if (start.isEmpty()) return 0;
    if (!startsCommand(static_cast<uint8_t>(start[0]))) return 1;
    bool more = false;
    info = findCommand(start, more);
    if (info) return commandLength(*info, start);
    if (more) return 0;
    // Unknown: the prefix and the byte after it; a 1F 03 setting with its two
    // parameters, as every setting of that family has at least two.
    return static_cast<uint8_t>(start[0]) == 0x1F && static_cast<uint8_t>(start[1]) == 0x03 ? 4 : 2;
}

}  // namespace

Flash flashEffect(const Unit& u) {
    if (!u.command) return Flash::None;
    switch (u.command->flash) {
        case Flash::None:
        case Flash::Setting: return u.command->flash;
        case Flash::Writes:
            return u.command->id != Cmd::EraseFlash || u.param(0) == 0x31 ? Flash::Writes : Flash::None;
        case Flash::ByFunction: {
            // fn pL pH m fn2, or fn p1 p2 p3 p4 m fn2 behind a four-byte length
            const qsizetype function = u.command->data == Data::Length32 ? 6 : 4;
            return u.param(0) == 'L' && u.param(function) == 67 ? Flash::Writes : Flash::None;
        }
    }
    return Flash::None;
}

qsizetype unitLength(QByteArrayView start) {
    const CommandInfo* info = nullptr;
    return qsizetype(std::max<qint64>(0, lengthOf(start, info)));
}

void CommandSplitter::feed(QByteArrayView bytes, const std::function<void(QByteArrayView)>& unit) {
    feed(bytes, [&](const Unit& u) { unit(u.bytes); });
}

void CommandSplitter::feed(QByteArrayView bytes, const std::function<void(const Unit&)>& unit) {
    qsizetype i = 0;
    while (i < bytes.size()) {
        if (skip_ > 0) {  // the rest of an oversize unit
            const qsizetype take = qsizetype(std::min<qint64>(skip_, bytes.size() - i));
            skip_ -= take;
            i += take;
            offset_ += take;
            continue;
        }
        if (pending_.isEmpty() && !startsCommand(static_cast<uint8_t>(bytes[i]))) {  // text needs no buffer
            Unit u;
            u.bytes = bytes.sliced(i++, 1);
            u.offset = offset_++;
            u.length = 1;
            unit(u);
            continue;
        }
        if (length_ <= 0) {
            // Not known yet: take what is needed before the length can tell
            // more (one byte, or a whole size field further on).
            const qint64 want = std::max<qint64>(1, need_ - pending_.size());
            const qsizetype take = qsizetype(std::min<qint64>(want, bytes.size() - i));
            pending_.append(bytes.sliced(i, take));
            i += take;
            offset_ += take;
            if (pending_.size() < need_) continue;
            const CommandInfo* info = nullptr;
            qint64 length = lengthOf(pending_, info);
            // FS q's sizes stand between its images: one that will not tell
            // its length within kMaxUnitBytes is oversize at that point and
            // skipped that far, rather than buffered without end.
            if (length < 0 && -length > kMaxUnitBytes) length = -length;
            if (length <= 0) {
                need_ = length < 0 ? -length : pending_.size() + 1;
                continue;
            }
            if (length < pending_.size()) {
                // The byte that showed that two bytes start no three-byte
                // command (1D 76 and not 30) begins the next unit: give it back.
                const qsizetype extra = pending_.size() - qsizetype(length);
                pending_.truncate(qsizetype(length));
                i -= extra;
                offset_ -= extra;
            }
            length_ = length;
        } else {
            // Picture data arrives in bulk: take as much of it as this piece holds.
            const qsizetype take = qsizetype(std::min<qint64>(length_ - pending_.size(), bytes.size() - i));
            pending_.append(bytes.sliced(i, take));
            i += take;
            offset_ += take;
        }
        if (pending_.size() == length_ || length_ > kMaxUnitBytes) complete(unit);
    }
}

void CommandSplitter::complete(const std::function<void(const Unit&)>& unit) {
    Unit u;
    u.length = length_;
    u.offset = offset_ - pending_.size();
    u.bytes = pending_;
    bool more = false;
    u.command = findCommand(pending_, more);
    u.unknown = !u.command && startsCommand(static_cast<uint8_t>(pending_[0]));
    if (length_ > kMaxUnitBytes) {
        u.oversize = true;
        skip_ = length_ - pending_.size();
    }
    unit(u);
    startUnit();
}

const CommandInfo* CommandSplitter::pendingCommand() const {
    bool more = false;
    return pending_.isEmpty() ? nullptr : findCommand(pending_, more);
}

qsizetype CommandSplitter::untilUnitEnds(QByteArrayView next) const {
    if (skip_ > 0) return qsizetype(std::min<qint64>(skip_, next.size()));
    if (pending_.isEmpty()) return 0;
    if (length_ > 0) return qsizetype(std::min<qint64>(length_ - pending_.size(), next.size()));
    // The first bytes have not told the length yet; there are only a few,
    // except for data ended by a 00 byte.
    QByteArray start = pending_;
    for (qsizetype i = 0; i < next.size(); ++i) {
        start.append(next[i]);
        if (const qsizetype length = unitLength(start))
            return qsizetype(std::min<qint64>(length - pending_.size(), next.size()));
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
    need_ = 0;
}

void CommandTracker::sent(QByteArrayView bytes) {
    splitter_.feed(bytes, [this](const Unit& u) { unit(u); });
}

void CommandTracker::unit(const Unit& u) {
    const auto is = [&](Cmd id) { return u.command && u.command->id == id; };
    switch (download_) {
        case Download::None:
            if (is(Cmd::BeginDownload) && u.param(0) == 0x01) download_ = Download::Header;
            return;
        case Download::Header:  // whatever follows names the logo, as far as the printer is concerned
            download_ = Download::Open;
            logo_ = is(Cmd::SelectLogo) ? u.param(0) : -1;
            return;
        case Download::Open:
            if (is(Cmd::LogoDefinition)) definitionStoring_ = true;
            if (is(Cmd::SelectLogo) && u.param(0) == 0x00) {
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

#include "receipt/emulator.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSaveFile>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "link/clock.hpp"
#include "link/regularfile.hpp"
#include "link/virtualprinter.hpp"
#include "receipt/pngstream.hpp"

namespace rastiv {

namespace {

// Receipt numbers stay far below where a double (JSON's number) or the
// counter could lose count; a file numbered beyond is not one of ours.
constexpr qint64 kLastNumber = qint64(1) << 50;

QString numbered(qint64 n) { return QStringLiteral("%1").arg(n, 4, 10, QLatin1Char('0')); }

// Cuts `fd`'s file back to its last line end: a record a kill or a full disk
// left half written would otherwise have the next one glued to it.  The
// number of bytes cut away, 0 when it ended whole, -1 on a read error.
qint64 cutHalfLine(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return -1;
    qint64 end = st.st_size;
    char piece[65536];
    while (end > 0) {
        const qint64 from = std::max<qint64>(0, end - qint64(sizeof piece));
        const ssize_t n = ::pread(fd, piece, size_t(end - from), off_t(from));
        if (n != end - from) return -1;
        for (qint64 i = n; i > 0; --i)
            if (piece[i - 1] == '\n') {
                const qint64 keep = from + i;
                if (keep == st.st_size) return 0;
                return ::ftruncate(fd, off_t(keep)) == 0 ? st.st_size - keep : -1;
            }
        end = from;
    }
    return st.st_size == 0 ? 0 : (::ftruncate(fd, 0) == 0 ? st.st_size : -1);
}

}  // namespace

Emulator::Emulator(const EmulatorOptions& options, Clock& clock) : o_(options), stateTimer_(clock.createTimer()) {
    engine_ = std::make_unique<ReceiptEngine>(static_cast<PaperSink&>(*this), memory_);
    engine_->unitSeen = [this](const Unit& u) {
        unitEnd_ = connectionStart_ + u.offset + u.length;
        const QString name = u.command ? QString::fromLatin1(u.command->name)
                             : u.unknown ? QStringLiteral("unknown")
                             : u.byte() >= 0x20 ? QStringLiteral("text")
                                                : QStringLiteral("%1").arg(u.byte(), 2, 16, QLatin1Char('0')).toUpper();
        ++commands_[name];
        if (answer_) {
            const QByteArray a = printerAnswer(u);
            if (!a.isEmpty()) answer_(a);
        }
    };
    // A stream of nothing but unknown bytes or drawer kicks must not grow
    // the record without end.
    engine_->warning = [this](qint64 at, const QString& text) {
        if (warnings_.size() < kListed) warnings_ << QStringLiteral("byte %1: %2").arg(at).arg(text);
        else ++warningsLeftOut_;
    };
    engine_->note = [this](const QString& text) {
        if (notes_.size() < kListed) notes_ << text;
        else ++notesLeftOut_;
    };
    // A till storing logos in a loop would otherwise rewrite and sync the
    // whole file for every few bytes it sends.
    stateTimer_->setInterval(1000);
    stateTimer_->onTimer = [this] {
        stateTimer_->setEnabled(false);
        flushState();
    };
    engine_->memoryChanged = [this] {
        stateDirty_ = true;
        if (!stateTimer_->isEnabled()) stateTimer_->setEnabled(true);
    };
}

Emulator::~Emulator() = default;

bool Emulator::start(QString& problem) {
    if (!QDir().mkpath(o_.outDir)) return problem = QStringLiteral("cannot make the folder %1").arg(o_.outDir), false;
    // Numbering goes on after the receipts already there.
    static const QRegularExpression receiptName(QStringLiteral("^(\\d{4,})\\.png$"));
    for (const QString& f : QDir(o_.outDir).entryList(QDir::Files)) {
        bool ok = false;
        const qint64 n = receiptName.match(f).captured(1).toLongLong(&ok);
        if (ok && n < kLastNumber) next_ = std::max(next_, n + 1);
    }
    const QString records = o_.outDir + QStringLiteral("/receipts.jsonl");
    if (const int fd = ::open(QFile::encodeName(records).constData(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
        fd >= 0) {
        struct stat st {};
        const qint64 cut = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? cutHalfLine(fd) : 0;
        ::close(fd);
        if (cut < 0) return problem = QStringLiteral("%1 cannot be read").arg(records), false;
        if (cut > 0 && remark)
            remark(QStringLiteral("%1 ended in half a record (%2 bytes); cut away").arg(records).arg(cut));
    }
    if (!o_.statePath.isEmpty() && QFile::exists(o_.statePath)) {
        if (const QString why = notRegularFileProblem(o_.statePath); !why.isEmpty()) return problem = why, false;
        QFile f(o_.statePath);
        if (!f.open(QIODevice::ReadOnly))
            return problem = QStringLiteral("the state file %1 cannot be read: %2").arg(o_.statePath, f.errorString()), false;
        // Read one byte past the limit to tell a file at the limit from a longer one.
        const QByteArray json = f.read(kMaxStateBytes + 1);
        if (json.size() > kMaxStateBytes)
            return problem = QStringLiteral("the state file %1 is larger than %2 MiB: not one this wrote")
                                 .arg(o_.statePath)
                                 .arg(kMaxStateBytes >> 20),
                   false;
        QString why;
        if (!memory_.fromJson(json, why))
            return problem = QStringLiteral("the state file %1 is not usable: %2").arg(o_.statePath, why), false;
    }
    return true;
}

void Emulator::connect(const QString& client, std::function<void(QByteArrayView)> answer) {
    client_ = client;
    answer_ = std::move(answer);
    connectionStart_ = received_;
    unitEnd_ = received_;
    forgetReceipt();
}

void Emulator::receive(QByteArrayView bytes) {
    received_ += bytes.size();
    engine_->feed(bytes);
}

void Emulator::disconnect(const QString& why) {
    const bool closed = why == QLatin1String("closed");
    if (!closed) notes_ << QStringLiteral("the connection was dropped: %1").arg(why);
    overLength_ = overLength_ || engine_->overLength();
    engine_->finish();
    unitEnd_ = received_;
    finishReceipt(closed ? QStringLiteral("end of connection") : why);
    answer_ = nullptr;
}

void Emulator::stop(const QString& why) {
    overLength_ = overLength_ || engine_->overLength();
    engine_->finish();
    unitEnd_ = received_;
    finishReceipt(why);
    flushState();
}

bool Emulator::numberTaken(qint64 n) const {
    const QString base = o_.outDir + u'/' + numbered(n);
    return QFile::exists(base + QStringLiteral(".png")) || QFile::exists(base + QStringLiteral(".txt"));
}

void Emulator::rows(const uint8_t* dots, int count) {
    if (!png_) {
        // Never over a receipt already there, whatever left it.
        while (next_ < kLastNumber && numberTaken(next_)) ++next_;
        pngName_ = numbered(next_) + QStringLiteral(".png");
        png_ = std::make_unique<PngStream>(o_.outDir + u'/' + pngName_);
        if (next_ >= kLastNumber || !png_->open()) {
            if (failed) failed(QStringLiteral("%1 cannot be written: %2").arg(pngName_, png_->errorString()));
            png_.reset();
            return;
        }
    }
    if (!ink_)
        for (size_t i = 0, n = size_t(count) * kPaperWidth; i < n && !ink_; ++i) ink_ = dots[i] != kWhiteDot;
    png_->rows(dots, count);
}

void Emulator::textLine(const QString& line) { text_ << line; }

void Emulator::cut() {
    overLength_ = overLength_ || engine_->overLength();
    finishReceipt(QStringLiteral("cut"));
}

void Emulator::finishReceipt(const QString& ended) {
    const bool text =
        std::any_of(text_.cbegin(), text_.cend(), [](const QString& l) { return !l.trimmed().isEmpty(); });
    if (!png_ || png_->height() == 0 || (!ink_ && !text)) {  // nothing printed: nothing to keep
        if (png_) png_->cancel();
        forgetReceipt();
        return;
    }
    const QString base = numbered(next_);
    QJsonObject o;
    o[QStringLiteral("receipt")] = next_;
    o[QStringLiteral("png")] = pngName_;
    o[QStringLiteral("time")] = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
    o[QStringLiteral("client")] = client_;
    o[QStringLiteral("bytes")] = unitEnd_ - receiptStart_;
    o[QStringLiteral("dots")] = png_->height();
    o[QStringLiteral("ended")] = ended;
    if (overLength_) warnings_ << QStringLiteral("the receipt was cut at %1 m of paper").arg(kMaxReceiptDots / 8000);
    QJsonObject seen;
    for (const auto& [name, count] : commands_) seen[name] = count;
    o[QStringLiteral("commands")] = seen;
    o[QStringLiteral("notes")] = QJsonArray::fromStringList(notes_);
    o[QStringLiteral("warnings")] = QJsonArray::fromStringList(warnings_);
    if (notesLeftOut_ > 0) o[QStringLiteral("notesLeftOut")] = notesLeftOut_;
    if (warningsLeftOut_ > 0) o[QStringLiteral("warningsLeftOut")] = warningsLeftOut_;
    const QColor highlight = paperHighlight(memory_.paperType, o_.highlight);
    bool ok = png_->commit(highlight);
    if (!ok && failed) failed(QStringLiteral("%1 cannot be written: %2").arg(pngName_, png_->errorString()));
    if (ok) {
        QSaveFile file(o_.outDir + u'/' + base + QStringLiteral(".txt"));
        if (file.open(QIODevice::WriteOnly))
            for (const QString& line : text_) file.write(line.toUtf8() + '\n');
        if (file.commit()) {
            o[QStringLiteral("text")] = base + QStringLiteral(".txt");
        } else {
            ok = false;
            if (failed) failed(QStringLiteral("%1.txt cannot be written: %2").arg(base, file.errorString()));
        }
    }
    if (ok) {
        const QByteArray line = QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
        ++next_;
        if (appendRecord(line)) {
            ++written_;
            if (receiptWritten) receiptWritten(line);
        }
    }
    receiptStart_ = unitEnd_;
    forgetReceipt();
}

void Emulator::forgetReceipt() {
    png_.reset();
    ink_ = overLength_ = false;
    text_.clear();
    notes_.clear();
    warnings_.clear();
    notesLeftOut_ = warningsLeftOut_ = 0;
    commands_.clear();
    receiptStart_ = unitEnd_;
}

// One write of a whole line to a file opened for appending: a reader never
// sees half of it.  A write cut short (a full disk) is taken back, so that
// the file still holds only whole lines.
bool Emulator::appendRecord(const QByteArray& line) {
    const QString path = o_.outDir + QStringLiteral("/receipts.jsonl");
    // O_NONBLOCK: a FIFO put there must not hang the printer.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644);
    int error = fd < 0 ? errno : 0;
    struct stat st {};
    if (fd >= 0 && ::fstat(fd, &st) != 0) error = errno;
    else if (fd >= 0 && !S_ISREG(st.st_mode)) error = EINVAL;
    if (fd >= 0 && error == 0) {
        ssize_t n = -1;
        do n = ::write(fd, line.constData(), size_t(line.size()));
        while (n < 0 && errno == EINTR);
        if (n < 0) error = errno;
        else if (n != line.size()) error = ENOSPC;
        if (n > 0 && n != line.size()) (void)!::ftruncate(fd, st.st_size);
    }
    if (fd >= 0 && ::close(fd) != 0 && error == 0) error = errno;
    if (error != 0 && failed)
        failed(QStringLiteral("%1 cannot be written: %2").arg(path, QString::fromLocal8Bit(std::strerror(error))));
    return error == 0;
}

void Emulator::flushState() {
    stateTimer_->setEnabled(false);
    if (!stateDirty_) return;
    stateDirty_ = false;
    saveState();
}

void Emulator::saveState() {
    if (o_.statePath.isEmpty()) return;
    QSaveFile f(o_.statePath);
    if (!f.open(QIODevice::WriteOnly) || f.write(memory_.toJson()) < 0 || !f.commit())
        if (failed) failed(QStringLiteral("the state file %1 cannot be written: %2").arg(o_.statePath, f.errorString()));
}

}  // namespace rastiv

#include "receipt/emulator.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSaveFile>

#include "link/virtualprinter.hpp"
#include "receipt/pngstream.hpp"

namespace rastiv {

Emulator::Emulator(const EmulatorOptions& options) : o_(options) {
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
    engine_->warning = [this](qint64 at, const QString& text) {
        warnings_ << QStringLiteral("byte %1: %2").arg(at).arg(text);
    };
    engine_->note = [this](const QString& text) { notes_ << text; };
    engine_->memoryChanged = [this] { saveState(); };
}

Emulator::~Emulator() = default;

bool Emulator::start(QString& problem) {
    if (!QDir().mkpath(o_.outDir)) return problem = QStringLiteral("cannot make the folder %1").arg(o_.outDir), false;
    // Numbering goes on after the receipts already there.
    static const QRegularExpression numbered(QStringLiteral("^(\\d{4,})\\.png$"));
    for (const QString& f : QDir(o_.outDir).entryList(QDir::Files))
        if (const auto m = numbered.match(f); m.hasMatch()) next_ = std::max(next_, m.captured(1).toInt() + 1);
    if (!o_.statePath.isEmpty() && QFile::exists(o_.statePath)) {
        QFile f(o_.statePath);
        if (!f.open(QIODevice::ReadOnly))
            return problem = QStringLiteral("the state file %1 cannot be read: %2").arg(o_.statePath, f.errorString()), false;
        QString why;
        if (!memory_.fromJson(f.readAll(), why))
            return problem = QStringLiteral("the state file %1 is not usable: %2").arg(o_.statePath, why), false;
    }
    return true;
}

void Emulator::connect(const QString& client, std::function<void(QByteArrayView)> answer) {
    client_ = client;
    answer_ = std::move(answer);
    connectionStart_ = received_;
    unitEnd_ = received_;
}

void Emulator::receive(QByteArrayView bytes) {
    received_ += bytes.size();
    engine_->feed(bytes);
}

void Emulator::disconnect(const QString& why) {
    engine_->finish();
    unitEnd_ = received_;
    finishReceipt(why == QLatin1String("closed") ? QStringLiteral("end of connection") : why);
    answer_ = nullptr;
}

void Emulator::stop(const QString& why) {
    engine_->finish();
    unitEnd_ = received_;
    finishReceipt(why);
    saveState();
}

void Emulator::rows(const uint8_t* dots, int count) {
    if (!png_) {
        pngName_ = QStringLiteral("%1.png").arg(next_, 4, 10, QLatin1Char('0'));
        png_ = std::make_unique<PngStream>(o_.outDir + u'/' + pngName_);
        if (!png_->open()) {
            if (failed) failed(QStringLiteral("%1 cannot be written: %2").arg(pngName_, png_->errorString()));
            png_.reset();
            return;
        }
    }
    png_->rows(dots, count);
}

void Emulator::textLine(const QString& line) { text_ << line; }

void Emulator::cut() { finishReceipt(QStringLiteral("cut")); }

void Emulator::finishReceipt(const QString& ended) {
    if (!png_ || png_->height() == 0) {  // nothing printed: nothing to keep
        if (png_) png_->cancel();
        png_.reset();
        text_.clear();
        return;
    }
    const QString base = QStringLiteral("%1").arg(next_, 4, 10, QLatin1Char('0'));
    QJsonObject o;
    o[QStringLiteral("receipt")] = next_;
    o[QStringLiteral("png")] = pngName_;
    o[QStringLiteral("time")] = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
    o[QStringLiteral("client")] = client_;
    o[QStringLiteral("bytes")] = unitEnd_ - receiptStart_;
    o[QStringLiteral("dots")] = png_->height();
    o[QStringLiteral("ended")] = ended;
    if (engine_->overLength())
        warnings_ << QStringLiteral("the receipt was cut at %1 m of paper").arg(kMaxReceiptDots / 8000);
    QJsonObject seen;
    for (const auto& [name, count] : commands_) seen[name] = count;
    o[QStringLiteral("commands")] = seen;
    o[QStringLiteral("notes")] = QJsonArray::fromStringList(notes_);
    o[QStringLiteral("warnings")] = QJsonArray::fromStringList(warnings_);
    const QColor highlight = paperHighlight(memory_.paperType, o_.highlight);
    bool ok = png_->commit(highlight);
    if (!ok && failed) failed(QStringLiteral("%1 cannot be written: %2").arg(pngName_, png_->errorString()));
    QSaveFile text(o_.outDir + u'/' + base + QStringLiteral(".txt"));
    if (ok && text.open(QIODevice::WriteOnly)) {
        for (const QString& line : text_) text.write(line.toUtf8() + '\n');
        if (text.commit()) o[QStringLiteral("text")] = base + QStringLiteral(".txt");
    }
    if (ok) {
        // One write of a whole line to a file opened for appending: a reader
        // never sees half of it.
        const QByteArray line = QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
        const int fd = ::open(QFile::encodeName(o_.outDir + QStringLiteral("/receipts.jsonl")).constData(),
                              O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
        ok = fd >= 0 && ::write(fd, line.constData(), size_t(line.size())) == ssize_t(line.size());
        if (fd >= 0) ::close(fd);
        if (!ok && failed) failed(QStringLiteral("receipts.jsonl cannot be written"));
        ++next_;
        ++written_;
        if (receiptWritten) receiptWritten(line);
    }
    png_.reset();
    text_.clear();
    notes_.clear();
    warnings_.clear();
    commands_.clear();
    receiptStart_ = unitEnd_;
}

void Emulator::saveState() {
    if (o_.statePath.isEmpty()) return;
    QSaveFile f(o_.statePath);
    if (!f.open(QIODevice::WriteOnly) || f.write(memory_.toJson()) < 0 || !f.commit())
        if (failed) failed(QStringLiteral("the state file %1 cannot be written: %2").arg(o_.statePath, f.errorString()));
}

}  // namespace rastiv

#include "core/history.hpp"

#include <QFile>
#include <QSaveFile>

namespace rastiv {

namespace {

std::optional<QByteArray> readAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
    return f.readAll();
}

// Replaces the file whole, so that an undo that fails halfway leaves the
// working bitmap as it was.
bool writeAll(const QString& path, const QByteArray& bytes) {
    QSaveFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() && f.commit();
}

}  // namespace

PictureState PictureState::of(const WorkingPicture& picture) {
    return {picture.step, picture.width, picture.height, picture.colours};
}

void PictureState::restoreInto(WorkingPicture& picture) const {
    picture.step = step;
    picture.width = width;
    picture.height = height;
    picture.colours = colours;
}

EditHistory::~EditHistory() { drop(0, entries_.size()); }

QString EditHistory::nextFile() { return QStringLiteral("%1/undo-%2.bmp").arg(folder_).arg(++serial_); }

void EditHistory::drop(size_t from, size_t to) {
    for (size_t i = from; i < to; ++i) QFile::remove(entries_[i].file);
    entries_.erase(entries_.begin() + qsizetype(from), entries_.begin() + qsizetype(to));
}

void EditHistory::start(const QString& bitmap, const PictureState& state) {
    drop(0, entries_.size());
    pos_ = 0;
    const auto bytes = readAll(bitmap);
    const QString file = nextFile();
    if (bytes && writeAll(file, *bytes)) entries_.push_back({file, state, serial_, {}});
    savedId_ = serial_;
}

void EditHistory::markSaved() {
    if (!entries_.empty()) savedId_ = entries_[pos_].id;
}

bool EditHistory::noteChange(const QString& bitmap, const PictureState& state, const QString& what) {
    if (entries_.empty()) return false;
    const auto now = readAll(bitmap);
    if (!now) return false;
    Entry& here = entries_[pos_];
    if (readAll(here.file) == now) {
        here.state = state;
        return false;
    }
    const QString file = nextFile();
    if (!writeAll(file, *now)) return false;
    drop(pos_ + 1, entries_.size());
    entries_.push_back({file, state, serial_, what});
    // The loaded picture stays the oldest state; the oldest change goes.
    if (entries_.size() > size_t(kSteps) + 1) drop(1, 2);
    pos_ = entries_.size() - 1;
    return true;
}

std::optional<PictureState> EditHistory::moveTo(size_t pos, const QString& bitmap) {
    const auto bytes = readAll(entries_[pos].file);
    if (!bytes || !writeAll(bitmap, *bytes)) return std::nullopt;
    pos_ = pos;
    return entries_[pos].state;
}

std::optional<PictureState> EditHistory::undo(const QString& bitmap) {
    if (!canUndo()) return std::nullopt;
    return moveTo(pos_ - 1, bitmap);
}

std::optional<PictureState> EditHistory::redo(const QString& bitmap) {
    if (!canRedo()) return std::nullopt;
    return moveTo(pos_ + 1, bitmap);
}

}  // namespace rastiv

// Undo and redo of the working bitmap: every state it has been in since the
// picture was loaded, kept as files in the instance's working folder.
#pragma once

#include "core/workingpicture.hpp"

#include <QString>
#include <optional>
#include <vector>

namespace rastiv {

// What besides the pixels makes a state of the work: the step it had
// reached and what the colour steps learnt about the picture.
struct PictureState {
    int step = 1;
    std::optional<uint32_t> width, height;
    ColourSession colours;

    static PictureState of(const WorkingPicture& picture);
    void restoreInto(WorkingPicture& picture) const;
    bool operator==(const PictureState&) const = default;
};

class EditHistory {
public:
    // Changes kept besides the picture as loaded, which is always kept.
    static constexpr int kSteps = 50;

    explicit EditHistory(QString folder) : folder_(std::move(folder)) {}
    ~EditHistory();
    EditHistory(const EditHistory&) = delete;
    EditHistory& operator=(const EditHistory&) = delete;

    // Forgets everything and starts again from the picture as loaded.
    void start(const QString& bitmap, const PictureState& state);
    // Records the bitmap and state as a new step when the bitmap differs
    // from the present one; a new step drops whatever could have been
    // redone.  The same pixels with another state (the step marker moved on,
    // a colour step that changed nothing) are no step to undo: the present
    // state takes them in.  False when no step was made.
    // `what` names the change for the Edit menu ("Re-size").
    bool noteChange(const QString& bitmap, const PictureState& state, const QString& what = {});
    // Puts the previous (next) state's bitmap back over `bitmap` and returns
    // its state; nothing when there is none or the file cannot be restored.
    std::optional<PictureState> undo(const QString& bitmap);
    std::optional<PictureState> redo(const QString& bitmap);

    // The present state has been saved to a file (or is the picture as
    // loaded): quitting or loading another loses nothing.
    void markSaved();
    bool unsaved() const { return !entries_.empty() && entries_[pos_].id != savedId_; }

    bool canUndo() const { return pos_ > 0; }
    bool canRedo() const { return pos_ + 1 < entries_.size(); }
    // What Undo takes back and what Redo brings back, as noted.
    QString undoName() const { return canUndo() ? entries_[pos_].what : QString(); }
    QString redoName() const { return canRedo() ? entries_[pos_ + 1].what : QString(); }
    // How many states are kept, the loaded one included.
    size_t size() const { return entries_.size(); }

private:
    struct Entry {
        QString file;
        PictureState state;
        unsigned id = 0;
        QString what;
    };
    std::optional<PictureState> moveTo(size_t pos, const QString& bitmap);
    void drop(size_t from, size_t to);
    QString nextFile();

    QString folder_;
    std::vector<Entry> entries_;
    size_t pos_ = 0;
    unsigned serial_ = 0;
    unsigned savedId_ = 0;
};

}  // namespace rastiv

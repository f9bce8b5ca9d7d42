// The working picture and its history: how a picture comes in (a file of
// any format, a pasted or dropped picture), the rotations, Undo and Redo,
// and whether there is work that no file holds.
#pragma once

#include "core/env.hpp"
#include "core/filedialogs.hpp"
#include "core/history.hpp"
#include "core/workingpicture.hpp"
#include "core/pictureimport.hpp"

#include <QImage>
#include <QObject>
#include <functional>

namespace rastiv {

// What every step says when there is no picture yet.
QString notLoadedText();

class PictureDocument final : public QObject {
    Q_OBJECT
public:
    // The window shows the picture, moves the marker and holds the buttons.
    // Loading, rotation, Undo and Redo change `picture`.
    PictureDocument(Env& env, WorkingPicture& picture, Workflow& window, QObject* parent = nullptr);

    // The name the title shows: the file's, or "Pasted picture".
    const QString& name() const { return name_; }
    const EditHistory& history() const { return history_; }

    // Asks before work that no file holds is thrown away ("Save the changes
    // to the picture before quitting?"); true to go on.  Save runs `save`,
    // and goes on only once something has been saved there.
    bool mayReplace(const QString& doing);
    std::function<void()> save;
    // Changes to the picture that no file holds yet (the paint program's
    // edits included).
    bool hasUnsavedChanges();

    // With the buttons disabled; each gives them back however it ends.
    void load(const FileChoice& choice);
    void loadImage(const QImage& picture, const QString& name);
    void rotate(int32_t direction);

    // Every change to the working bitmap becomes a step that Undo can take
    // back; true when the picture had changed.  Unnamed, it is what the
    // paint program did.
    bool recordChange(const QString& what = {});
    void undo();
    void redo();
    // The working bitmap, as it is now, has been saved to a file.
    void markSaved();

signals:
    // Undo or Redo would do something else now.
    void historyChanged();
    // A picture has become the working one.
    void loaded();

private:
    QString importTarget() const;
    void adopt(const ImportedPicture& in);
    void loadPrepared(const QString& original, const QString& name, const QString& readerProblem);
    void restore(const std::optional<PictureState>& state);

    Env& env_;
    WorkingPicture& picture_;
    Workflow& window_;
    EditHistory history_;
    QString name_;
    int importSerial_ = 0;
};

}  // namespace rastiv

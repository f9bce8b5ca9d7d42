// Pixmill, loaded by name when the program first needs it and bound one export
// at a time, so that a missing library or an older one without some export
// costs the operator one operation, not the program.  The library's header
// comes along for its names (codes, paper, directions, renderings): the
// program speaks them, and never calls its functions directly.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <map>
#include <pixmill/pixmill.h>
#include <string>

#include "link/batch.hpp"

namespace rastiv {

// The library's message hook as the printer link's batch files name it.
using PixmillMessageHookFn = BatchFiles::MessageHook;

// The batch exports are what the printer link's batch recording uses.
class PixmillBinding final : public BatchFiles {
public:
    // What an export returns when it cannot be called at all.  Negative, so
    // it never collides with the library's own codes and reads as "Error #-1".
    static constexpr int32_t kUnavailable = -1;

    // candidates: library file names or paths tried in order with dlopen.
    explicit PixmillBinding(QStringList candidates = defaultCandidates());
    ~PixmillBinding();
    PixmillBinding(const PixmillBinding&) = delete;
    PixmillBinding& operator=(const PixmillBinding&) = delete;

    static QStringList defaultCandidates();

    // Told, in plain words, when the library or an export cannot be bound.
    void setProblemReporter(std::function<void(const QString&)> r) { report_ = std::move(r); }

    int32_t IsBitmap(const QString& path);
    int32_t Is24BitsPerPixel(const QString& path);
    int32_t SaveBMP(const QString& source, const QString& destination);
    int32_t CleanBMP(const QString& path);
    int32_t Convert24to8Bits(const QString& source, const QString& destination);
    int32_t RotateBitmap(const QString& source, const QString& destination, int32_t direction);
    int32_t StretchBitmap(int32_t newWidth, const QString& destination, const QString& source);
    int32_t SaveBMPAsGfx(const QString& source, const QString& destination, int32_t paperKind);
    int32_t SaveBMPAsLogo(const QString& source, const QString& destination, int32_t paperKind);

    // Colour census, merging, swapping and flashing.  Colours are the
    // library's colour values (blue, green, red from the top byte down).
    int32_t NumColors(const QString& path, int32_t ignoreWhite, int32_t ignoreBlack);
    int32_t FindMajorColor(const QString& path, int32_t rank, int32_t ignoreWhite, int32_t ignoreBlack,
                           uint32_t& colour, int32_t& percent);
    int32_t MergeColors(const QString& path, uint32_t colour, int32_t threshold);
    int32_t MergeBandW(const QString& path);
    // The whole automatic translation (see pixmill.h); `step` hears each rank
    // and threshold, and true from it stops the run.
    int32_t TranslateColors(const QString& path, int32_t maxColours, int32_t speed, int32_t limit,
                            const std::function<bool(int32_t rank, int32_t threshold)>& step);
    // The same run, and `shown` hears after each merge that moved pixels
    // the index now of every index the picture had when it began.
    int32_t TranslateColorsShown(const QString& path, int32_t maxColours, int32_t speed, int32_t limit,
                                 const std::function<bool(int32_t rank, int32_t threshold)>& step,
                                 const std::function<void(const uint8_t* indexNow)>& shown);
    int32_t ColorSwap(const QString& path, uint32_t source, uint32_t target);
    int32_t DitheredColorSwap(const QString& path, uint32_t source, int32_t code, int32_t paperKind);
    int32_t Flash(const QString& path, uint32_t colour);

    // Tone-preserving separation into paper, black and highlight dots.
    int32_t SeparateBitmap(const QString& source, const QString& destination, int32_t paperKind, int32_t method,
                           int32_t brightness, int32_t contrast, int32_t gamma, int32_t sharpen);
    int32_t SeparatorOpen(PixmillSeparator*& separator, int32_t width, int32_t paperKind, int32_t method,
                          int32_t brightness, int32_t contrast, int32_t gamma, int32_t sharpen);
    int32_t SeparatorPushRow(PixmillSeparator* separator, const unsigned char* rgb, unsigned char* inks,
                             int32_t& ready);
    int32_t SeparatorFlush(PixmillSeparator* separator, unsigned char* inks, int32_t& ready);
    void SeparatorClose(PixmillSeparator* separator);

    // Why a file would be refused as a picture: reason a PixmillReason, words
    // one or two sentences for the operator.  Asked only to explain an error
    // already on its way, so a library without it is not reported.
    int32_t DiagnoseBitmap(const QString& path, int32_t& reason, QString& words);

    // Batch files (see BatchFiles).
    int32_t BatchOpenForWrite(const QString& path) override;
    int32_t BatchOpenForRead(const QString& path) override;
    int32_t BatchWrite(int32_t handle, const QByteArray& bytes) override;
    int32_t BatchRead(int32_t handle, QByteArray& buffer, int32_t& count, int32_t& pause) override;
    int32_t BatchClose(int32_t handle) override;
    void PixmillSetMessageHook(PixmillMessageHookFn hook, void* user) override;

    bool loaded() const { return handle_ != nullptr; }
    // The file that was loaded, or why none could be.
    QString describe() const { return loaded() ? loadedFrom_ : loadError_; }

    // Binds an export by name (nullptr when unavailable, after reporting it
    // unless quiet; a missing library is reported all the same).
    void* resolve(const char* name, bool quiet = false);

private:
    bool load();

    QStringList candidates_;
    void* handle_ = nullptr;
    bool triedLoad_ = false;
    bool reportedMissing_ = false;
    QString loadedFrom_;
    QString loadError_;
    std::map<std::string, void*> bound_;
    std::function<void(const QString&)> report_;
};

}  // namespace rastiv

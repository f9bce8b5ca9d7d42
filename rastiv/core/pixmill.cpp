#include "core/pixmill.hpp"

#include <QCoreApplication>
#include <QFile>
#include <algorithm>
#include <climits>
#include <dlfcn.h>
#include <pixmill/pixmill.h>

namespace rastiv {

namespace {
QByteArray native(const QString& path) { return QFile::encodeName(path); }

// Calls the export through the declared prototype of the header, so a change
// of signature there breaks the build rather than the stack.
template <typename Fn, typename... Args>
int32_t call(PixmillBinding& b, const char* name, Args... args) {
    void* f = b.resolve(name);
    if (!f) return PixmillBinding::kUnavailable;
    return reinterpret_cast<Fn>(f)(args...);
}
}  // namespace

#define PIXMILL_CALL(name, ...) call<decltype(&::name)>(*this, #name, __VA_ARGS__)

PixmillBinding::PixmillBinding(QStringList candidates) : candidates_(std::move(candidates)) {}

PixmillBinding::~PixmillBinding() {
    if (handle_) dlclose(handle_);
}

QStringList PixmillBinding::defaultCandidates() {
    // By its SONAME, the one name an installation without the development
    // files has, and the one whose interface this program was built against.
    const QString soname = QStringLiteral("libpixmill.so.%1").arg(PIXMILL_VERSION_MAJOR);
    // The build puts the library beside the program; an installation puts it
    // in its library folder, which the bare name finds too (through the run
    // path, or the system's own search when that folder is a system one).
    const QString dir = QCoreApplication::applicationDirPath();
    return {dir + u'/' + soname, dir + QStringLiteral("/" RASTIV_LIBDIR_FROM_BINDIR "/") + soname, soname};
}

bool PixmillBinding::load() {
    if (triedLoad_) return handle_ != nullptr;
    triedLoad_ = true;
    QStringList errors;
    for (const QString& c : candidates_) {
        dlerror();
        if (void* h = dlopen(native(c).constData(), RTLD_NOW | RTLD_LOCAL)) {
            handle_ = h;
            loadedFrom_ = c;
            return true;
        }
        const char* e = dlerror();
        errors << (e ? QString::fromLocal8Bit(e) : c);
    }
    loadError_ = errors.join(QStringLiteral("; "));
    return false;
}

void* PixmillBinding::resolve(const char* name, bool quiet) {
    if (auto it = bound_.find(name); it != bound_.end()) return it->second;
    if (!load()) {
        // Try again on every call, as the operator may install the library
        // meanwhile, but explain the missing library only once: the failed
        // operations still say "Error #-1" each time.
        triedLoad_ = false;
        if (report_ && !reportedMissing_) {
            reportedMissing_ = true;
            report_(QStringLiteral("Rastiv could not load its image library (libpixmill.so), so it cannot work "
                                   "on pictures.  Please reinstall Rastiv.\n\nDetails: %1")
                        .arg(loadError_));
        }
        return nullptr;
    }
    dlerror();
    void* f = dlsym(handle_, name);
    if (!f) {
        if (report_ && !quiet)
            report_(QStringLiteral("The image library %1 is too old: it has no function %2, so this step cannot "
                                   "be done.  Please install the Pixmill library that came with this Rastiv.")
                        .arg(loadedFrom_, QString::fromLatin1(name)));
        return nullptr;
    }
    bound_.emplace(name, f);
    return f;
}

int32_t PixmillBinding::IsBitmap(const QString& path) {
    const QByteArray p = native(path);
    const int32_t r = PIXMILL_CALL(IsBitmap, p.constData());
    return r == kUnavailable ? 0 : r;
}

int32_t PixmillBinding::Is24BitsPerPixel(const QString& path) {
    const QByteArray p = native(path);
    const int32_t r = PIXMILL_CALL(Is24BitsPerPixel, p.constData());
    return r == kUnavailable ? 0 : r;
}

int32_t PixmillBinding::SaveBMP(const QString& source, const QString& destination) {
    const QByteArray s = native(source), d = native(destination);
    return PIXMILL_CALL(SaveBMP, s.constData(), d.constData());
}

int32_t PixmillBinding::CleanBMP(const QString& path) {
    const QByteArray p = native(path);
    return PIXMILL_CALL(CleanBMP, p.constData());
}

int32_t PixmillBinding::Convert24to8Bits(const QString& source, const QString& destination) {
    const QByteArray s = native(source), d = native(destination);
    return PIXMILL_CALL(Convert24to8Bits, s.constData(), d.constData());
}

int32_t PixmillBinding::RotateBitmap(const QString& source, const QString& destination, int32_t direction) {
    const QByteArray s = native(source), d = native(destination);
    return PIXMILL_CALL(RotateBitmap, s.constData(), d.constData(), direction);
}

int32_t PixmillBinding::StretchBitmap(int32_t newWidth, const QString& destination, const QString& source) {
    const QByteArray s = native(source), d = native(destination);
    return PIXMILL_CALL(StretchBitmap, newWidth, d.constData(), s.constData());
}

int32_t PixmillBinding::SaveBMPAsGfx(const QString& source, const QString& destination, int32_t paperKind) {
    const QByteArray s = native(source), d = native(destination);
    return PIXMILL_CALL(SaveBMPAsGfx, s.constData(), d.constData(), paperKind);
}

int32_t PixmillBinding::SaveBMPAsLogo(const QString& source, const QString& destination, int32_t paperKind) {
    const QByteArray s = native(source), d = native(destination);
    return PIXMILL_CALL(SaveBMPAsLogo, s.constData(), d.constData(), paperKind);
}

int32_t PixmillBinding::NumColors(const QString& path, int32_t ignoreWhite, int32_t ignoreBlack) {
    const QByteArray p = native(path);
    return PIXMILL_CALL(NumColors, p.constData(), ignoreWhite, ignoreBlack);  // -1 either way when it fails
}

int32_t PixmillBinding::FindMajorColor(const QString& path, int32_t rank, int32_t ignoreWhite, int32_t ignoreBlack,
                                       uint32_t& colour, int32_t& percent) {
    const QByteArray p = native(path);
    return PIXMILL_CALL(FindMajorColor, p.constData(), rank, ignoreWhite, ignoreBlack, &colour, &percent);
}

int32_t PixmillBinding::MergeColors(const QString& path, uint32_t colour, int32_t threshold) {
    const QByteArray p = native(path);
    return PIXMILL_CALL(MergeColors, p.constData(), colour, threshold);
}

int32_t PixmillBinding::MergeBandW(const QString& path) {
    const QByteArray p = native(path);
    return PIXMILL_CALL(MergeBandW, p.constData());
}

int32_t PixmillBinding::TranslateColors(const QString& path, int32_t maxColours, int32_t speed, int32_t limit,
                                        const std::function<bool(int32_t, int32_t)>& step) {
    const QByteArray p = native(path);
    const auto relay = [](int32_t rank, int32_t threshold, void* user) -> int32_t {
        const auto& f = *static_cast<const std::function<bool(int32_t, int32_t)>*>(user);
        return f && f(rank, threshold) ? 1 : 0;
    };
    return PIXMILL_CALL(TranslateColors, p.constData(), maxColours, speed, limit, +relay,
                        const_cast<void*>(static_cast<const void*>(&step)));
}

int32_t PixmillBinding::TranslateColorsShown(const QString& path, int32_t maxColours, int32_t speed, int32_t limit,
                                             const std::function<bool(int32_t, int32_t)>& step,
                                             const std::function<void(const uint8_t*)>& shown) {
    const QByteArray p = native(path);
    struct Hearers {
        const std::function<bool(int32_t, int32_t)>& step;
        const std::function<void(const uint8_t*)>& shown;
    } hearers{step, shown};
    const auto relayStep = [](int32_t rank, int32_t threshold, void* user) -> int32_t {
        const auto& f = static_cast<const Hearers*>(user)->step;
        return f && f(rank, threshold) ? 1 : 0;
    };
    const auto relayShown = [](const uint8_t* indexNow, void* user) {
        if (const auto& f = static_cast<const Hearers*>(user)->shown) f(indexNow);
    };
    return PIXMILL_CALL(TranslateColorsShown, p.constData(), maxColours, speed, limit, +relayStep, +relayShown,
                        static_cast<void*>(&hearers));
}

int32_t PixmillBinding::ColorSwap(const QString& path, uint32_t source, uint32_t target) {
    const QByteArray p = native(path);
    return PIXMILL_CALL(ColorSwap, p.constData(), source, target);
}

int32_t PixmillBinding::DitheredColorSwap(const QString& path, uint32_t source, int32_t code, int32_t paperKind) {
    const QByteArray p = native(path);
    return PIXMILL_CALL(DitheredColorSwap, p.constData(), source, code, paperKind);
}

int32_t PixmillBinding::Flash(const QString& path, uint32_t colour) {
    const QByteArray p = native(path);
    return PIXMILL_CALL(Flash, p.constData(), colour);
}

int32_t PixmillBinding::SeparateBitmap(const QString& source, const QString& destination, int32_t paperKind,
                                       int32_t method, int32_t brightness, int32_t contrast, int32_t gamma,
                                       int32_t sharpen) {
    const QByteArray s = native(source), d = native(destination);
    return PIXMILL_CALL(SeparateBitmap, s.constData(), d.constData(), paperKind, method, brightness, contrast, gamma,
                        sharpen);
}

int32_t PixmillBinding::SeparatorOpen(PixmillSeparator*& separator, int32_t width, int32_t paperKind, int32_t method,
                                      int32_t brightness, int32_t contrast, int32_t gamma, int32_t sharpen) {
    return PIXMILL_CALL(SeparatorOpen, &separator, width, paperKind, method, brightness, contrast, gamma, sharpen);
}

int32_t PixmillBinding::SeparatorPushRow(PixmillSeparator* separator, const unsigned char* rgb, unsigned char* inks,
                                         int32_t& ready) {
    ready = 0;
    return PIXMILL_CALL(SeparatorPushRow, separator, rgb, inks, &ready);
}

int32_t PixmillBinding::SeparatorFlush(PixmillSeparator* separator, unsigned char* inks, int32_t& ready) {
    ready = 0;
    return PIXMILL_CALL(SeparatorFlush, separator, inks, &ready);
}

void PixmillBinding::SeparatorClose(PixmillSeparator* separator) {
    // A separator can only have come from the library, so it is bound already.
    if (!separator) return;
    if (void* f = resolve("SeparatorClose")) reinterpret_cast<decltype(&::SeparatorClose)>(f)(separator);
}

int32_t PixmillBinding::DiagnoseBitmap(const QString& path, int32_t& reason, QString& words) {
    void* f = resolve("DiagnoseBitmap", true);
    if (!f) return kUnavailable;
    const QByteArray p = native(path);
    char text[PIXMILL_DIAGNOSIS_TEXT_SIZE];
    const int32_t r = reinterpret_cast<decltype(&::DiagnoseBitmap)>(f)(p.constData(), &reason, text, sizeof text);
    if (r == PIXMILL_OK) words = QString::fromLatin1(text);
    return r;
}

int32_t PixmillBinding::BatchOpenForWrite(const QString& path) {
    const QByteArray p = native(path);
    return PIXMILL_CALL(BatchOpenForWrite, p.constData());
}

int32_t PixmillBinding::BatchOpenForRead(const QString& path) {
    const QByteArray p = native(path);
    return PIXMILL_CALL(BatchOpenForRead, p.constData());
}

int32_t PixmillBinding::BatchWrite(int32_t handle, const QByteArray& bytes) {
    const int32_t r = PIXMILL_CALL(BatchWrite, handle, reinterpret_cast<const unsigned char*>(bytes.constData()),
                                   int32_t(bytes.size()));
    return r == kUnavailable ? 0 : r;
}

int32_t PixmillBinding::BatchRead(int32_t handle, QByteArray& buffer, int32_t& count, int32_t& pause) {
    // The library writes up to count bytes: never let that pass the buffer.
    count = std::clamp<int32_t>(count, 0, int32_t(std::min<qsizetype>(buffer.size(), INT32_MAX)));
    const int32_t r = PIXMILL_CALL(BatchRead, handle, reinterpret_cast<unsigned char*>(buffer.data()), &count, &pause);
    return r == kUnavailable ? 0 : r;
}

int32_t PixmillBinding::BatchClose(int32_t handle) {
    const int32_t r = PIXMILL_CALL(BatchClose, handle);
    return r == kUnavailable ? 0 : r;
}

void PixmillBinding::PixmillSetMessageHook(PixmillMessageHookFn hook, void* user) {
    if (void* f = resolve("PixmillSetMessageHook"))
        reinterpret_cast<decltype(&::PixmillSetMessageHook)>(f)(hook, user);
}

}  // namespace rastiv

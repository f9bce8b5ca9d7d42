#include "pageout/pageout.hpp"

#include <algorithm>
#include <utility>

namespace pageout {

namespace {

// ESC J n: feed n dots.
constexpr unsigned char kFeed = 0x4A;
constexpr int kMaxFeedDots = 255;
// ESC J 255, then 19h: past the tear bar, as Rastiv ends a print it cancelled.
constexpr unsigned char kCancelFeed[] = {0x1B, 0x4A, 0xFF, 0x19};
// ESC m: cut the paper.
constexpr unsigned char kCut[] = {0x1B, 0x6D};
// ESC p 0 t1 t2: a pulse on the drawer's pin 2, 50 ms on and 500 ms off.
constexpr unsigned char kDrawerKick[] = {0x1B, 0x70, 0x00, 0x19, 0xFA};
constexpr int kRecordMax = 146;  // 1D 83, ink plane, black plane

}  // namespace

int brightnessForDarkness(int darkness) { return -15 * std::clamp(darkness, -2, 2); }

int dotsForMillimetres(int mm) { return (std::clamp(mm, 0, 100) * kDotsPerInch * 10 + 127) / 254; }

JobWriter::~JobWriter() { closeSeparator(); }

void JobWriter::closeSeparator() {
    SeparatorClose(separator_);
    separator_ = nullptr;
}

bool JobWriter::fail(std::string what) {
    if (error_.empty()) error_ = std::move(what);
    closeSeparator();
    inPage_ = false;
    return false;
}

bool JobWriter::send(const unsigned char* bytes, size_t size) {
    if (!ok()) return false;
    return sink_.write(bytes, size) || fail("Unable to send print data to the printer.");
}

bool JobWriter::feed(int dots) {
    for (; dots > 0 && ok(); dots -= kMaxFeedDots) {
        const unsigned char command[] = {0x1B, kFeed, static_cast<unsigned char>(std::min(dots, kMaxFeedDots))};
        send(command, sizeof command);
    }
    return ok();
}

bool JobWriter::startPage(const Choices& choices, int width, int channels) {
    if (!ok()) return false;
    if (inPage_) return fail("A page started inside another.");
    if (width <= 0 || width > 65535 || (channels != 1 && channels != 3))
        return fail("The page is not 8-bit RGB or grey lines of 1 to 65535 pixels.");
    const rastiv::SeparationSettings& s = choices.separation;
    if (int32_t r = SeparatorOpen(&separator_, kLineDots, choices.paperKind, int32_t(s.method), s.brightness,
                                  s.contrast, s.gamma, s.sharpen);
        r != 0)
        return fail("The page could not be separated into inks (Error # " + std::to_string(r) + ").");
    choices_ = choices;
    width_ = width, channels_ = channels;
    skip_ = width > kLineDots ? (width - kLineDots) / 2 : 0;
    pad_ = width < kLineDots ? (kLineDots - width) / 2 : 0;
    count_ = std::min(width, kLineDots);
    rgb_.assign(size_t(kLineDots) * 3, 0xFF);
    inks_.assign(size_t(kLineDots), PIXMILL_INK_PAPER);
    blank_ = 0, inked_ = false, inPage_ = true;
    if (pages_++ == 0 && choices.drawer == Drawer::Before) send(kDrawerKick, sizeof kDrawerKick);
    return ok();
}

bool JobWriter::line(const unsigned char* pixels) {
    if (!ok()) return false;
    if (!inPage_) return fail("A line came outside a page.");
    unsigned char* out = rgb_.data() + size_t(pad_) * 3;
    if (channels_ == 1) {
        for (int x = 0; x < count_; ++x, out += 3) out[0] = out[1] = out[2] = pixels[skip_ + x];
    } else {
        std::copy_n(pixels + size_t(skip_) * 3, size_t(count_) * 3, out);
    }
    int32_t ready = 0;
    if (SeparatorPushRow(separator_, rgb_.data(), inks_.data(), &ready) != 0)
        return fail("The line could not be separated into inks.");
    return !ready || inks(inks_.data());
}

bool JobWriter::inks(const unsigned char* inks) {
    if (std::all_of(inks, inks + kLineDots, [](unsigned char ink) { return ink == PIXMILL_INK_PAPER; })) {
        ++blank_;
        return true;
    }
    unsigned char record[kRecordMax];
    int32_t length = 0;
    if (EncodeGfxRow(inks, kLineDots, choices_.paperKind, record, &length) != 0)
        return fail("The separated line could not be encoded.");
    int blank = std::exchange(blank_, 0);
    if (!inked_ && choices_.skipBlankStart) blank = 0;
    inked_ = true;
    return feed(blank) && send(record, size_t(length));
}

bool JobWriter::endPage() {
    if (!ok()) return false;
    if (!inPage_) return fail("A page ended that had not started.");
    int32_t ready = 0;
    if (SeparatorFlush(separator_, inks_.data(), &ready) != 0) return fail("The page's last line was lost.");
    if (ready && !inks(inks_.data())) return false;
    closeSeparator();
    inPage_ = false;
    if (choices_.printBlankEnd && (inked_ || !choices_.skipBlankStart)) feed(blank_);
    feed(choices_.feedDots);
    if (choices_.cut == Cut::Page) send(kCut, sizeof kCut);
    return ok();
}

bool JobWriter::endJob() {
    if (!ok()) return false;
    if (inPage_) return fail("The job ended inside a page.");
    if (pages_ == 0) return true;
    if (choices_.cut == Cut::Job) send(kCut, sizeof kCut);
    if (choices_.drawer == Drawer::After) send(kDrawerKick, sizeof kDrawerKick);
    return ok();
}

bool JobWriter::cancel() {
    closeSeparator();
    inPage_ = false;
    return ok() && send(kCancelFeed, sizeof kCancelFeed);
}

}  // namespace pageout

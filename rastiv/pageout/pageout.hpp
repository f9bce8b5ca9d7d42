// The way from a page's lines to the printer's bytes, shared by the front
// ends that print pages (the printer application, and the CUPS filter): each
// line is split into paper, black and the highlight ink by Pixmill's
// streaming separator and written as one raster-line command (1D 83 on
// two-colour paper, 1D 82 black only) through the encoder that writes
// graphics files; runs of blank lines become paper feeds (ESC J), and the
// cut (ESC m) and the cash drawer (ESC p) follow the job's choices.
//
// Memory does not grow with the page: one line of the page, one line of dots
// and one record are all a writer holds.  Pixmill and the C++ library only.
#pragma once

#include <pixmill/pixmill.h>

#include <cstddef>
#include <string>
#include <vector>

#include "pageout/separation.hpp"

namespace pageout {

constexpr int kLineDots = 576;  // one printer line
constexpr int kDotsPerInch = 203;

enum class Cut { None, Page, Job };
enum class Drawer { Never, Before, After };

// One page's choices.  The job's cut and drawer are those of its last page,
// as a printer sees them at the end of the job.
struct Choices {
    int paperKind = PIXMILL_PAPER_RED;
    rastiv::SeparationSettings separation;
    int feedDots = 0;    // after each page
    Cut cut = Cut::None;
    Drawer drawer = Drawer::Never;
    // Roll media: a job prints as long as its content, so the blank lines
    // before the first inked one are not fed.
    bool skipBlankStart = false;
    // The blank lines after the last inked one are fed only when asked.
    bool printBlankEnd = false;
};

// A printer darkness step (-2..2, 0 normal) as the separator's brightness:
// each step darker is a step of brightness down, so more dots.
int brightnessForDarkness(int darkness);
// Millimetres of paper as printer dots (0..100 mm).
int dotsForMillimetres(int mm);

// Where the printer's bytes go: a file descriptor, a device.  false once the
// printer cannot take more; the writer then stops.
class Sink {
public:
    virtual ~Sink() = default;
    virtual bool write(const unsigned char* bytes, size_t size) = 0;
};

// One job: startPage, a line at a time, endPage, for each page; then
// endJob, or cancel.  Every call returns false once something failed, and
// error() says what.
class JobWriter {
public:
    explicit JobWriter(Sink& sink) : sink_(sink) {}
    ~JobWriter();
    JobWriter(const JobWriter&) = delete;
    JobWriter& operator=(const JobWriter&) = delete;

    // A page of `width` pixels a line, `channels` 1 (grey) or 3 (RGB), 8
    // bits each.  A wider page gives its middle 576 dots (the printable
    // width sits in the middle of the paper), a narrower one is centred on
    // white.
    bool startPage(const Choices& choices, int width, int channels);
    bool line(const unsigned char* pixels);
    bool endPage();
    // The cut and the drawer after the last page; nothing when no page
    // printed.
    bool endJob();
    // Ends a cancelled job on a whole line: the paper feed that ends a
    // cancelled print in Rastiv, past the tear bar.
    bool cancel();

    int pages() const { return pages_; }
    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }

private:
    bool fail(std::string what);
    bool send(const unsigned char* bytes, size_t size);
    bool feed(int dots);
    bool inks(const unsigned char* inks);
    void closeSeparator();

    Sink& sink_;
    Choices choices_;
    PixmillSeparator* separator_ = nullptr;
    std::vector<unsigned char> rgb_, inks_;
    int width_ = 0, channels_ = 3, skip_ = 0, pad_ = 0, count_ = 0;
    int blank_ = 0;        // blank lines waiting for something to print after them
    bool inked_ = false;   // something printed on this page
    bool inPage_ = false;
    int pages_ = 0;
    std::string error_;
};

}  // namespace pageout

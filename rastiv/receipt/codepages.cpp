#include "receipt/codepages.hpp"

#include <iconv.h>

#include <array>
#include <memory>
#include <mutex>

namespace rastiv {

namespace {

struct Page {
    uint8_t n;
    const char* iconvName;
};
// The standard numbering of the common reference; Katakana, Thai and the
// Indian pages, which glibc does not know by these names, are left out.
constexpr Page kPages[] = {
    {0, "CP437"},       {2, "CP850"},        {3, "CP860"},   {4, "CP863"},   {5, "CP865"},   {11, "CP851"},
    {13, "CP857"},      {14, "CP737"},       {15, "ISO-8859-7"}, {16, "CP1252"}, {17, "CP866"}, {18, "CP852"},
    {19, "CP858"},      {21, "TIS-620"},     {33, "CP775"},  {34, "CP855"},  {35, "CP861"},  {36, "CP862"},
    {37, "CP864"},      {38, "CP869"},       {39, "ISO-8859-2"}, {40, "ISO-8859-15"}, {44, "CP1125"},
    {45, "CP1250"},     {46, "CP1251"},      {47, "CP1253"}, {48, "CP1254"}, {49, "CP1255"}, {50, "CP1256"},
    {51, "CP1257"},     {52, "CP1258"},      {255, nullptr},
};

using Upper = std::array<char32_t, 128>;

// Where the printers' pages differ from glibc's strict IBM tables: the euro
// sign, which the printers put where IBM's euro variants of the same page
// put it (and which IBM's tables leave empty or give another character).
struct Euro {
    uint8_t page, byte;
    char32_t ch;
};
constexpr Euro kEuro[] = {
    {13, 0xD5, U'\u20AC'},  // PC857: IBM CCSID 9049 (857 with the euro); printers' "CP857 + Euro" at D5 too
    {17, 0xFD, U'\u20AC'},  // PC866: IBM CCSID 808 (866 with the euro at FD, in place of the currency sign)
    {19, 0xD5, U'\u20AC'},  // PC858: IBM CCSID 858, 850 with the euro at D5 (glibc agrees)
    // PC850 keeps the dotless i at D5: printers print the euro there only in
    // PC858, or when a euro-insertion command asks.  PC852 keeps the not
    // sign at AA: the euro at AA is a page of its own ("CP852 + Euro") on
    // the printers that have it, which ESC t does not number here.
};

Upper readPage(const char* name) {
    Upper upper;
    upper.fill(U'\uFFFD');
    iconv_t cd = iconv_open("UTF-32LE", name);
    if (cd == iconv_t(-1)) return upper;
    for (int b = 0x80; b <= 0xFF; ++b) {
        char in = char(b);
        char out[8] = {};
        char* inp = &in;
        char* outp = out;
        size_t inLeft = 1, outLeft = sizeof out;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd, &inp, &inLeft, &outp, &outLeft) != size_t(-1) && outLeft == 4)
            upper[size_t(b - 0x80)] = char32_t(uint8_t(out[0]) | uint8_t(out[1]) << 8 | uint8_t(out[2]) << 16);
    }
    iconv_close(cd);
    return upper;
}

}  // namespace

const char* codePageName(uint8_t n) {
    for (const Page& p : kPages)
        if (p.n == n) return p.iconvName;
    return nullptr;
}

char32_t decodeByte(uint8_t n, uint8_t b) {
    if (b < 0x80) return b;
    static std::mutex lock;
    static std::array<std::unique_ptr<Upper>, 256> pages;
    const std::lock_guard<std::mutex> hold(lock);
    auto& page = pages[n];
    if (!page) {
        const char* name = codePageName(n);
        page = std::make_unique<Upper>(name ? readPage(name) : Upper{});
        if (!name) page->fill(U'\uFFFD');
        for (const Euro& e : kEuro)
            if (name && e.page == n) (*page)[size_t(e.byte - 0x80)] = e.ch;
    }
    return (*page)[size_t(b - 0x80)];
}

}  // namespace rastiv

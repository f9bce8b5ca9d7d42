// The emulated printer on any stream, as `rastiv-cli serve` runs it: the input
// is two or three connections with finish() between them, one engine and one
// flash across them, a sink that keeps each receipt's text lines; the memory
// in use must stay bounded whatever a client claims (4 GB from a 22-byte
// header once).  The receipt is capped short to keep each run cheap.
// Build: CC=clang-14 CXX=clang++-14 cmake -S fuzz -B build-fuzz -G Ninja && ninja -C build-fuzz fuzz_printer
// Run:   build-fuzz/fuzz_printer -max_len=65536 -timeout=10 build-fuzz/corpus-printer   (all targets: fuzz/run.sh)
#include <sanitizer/allocator_interface.h>

#include <QStringList>
#include <cstdlib>

#include "receipt/receiptengine.hpp"

namespace {
constexpr size_t kMaxHeld = size_t(256) << 20;

void checkMemory() {
    if (__sanitizer_get_current_allocated_bytes() > kMaxHeld) __builtin_trap();
}

struct Receipts : rastiv::PaperSink {
    QStringList text;
    void rows(const uint8_t*, int) override { checkMemory(); }
    void textLine(const QString& line) override { text << line; }
    void cut() override { text.clear(); }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Receipts paper;
    rastiv::PrinterMemory memory;
    rastiv::ReceiptEngine engine(paper, memory);
    engine.limitReceipt(2000);
    const size_t connections = 2 + size % 2;
    for (size_t c = 0; c < connections; ++c) {
        const size_t from = size * c / connections, to = size * (c + 1) / connections;
        engine.feed(QByteArrayView(data + from, qsizetype(to - from)));
        checkMemory();
        engine.finish();
        paper.text.clear();
        checkMemory();
    }
    return 0;
}

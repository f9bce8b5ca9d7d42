// The receipt renderer on any stream: no crash, no read outside a command's
// bytes, and the paper never longer than the cap.  Without a GUI application
// characters are blocks, which keeps it fast; fonts are not what is fuzzed.
// Build: CC=clang-14 CXX=clang++-14 cmake -S fuzz -B build-fuzz -G Ninja && ninja -C build-fuzz fuzz_receipt
// Run:   build-fuzz/fuzz_receipt -max_len=65536 -timeout=10 build-fuzz/corpus-receipt   (all targets: fuzz/run.sh)
#include <cstdlib>

#include "receipt/receiptengine.hpp"

namespace {
struct Rows : rastiv::PaperSink {
    qint64 receipt = 0;
    void rows(const uint8_t*, int count) override {
        if ((receipt += count) > rastiv::kMaxReceiptDots) std::abort();
    }
    void cut() override { receipt = 0; }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Rows paper;
    rastiv::PrinterMemory memory;
    rastiv::ReceiptEngine engine(paper, memory);
    engine.feed(QByteArrayView(data, qsizetype(size)));
    engine.finish();
    return 0;
}

// The command splitter: whatever the bytes and however they are cut into
// pieces, the units put back together are the stream, each as long as the
// command table says, and nothing is held beyond one unit.
// Build: CC=clang-14 CXX=clang++-14 cmake -S fuzz -B build-fuzz -G Ninja && ninja -C build-fuzz fuzz_splitter
// Run:   build-fuzz/fuzz_splitter -max_len=65536 -timeout=10 build-fuzz/corpus-splitter   (all targets: fuzz/run.sh)
#include <cstdlib>

#include "link/printercommands.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return -1;
    const QByteArrayView stream(data + 1, qsizetype(size - 1));
    rastiv::CommandSplitter splitter;
    QByteArray joined;
    const qsizetype piece = 1 + data[0] % 64;  // the first byte chooses the pieces
    for (qsizetype at = 0; at < stream.size(); at += piece)
        splitter.feed(stream.sliced(at, std::min(piece, stream.size() - at)), [&](const rastiv::Unit& u) {
            if (!u.oversize && !u.unknown && u.length != rastiv::unitLength(u.bytes)) std::abort();
            if (!u.oversize) joined += u.bytes;
        });
    if (!stream.startsWith(joined)) std::abort();
    return 0;
}

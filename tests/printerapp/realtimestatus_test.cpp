// The real-time status answers (DLE EOT 1, 2, 4) as printer-state-reasons.
#include <gtest/gtest.h>

#include "printerapp/serialscheme.hpp"

using rastiv::printerapp::reasonsOfRealTimeStatus;

namespace {

constexpr uint8_t kWell = 0x12;  // the fixed bits of every answer, nothing to report
constexpr std::nullopt_t none = std::nullopt;

struct Row {
    const char* what;
    std::optional<uint8_t> printer, cause, paper;
    unsigned reasons;
};

TEST(RealTimeStatus, DocumentedBitsBecomeReasons) {
    const Row rows[] = {
        {"all well", kWell, kWell, kWell, PAPPL_PREASON_NONE},
        {"no answer at all", none, none, none, PAPPL_PREASON_OFFLINE},
        {"only the printer status answered", kWell, none, none, PAPPL_PREASON_NONE},
        {"off line", kWell | 0x08, kWell, kWell, PAPPL_PREASON_OFFLINE},
        {"cover open", kWell | 0x08, kWell | 0x04, kWell, PAPPL_PREASON_OFFLINE | PAPPL_PREASON_COVER_OPEN},
        {"stopped at the paper's end", kWell, kWell | 0x20, kWell, PAPPL_PREASON_MEDIA_EMPTY},
        {"paper sensor: out", kWell, kWell, kWell | 0x60, PAPPL_PREASON_MEDIA_EMPTY},
        {"paper sensor: near the end", kWell, kWell, kWell | 0x0C, PAPPL_PREASON_MEDIA_LOW},
        {"out outweighs low", kWell, kWell, kWell | 0x6C, PAPPL_PREASON_MEDIA_EMPTY},
        {"an error", kWell, kWell | 0x40, kWell, PAPPL_PREASON_OTHER},
        // Bytes without the fixed bits are not answers: a stray 0xFF claims nothing.
        {"stray bytes", 0xFF, 0xFF, 0x0C, PAPPL_PREASON_OFFLINE},
        {"one stray, one answer", 0xFF, kWell | 0x04, none, PAPPL_PREASON_COVER_OPEN},
    };
    for (const Row& r : rows)
        EXPECT_EQ(unsigned(reasonsOfRealTimeStatus(r.printer, r.cause, r.paper)), r.reasons) << r.what;
}

}  // namespace

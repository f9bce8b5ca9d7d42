// The shared public BMP corpus (good, questionable and bad files of a public
// BMP test suite, and real-world pictures).  CI has it beside the checkout;
// a user's clone does not, and the tests that need it then skip.
#pragma once

#include <algorithm>
#include <filesystem>
#include <vector>

namespace testing_support {

// Every .bmp of the corpus, sorted; empty when the corpus is absent.
inline std::vector<std::filesystem::path> corpusFiles() {
    namespace fs = std::filesystem;
    std::vector<fs::path> files;
    const fs::path root(RASTIV_TESTDATA);
    for (const char* sub : {"bmpsuite/good", "bmpsuite/questionable", "bmpsuite/bad", "realworld"}) {
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(root / sub, ec))
            if (e.is_regular_file() && e.path().extension() == ".bmp") files.push_back(e.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

#define REQUIRE_CORPUS(files)                                                                              \
    if ((files).empty())                                                                                   \
    GTEST_SKIP() << "The shared BMP corpus is not at " RASTIV_TESTDATA                                     \
                    " (it ships with CI's checkout, not with a user's clone); skipping this corpus test."

}  // namespace testing_support

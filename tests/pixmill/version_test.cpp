// The header's version and the library file that was loaded.
#include <dlfcn.h>

#include <climits>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "pixmill/pixmill.h"

namespace {

bool endsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

TEST(Version, TheLoadedLibraryCarriesTheHeadersVersion) {
    Dl_info info{};
    ASSERT_NE(::dladdr(reinterpret_cast<void*>(&IsBitmap), &info), 0);
    const std::string loaded = info.dli_fname;
    char real[PATH_MAX];
    ASSERT_NE(::realpath(loaded.c_str(), real), nullptr);
    const std::string major = std::to_string(PIXMILL_VERSION_MAJOR);
    const std::string full =
        major + "." + std::to_string(PIXMILL_VERSION_MINOR) + "." + std::to_string(PIXMILL_VERSION_PATCH);
    // Loaded by its SONAME, which carries the major number only.
    EXPECT_TRUE(endsWith(loaded, "/libpixmill.so." + major)) << loaded;
    EXPECT_TRUE(endsWith(real, "/libpixmill.so." + full)) << real;
}

}  // namespace

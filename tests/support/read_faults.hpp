// Faults at the moment the library reads a file.  The test program provides
// its own pread and mmap (read_faults.cpp), which the library's calls reach
// first; armed for one file, they cut that file short just before the
// library reads it, and count how many of its bytes were fetched (a mapping
// counts as all of it).  Deterministic where another thread truncating the
// file "during" a call would be a race.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

namespace testing_support {

struct ReadFaults {
    // From now on, watch the file at `path`.  Before read number
    // `cutBeforeRead` (0 = the first) of it, or before it is mapped, it is
    // truncated to `keepBytes`; a negative keepBytes only counts.
    static void arm(const std::string& path, off_t keepBytes, int cutBeforeRead = 0);
    static void disarm();
    // Bytes of the watched file read or mapped since arm().
    static size_t fetched();
};

}  // namespace testing_support

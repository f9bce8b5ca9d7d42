// Reading a bitmap's size from its header, for the picture display and the
// width checks.
#pragma once

#include <QString>
#include <cstdint>

namespace rastiv {

struct HeaderSize {
    bool ok = false;
    uint32_t width = 0, height = 0;
    // On failure: a run-time error number and its description, as the
    // operator is shown them ("53: File not found").
    int errorNumber = 0;
    QString description;
};

// Width and height from bytes 18-25 of the file (little-endian, unsigned);
// nothing else is checked.
HeaderSize readHeaderSize(const QString& path);

inline constexpr int kErrFileNotFound = 53;
inline constexpr int kErrInputPastEnd = 62;
inline constexpr int kErrFileAccess = 75;
inline constexpr int kErrInvalidPicture = 481;

}  // namespace rastiv

// The character code tables ESC t selects, read through glibc's iconv: the
// byte values 80h to FFh of each page as Unicode characters.
#pragma once

#include <cstdint>

namespace rastiv {

// The iconv name of code page n as ESC t numbers it (PC437 is 0, WPC1252 16,
// PC858 19 ...); null for a page this printer does not have.
const char* codePageName(uint8_t n);

// The character byte b prints as on code page n: bytes below 80h are ASCII;
// a byte the page leaves undefined (and every byte of an unknown page above
// 7Fh) is U+FFFD.
char32_t decodeByte(uint8_t n, uint8_t b);

}  // namespace rastiv

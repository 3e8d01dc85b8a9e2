// The system C runtime's own scan and print. In C++ the toolchain routes the
// standard names to its C99 replacements, which would add some 40 KB of
// floating-point parsing to an image that formats nothing but integers.
#pragma once

#include <cstdio>

extern "C" {
int SystemSwscanf(const wchar_t* text, const wchar_t* format, ...) __asm__("_swscanf");
int SystemPrintf(const char* format, ...) __asm__("_printf");
}

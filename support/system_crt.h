// The system C runtime's own scan and print. In C++ the toolchain routes the
// standard names to its C99 replacements, which would add some 40 KB of
// floating-point parsing to an image that formats nothing but integers.
#pragma once

#include <cstdio>

// 32-bit symbols carry a leading underscore; 64-bit ones do not.
#ifdef _WIN64
#define OSTRIVO_CRT_SYMBOL(name) #name
#else
#define OSTRIVO_CRT_SYMBOL(name) "_" #name
#endif

extern "C" {
int SystemSwscanf(const wchar_t* text, const wchar_t* format, ...)
    __asm__(OSTRIVO_CRT_SYMBOL(swscanf));
int SystemPrintf(const char* format, ...) __asm__(OSTRIVO_CRT_SYMBOL(printf));
}

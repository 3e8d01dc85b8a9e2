// The printf-style formatter behind CString::FormatText: a pass that
// estimates the room and a pass that writes, both reading the format the
// same way, so the room always covers what is written.
#pragma once

#include <windows.h>
#include <cstdarg>

// Units the formatted text needs, terminator not counted. False when the
// format asks for floating point (after the diagnostic) or the text would be
// too large to hold.
bool EstimateFormattedLength(const wchar_t* format, va_list args, int* units);

// Writes at most `room` units and a terminator into `out` (room + 1 units).
// Returns the units written.
int FormatBounded(wchar_t* out, int room, const wchar_t* format, va_list args);

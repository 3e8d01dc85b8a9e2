// Process-wide module records.
#pragma once

#include <windows.h>

// The load address of the program's own image: dialogs, icons and string
// table entries are loaded from it.
HINSTANCE ModuleInstance();
HINSTANCE ResourceInstance();

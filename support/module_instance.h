// The image this code runs from.
#pragma once

#include <windows.h>

// The load address of the program's own image: dialogs, icons and string
// table entries are loaded from it.
HINSTANCE ModuleInstance();
HINSTANCE ResourceInstance();

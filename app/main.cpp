#include <windows.h>

#include "app/modules.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR commandLine, int showState)
{
    return AppMain(instance, previous, commandLine, showState);
}

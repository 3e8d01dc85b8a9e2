/* Planted beside the program under the names of system DLLs: whenever a
   process loads it, it leaves "<its own path>.loaded" beside itself. It
   exports nothing; Wine loads it anyway, Windows would refuse it as a
   stand-in for a DLL whose exports are imported. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, void* reserved)
{
    (void)reserved;
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    wchar_t path[MAX_PATH + 8];
    DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return TRUE;
    lstrcpyW(path + length, L".loaded");
    HANDLE marker = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (marker != INVALID_HANDLE_VALUE)
        CloseHandle(marker);
    return TRUE;
}

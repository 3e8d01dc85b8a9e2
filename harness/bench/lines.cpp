#include "lines.h"

#include <windows.h>

#include <string>
#include <vector>

#include "tests/kit/expected_blocks.h"
#include "ui/resources/resource.h"

namespace {

INT_PTR CALLBACK Plain(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

std::vector<std::wstring> Lines(int devices)
{
    std::vector<std::wstring> lines;
    for (int i = 0; i < devices; ++i) {
        wchar_t id[64];
        swprintf(id, 64, L"USB\\VID_%04X&PID_%04X\\%08d", i & 0xFFFF, (i * 7) & 0xFFFF, i);
        std::wstring block =
            ExpectedBlock(L"USB 输入设备 with a longer description", ExpectedVidPidLine(id), id);
        size_t at = 0;
        for (size_t end; (end = block.find(L"\r\n", at)) != std::wstring::npos; at = end + 2)
            lines.push_back(block.substr(at, end - at));
    }
    return lines;
}

double Since(LARGE_INTEGER start)
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * double(now.QuadPart - start.QuadPart) / double(frequency.QuadPart);
}

double Write(int devices, bool lineByLine)
{
    HWND dialog = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_MAIN_DIALOG),
                                     nullptr, Plain, 0);
    if (dialog == nullptr)
        return -1;
    HWND edit = GetDlgItem(dialog, IDC_ALL_DEVICES);
    std::vector<std::wstring> lines = Lines(devices);
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    if (lineByLine) {
        for (const std::wstring& line : lines) {
            std::wstring text(GetWindowTextLengthW(edit) + 1, L'\0');
            text.resize(GetWindowTextW(edit, &text[0], int(text.size())));
            text += line + L"\r\n";
            SetWindowTextW(edit, text.c_str());
        }
    } else {
        std::wstring text;
        for (const std::wstring& line : lines)
            text += line + L"\r\n";
        SetWindowTextW(edit, text.c_str());
    }
    double ms = Since(start);
    DestroyWindow(dialog);
    return ms;
}

}  // namespace

double WriteLineByLineMs(int devices) { return Write(devices, true); }
double WriteWholeOnceMs(int devices) { return Write(devices, false); }

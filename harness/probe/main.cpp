// probe: starts a dialog program, waits for its main dialog, prints what the
// dialog shows, then presses its Exit button (or waits for the user to close
// it) and prints the exit code.
//
//   probe show [options] <exe> [arguments...]
//     --ready FILE     create FILE once the dialog is up and its texts are out
//     --proceed FILE   then wait until FILE exists before pressing Exit
//     --until-closed   do not press Exit; wait until the program ends
//     --timeout S      bound for the dialog to appear, for --proceed and for
//                      the exit after Exit is pressed (default: the harness's
//                      window and exit bounds, see bounds.h)
//
// Output is UTF-8. Status 0 when the dialog was found, read and the program
// ended; 1 otherwise (the program is then ended by force).
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>

#include <string>

#include "bounds.h"
#include "driver.h"
#include "ui/resources/resource.h"

namespace {

struct Options {
    std::wstring ready;
    std::wstring proceed;
    bool untilClosed = false;
    DWORD timeoutMs = 0;  // none given: the harness's bounds
    std::wstring exe;
    std::wstring args;
};

void Print(const std::wstring& text)
{
    std::string bytes = driver::ToUtf8(text);
    fwrite(bytes.data(), 1, bytes.size(), stdout);
    fflush(stdout);
}

// The lists end their lines with CR LF; a terminal wants LF.
std::wstring WithoutCarriageReturns(const std::wstring& text)
{
    std::wstring out;
    for (wchar_t c : text)
        if (c != L'\r')
            out += c;
    return out;
}

std::wstring Quoted(const wchar_t* arg)
{
    std::wstring text(arg);
    return text.find_first_of(L" \t") == std::wstring::npos ? text : L"\"" + text + L"\"";
}

bool ParseOptions(int argc, wchar_t** argv, Options* options)
{
    if (argc < 3 || lstrcmpW(argv[1], L"show") != 0)
        return false;
    int i = 2;
    for (; i < argc && argv[i][0] == L'-' && argv[i][1] == L'-'; ++i) {
        std::wstring name = argv[i];
        if (name == L"--until-closed") {
            options->untilClosed = true;
            continue;
        }
        if (i + 1 >= argc)
            return false;
        const wchar_t* value = argv[++i];
        if (name == L"--ready")
            options->ready = value;
        else if (name == L"--proceed")
            options->proceed = value;
        else if (name == L"--timeout" && _wtoi(value) > 0)
            options->timeoutMs = static_cast<DWORD>(_wtoi(value)) * 1000;
        else
            return false;
    }
    if (i >= argc)
        return false;
    options->exe = argv[i++];
    for (; i < argc; ++i)
        options->args += (options->args.empty() ? L"" : L" ") + Quoted(argv[i]);
    return true;
}

bool FileExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool CreateMarker(const std::wstring& path)
{
    SystemHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    return bool(file);
}

// Waits for `path` to appear; false if the program ends or time runs out.
bool WaitForMarker(const driver::Process& process, const std::wstring& path, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (!FileExists(path)) {
        if (!process.Running() || GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(50);
    }
    return true;
}

bool PrintDialog(HWND dialog)
{
    std::wstring title, count, all, changed;
    if (!driver::ReadText(dialog, &title) ||
        !driver::ReadControlText(dialog, IDC_DEVICE_COUNT, &count) ||
        !driver::ReadControlText(dialog, IDC_ALL_DEVICES, &all) ||
        !driver::ReadControlText(dialog, IDC_CHANGED_DEVICES, &changed)) {
        Print(L"probe: the dialog's texts could not be read\n");
        return false;
    }
    Print(L"title: " + title + L"\n");
    Print(L"device count: " + count + L"\n");
    Print(L"all devices:\n" + WithoutCarriageReturns(all));
    Print(L"changed devices:" + (changed.empty() ? std::wstring(L" (none)\n")
                                                 : L"\n" + WithoutCarriageReturns(changed)));
    return true;
}

bool ReportExit(const driver::Process& process, DWORD timeoutMs)
{
    DWORD code = 0;
    if (!process.WaitForExit(timeoutMs, &code)) {
        Print(L"probe: the program did not end in time\n");
        return false;
    }
    Print(L"exit code: " + std::to_wstring(code) + L"\n");
    return true;
}

DWORD BoundMs(const Options& options, const bounds::Bound& bound)
{
    return options.timeoutMs != 0 ? options.timeoutMs : bounds::Ms(bound);
}

int Show(const Options& options)
{
    driver::Process process = driver::Process::Start(options.exe, options.args);
    if (!process.Valid()) {
        Print(L"probe: cannot start " + options.exe + L" (error " +
              std::to_wstring(GetLastError()) + L")\n");
        return 1;
    }
    HWND dialog = driver::WaitForDialog(process, MAIN_DIALOG_TITLE, nullptr,
                                        BoundMs(options, bounds::kWindow));
    if (!dialog) {
        Print(L"probe: the dialog did not appear\n");
        return 1;
    }
    if (!PrintDialog(dialog))
        return 1;
    if (!options.ready.empty() && !CreateMarker(options.ready)) {
        Print(L"probe: cannot create " + options.ready + L"\n");
        return 1;
    }
    if (options.untilClosed)
        return ReportExit(process, INFINITE) ? 0 : 1;
    if (!options.proceed.empty() && !WaitForMarker(process, options.proceed, BoundMs(options, bounds::kWindow))) {
        if (!process.Running())
            return ReportExit(process, 0) ? 0 : 1;
        Print(L"probe: gave up waiting for " + options.proceed + L"\n");
        return 1;
    }
    Print(L"probe: pressing Exit\n");
    if (!driver::ClickButton(dialog, IDCANCEL)) {
        Print(L"probe: the Exit button could not be pressed\n");
        return 1;
    }
    return ReportExit(process, BoundMs(options, bounds::kExit)) ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    _setmode(_fileno(stdout), _O_BINARY);
    Options options;
    if (!ParseOptions(argc, argv, &options)) {
        Print(L"usage: probe show [--ready FILE] [--proceed FILE] [--until-closed] "
              L"[--timeout S] <exe> [arguments...]\n");
        return 2;
    }
    return Show(options);
}

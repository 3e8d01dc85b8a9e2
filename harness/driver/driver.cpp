#include "driver.h"

#include "spawn.h"

#include <utility>
#include <vector>

namespace driver {
namespace {

constexpr DWORD kPollMs = 20;

bool IsDialogClass(HWND window)
{
    wchar_t name[16] = {};
    return GetClassNameW(window, name, 16) > 0 && lstrcmpW(name, L"#32770") == 0;
}

// The caption of a top-level window: stored by the system, so reading it
// sends nothing to the owning process and cannot block.
std::wstring Caption(HWND window)
{
    int length = GetWindowTextLengthW(window);
    std::vector<wchar_t> buffer(length + 1);
    int read = GetWindowTextW(window, buffer.data(), length + 1);
    return std::wstring(buffer.data(), read > 0 ? read : 0);
}

struct Search {
    DWORD processId;
    const wchar_t* title;
    HWND owner;
    bool needsMessageText;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM param)
{
    Search* search = reinterpret_cast<Search*>(param);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId != search->processId || !IsWindowVisible(window) || !IsDialogClass(window))
        return TRUE;
    if (GetWindow(window, GW_OWNER) != search->owner)
        return TRUE;
    if (search->title && Caption(window) != search->title)
        return TRUE;
    if (search->needsMessageText && !GetDlgItem(window, 0xFFFF))
        return TRUE;
    search->found = window;
    return FALSE;
}

HWND Find(DWORD processId, const wchar_t* title, HWND owner, bool needsMessageText)
{
    Search search = {processId, title, owner, needsMessageText, nullptr};
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitFor(const Process& process, const wchar_t* title, HWND owner,
             bool needsMessageText, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (HWND found = Find(process.Id(), title, owner, needsMessageText))
            return found;
        if (!process.Running() || GetTickCount() - start >= timeoutMs)
            return nullptr;
        Sleep(kPollMs);
    }
}

bool Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD timeoutMs,
          LRESULT* result)
{
    DWORD_PTR answer = 0;
    // Not SMTO_ABORTIFHUNG: a thread busy for a few seconds on a slow machine
    // is not hung; the bound alone says that.
    if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, timeoutMs, &answer))
        return false;
    if (result)
        *result = static_cast<LRESULT>(answer);
    return true;
}

std::wstring ObjectName(HANDLE object)
{
    DWORD bytes = 0;
    GetUserObjectInformationW(object, UOI_NAME, nullptr, 0, &bytes);
    std::vector<wchar_t> name(bytes / sizeof(wchar_t) + 1, L'\0');
    if (!GetUserObjectInformationW(object, UOI_NAME, name.data(),
                                   DWORD(name.size() * sizeof(wchar_t)), nullptr))
        return std::wstring();
    return name.data();
}

}  // namespace

// The calling thread's desktop, as a started program names it. Asked each
// time rather than kept by PrivateDesktop: a thread-local copy is destroyed
// before a static PrivateDesktop's destructor runs at exit.
std::wstring ThreadDesktopName()
{
    std::wstring station = ObjectName(GetProcessWindowStation());
    std::wstring desktop = ObjectName(GetThreadDesktop(GetCurrentThreadId()));
    if (station.empty() || desktop.empty())
        return std::wstring();
    return station + L"\\" + desktop;
}

bool UnderWine()
{
    return spawn::UnderWine();
}

bool StartDesktopShell(std::string* why)
{
    if (!UnderWine())
        return true;
    auto fail = [why](const std::string& reason) {
        if (why)
            *why = reason;
        return false;
    };
    std::wstring full = ThreadDesktopName();
    wchar_t system[MAX_PATH] = {};
    if (full.empty() || !GetSystemDirectoryW(system, MAX_PATH))
        return fail("the thread's desktop has no name");
    std::wstring exe = std::wstring(system) + L"\\explorer.exe";
    std::wstring line = L"\"" + exe + L"\" /desktop";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.lpDesktop = &full[0];
    PROCESS_INFORMATION shell = {};
    if (!spawn::StartProcess(exe.c_str(), &line[0], false, DETACHED_PROCESS, &startup, &shell))
        return fail("the desktop's shell did not start (error " + std::to_string(GetLastError()) + ")");
    SystemHandle shellThread(shell.hThread);
    SystemHandle shellProcess(shell.hProcess);
    // Idle once its desktop window exists; it ends at once instead when the
    // desktop already had a shell.
    bounds::Wait wait(bounds::kWindow);
    DWORD idle = WaitForInputIdle(shellProcess.Get(), wait.Ms());
    if (idle == WAIT_TIMEOUT)
        return fail("the desktop's shell did not come up: " + wait.Report());
    DWORD owner = 0;
    HWND window = GetDesktopWindow();
    if (!window || !GetWindowThreadProcessId(window, &owner) || owner == 0)
        return fail("the desktop has no shell's window after its shell started");
    return true;
}

PrivateDesktop::~PrivateDesktop()
{
    // The desktop itself is closed after this, by its owner.
    if (desktop_)
        SetThreadDesktop(previous_);
}

bool PrivateDesktop::Enter(const std::wstring& name, std::string* why)
{
    auto fail = [why](const std::string& reason) {
        if (why)
            *why = reason;
        return false;
    };
    if (desktop_)
        return fail("the thread is on a desktop of its own already");
    std::wstring full = name + L"-" + std::to_wstring(GetCurrentProcessId());
    DesktopHandle created(CreateDesktopW(full.c_str(), nullptr, nullptr, 0, GENERIC_ALL, nullptr));
    if (!created)
        return fail("no desktop was made (error " + std::to_string(GetLastError()) + ")");
    HDESK previous = GetThreadDesktop(GetCurrentThreadId());
    if (!SetThreadDesktop(created.Get()))
        return fail("the thread cannot move to its desktop (it owns windows)");
    if (!StartDesktopShell(why)) {
        SetThreadDesktop(previous);
        return false;
    }
    desktop_ = std::move(created);
    previous_ = previous;
    return true;
}

Process::~Process()
{
    Reset();
}

Process::Process(Process&& other) noexcept
    : handle_(std::move(other.handle_)), id_(std::exchange(other.id_, 0))
{
}

Process& Process::operator=(Process&& other) noexcept
{
    if (this != &other) {
        Reset();
        handle_ = std::move(other.handle_);
        id_ = std::exchange(other.id_, 0);
    }
    return *this;
}

void Process::Reset()
{
    if (!handle_)
        return;
    if (Running())
        Kill();
    handle_.Reset();
    id_ = 0;
}

Process Process::Start(const std::wstring& exe, const std::wstring& args)
{
    std::wstring line = L"\"" + exe + L"\"";
    if (!args.empty())
        line += L" " + args;
    std::vector<wchar_t> buffer(line.begin(), line.end());
    buffer.push_back(L'\0');

    // Where the driver looks for windows: a program left to inherit would
    // start on the desktop its parent process started on.
    std::wstring desktop = ThreadDesktopName();
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.lpDesktop = desktop.empty() ? nullptr : &desktop[0];
    PROCESS_INFORMATION info = {};
    Process process;
    if (!spawn::StartProcess(exe.c_str(), buffer.data(), false, 0, &startup, &info))
        return process;
    SystemHandle thread(info.hThread);
    process.handle_ = SystemHandle(info.hProcess);
    process.id_ = info.dwProcessId;
    return process;
}

bool Process::Running() const
{
    return handle_ && WaitForSingleObject(handle_.Get(), 0) == WAIT_TIMEOUT;
}

bool Process::WaitForExit(DWORD timeoutMs, DWORD* exitCode) const
{
    if (!handle_ || WaitForSingleObject(handle_.Get(), timeoutMs) != WAIT_OBJECT_0)
        return false;
    DWORD code = 0;
    if (!GetExitCodeProcess(handle_.Get(), &code))
        return false;
    if (exitCode)
        *exitCode = code;
    return true;
}

void Process::Kill()
{
    if (!handle_)
        return;
    TerminateProcess(handle_.Get(), 0xDEAD);
    WaitForSingleObject(handle_.Get(), bounds::Ms(bounds::kExit));
}

HWND FindDialog(DWORD processId, const wchar_t* title, HWND owner)
{
    return Find(processId, title, owner, false);
}

HWND WaitForDialog(const Process& process, const wchar_t* title, HWND owner,
                   DWORD timeoutMs)
{
    return WaitFor(process, title, owner, false, timeoutMs);
}

bool WaitForWindowGone(HWND window, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (IsWindow(window)) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(kPollMs);
    }
    return true;
}

bool ReadText(HWND window, std::wstring* text, DWORD timeoutMs)
{
    LRESULT length = 0;
    if (!window || !Send(window, WM_GETTEXTLENGTH, 0, 0, timeoutMs, &length) || length < 0)
        return false;
    std::vector<wchar_t> buffer(length + 1);
    LRESULT copied = 0;
    if (!Send(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
              timeoutMs, &copied))
        return false;
    if (copied < length)
        return false;
    text->assign(buffer.data(), copied);
    return true;
}

bool ReadControlText(HWND dialog, int controlId, std::wstring* text, DWORD timeoutMs)
{
    return ReadText(GetDlgItem(dialog, controlId), text, timeoutMs);
}

bool WriteText(HWND window, const std::wstring& text, DWORD timeoutMs)
{
    LRESULT accepted = 0;
    return window &&
           Send(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), timeoutMs,
                &accepted) &&
           accepted;
}

bool WriteControlText(HWND dialog, int controlId, const std::wstring& text, DWORD timeoutMs)
{
    return WriteText(GetDlgItem(dialog, controlId), text, timeoutMs);
}

bool ControlVisible(HWND dialog, int controlId)
{
    HWND control = GetDlgItem(dialog, controlId);
    return control && IsWindowVisible(control);
}

HWND FocusedWindow(HWND dialog)
{
    DWORD thread = GetWindowThreadProcessId(dialog, nullptr);
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!thread || !GetGUIThreadInfo(thread, &info))
        return nullptr;
    return info.hwndFocus;
}

bool SendCommand(HWND dialog, WORD id, WORD code, LRESULT* result, DWORD timeoutMs)
{
    return Send(dialog, WM_COMMAND, MAKEWPARAM(id, code), 0, timeoutMs, result);
}

bool PostCommand(HWND dialog, WORD id, WORD code)
{
    return PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, code), 0) != FALSE;
}

bool SendDeviceChange(HWND dialog, WPARAM event, LPARAM data, LRESULT* result,
                      DWORD timeoutMs)
{
    return Send(dialog, WM_DEVICECHANGE, event, data, timeoutMs, result);
}

bool ClickButton(HWND dialog, int controlId)
{
    HWND button = GetDlgItem(dialog, controlId);
    return button && PostMessageW(button, BM_CLICK, 0, 0);
}

bool Close(HWND dialog)
{
    return PostMessageW(dialog, WM_CLOSE, 0, 0) != FALSE;
}

bool WaitForMessageBox(const Process& process, HWND owner, DWORD timeoutMs,
                       MessageBoxTexts* box)
{
    HWND window = WaitFor(process, nullptr, owner, true, timeoutMs);
    if (!window)
        return false;
    box->window = window;
    return ReadText(window, &box->caption) && ReadControlText(window, 0xFFFF, &box->text);
}

std::string ToUtf8(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                   nullptr, 0, nullptr, nullptr);
    std::string out(size > 0 ? size : 0, '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0],
                            size, nullptr, nullptr);
    return out;
}

}  // namespace driver

// Drives a dialog program in another process: start it, find its windows,
// read and write control texts, send it commands, close it and collect its
// exit code. Meant for tests and tools that run the real program under Wine.
//
// Every call that talks to the other process is bounded (bounds.h), so a
// hung or vanished program makes a call fail instead of blocking the caller.
// Texts cross the process boundary through messages (WM_GETTEXT and friends);
// GetWindowTextW does not read another process's controls.
#pragma once

#include <windows.h>

#include <string>

#include "bounds.h"
#include "system_owned.h"

namespace driver {

// Default bound for one cross-process message.
inline DWORD AnswerBoundMs() { return bounds::Ms(bounds::kAnswer); }

// A desktop of the calling thread's own, for the programs it starts and
// drives. The foreground and each thread's active window belong to a
// desktop: on the shared one, another program of the prefix that shows a
// window meanwhile (tests run side by side) deactivates the program under
// test, whose boxes then come up without their owner and whose focus is gone.
// Windows are looked for, and programs started, on the thread's desktop.
class PrivateDesktop {
public:
    PrivateDesktop() = default;
    ~PrivateDesktop();  // back to the thread's first desktop

    // Creates a desktop named after this process and `name`, makes it the
    // calling thread's and starts its shell (StartDesktopShell). False, with
    // the reason in `why` if given, when none can be made, the thread cannot
    // move (it already owns windows) or the shell does not come up; the
    // thread then stays where it was.
    bool Enter(const std::wstring& name, std::string* why = nullptr);

private:
    DesktopHandle desktop_;
    HDESK previous_ = nullptr;
};

// Starts the shell of the calling thread's desktop (Wine's explorer, which
// owns the desktop window) and waits, within the window bound, until it is
// up. Wine starts it itself when a first window needs it, but gives it a
// fixed 10 s: on a loaded slow machine it takes longer, and every window of
// that program then fails ("The explorer process failed to start"). True
// also when the desktop already had its shell; otherwise false and why.
// A shell lives while some thread other than its own is on its desktop.
// The calling thread's desktop as a started program names it
// ("station\\desktop"), for STARTUPINFO's lpDesktop; empty if unknown.
std::wstring ThreadDesktopName();

// Windows itself gives every desktop its window: there this does nothing.
bool StartDesktopShell(std::string* why);

// Whether the system is Wine rather than Windows (its ntdll exports
// wine_get_version). For the few steps that only one of them needs.
bool UnderWine();

// A started program: owns its process handle. Move-only. The destructor ends
// a process that is still running, so a failed test leaves nothing behind.
class Process {
public:
    Process() = default;
    ~Process();
    Process(Process&& other) noexcept;
    Process& operator=(Process&& other) noexcept;

    // Starts `exe` with `args` appended to its quoted path, on the calling
    // thread's desktop (where the driver looks for its windows). On failure
    // the object stays empty and GetLastError tells why.
    static Process Start(const std::wstring& exe, const std::wstring& args = L"");

    bool Valid() const { return bool(handle_); }
    DWORD Id() const { return id_; }
    HANDLE Handle() const { return handle_.Get(); }
    bool Running() const;

    // Waits up to `timeoutMs` for the process to end; true and its exit code
    // when it did.
    bool WaitForExit(DWORD timeoutMs, DWORD* exitCode) const;

    // Ends the process at once (cleanup after a failure) and waits briefly.
    void Kill();

private:
    void Reset();

    SystemHandle handle_;
    DWORD id_ = 0;
};

// One look: the first visible top-level dialog (class #32770) of process
// `processId` whose owner is `owner` (null: no owner) and whose title is
// exactly `title` (null: any title). Null when there is none. A dialog
// becomes visible only after its controls exist and its initialisation ran.
HWND FindDialog(DWORD processId, const wchar_t* title, HWND owner = nullptr);

// Polls FindDialog until it finds the dialog, `timeoutMs` passes, or the
// process ends. Null unless found.
HWND WaitForDialog(const Process& process, const wchar_t* title, HWND owner,
                   DWORD timeoutMs);

// Waits until `window` no longer exists. False when it still does at the end.
bool WaitForWindowGone(HWND window, DWORD timeoutMs);

// The whole text of a window, read across processes. False when the window
// does not answer in time or delivers fewer characters than it announced.
bool ReadText(HWND window, std::wstring* text, DWORD timeoutMs = AnswerBoundMs());

// ReadText of the control `controlId` of `dialog`.
bool ReadControlText(HWND dialog, int controlId, std::wstring* text,
                     DWORD timeoutMs = AnswerBoundMs());

// Replaces a window's text (WM_SETTEXT). False on refusal or timeout.
bool WriteText(HWND window, const std::wstring& text, DWORD timeoutMs = AnswerBoundMs());

bool WriteControlText(HWND dialog, int controlId, const std::wstring& text,
                      DWORD timeoutMs = AnswerBoundMs());

// Whether the control exists and has WS_VISIBLE set on itself and its parents.
bool ControlVisible(HWND dialog, int controlId);

// The window that has the keyboard focus on the dialog's GUI thread; null
// when none has it or the thread cannot be asked.
HWND FocusedWindow(HWND dialog);

// Sends WM_COMMAND (id in the low word, notification code in the high word)
// and waits for the answer. Only for commands that return at once: one that
// opens a modal box would keep the sender waiting until the timeout.
bool SendCommand(HWND dialog, WORD id, WORD code, LRESULT* result = nullptr,
                 DWORD timeoutMs = AnswerBoundMs());

// Posts WM_COMMAND and returns at once: for commands that open a modal box.
bool PostCommand(HWND dialog, WORD id, WORD code = BN_CLICKED);

// Sends WM_DEVICECHANGE as the platform's broadcast would reach the dialog.
bool SendDeviceChange(HWND dialog, WPARAM event, LPARAM data = 0,
                      LRESULT* result = nullptr, DWORD timeoutMs = AnswerBoundMs());

// Clicks the button `controlId` of `dialog` the way a user would (BM_CLICK,
// posted, so a click that opens a modal box does not block the caller).
bool ClickButton(HWND dialog, int controlId);

// Posts WM_CLOSE, as the caption's close box does.
bool Close(HWND dialog);

// A message box owned by `owner` in process `processId`: its caption and its
// text (the static control with id 0xFFFF).
struct MessageBoxTexts {
    HWND window = nullptr;
    std::wstring caption;
    std::wstring text;
};

// Waits for a message box owned by `owner` and reads its texts. False when
// none appears in time or its texts cannot be read.
bool WaitForMessageBox(const Process& process, HWND owner, DWORD timeoutMs,
                       MessageBoxTexts* box);

// UTF-16 to UTF-8, for printing texts read from the program.
std::string ToUtf8(const std::wstring& text);

}  // namespace driver

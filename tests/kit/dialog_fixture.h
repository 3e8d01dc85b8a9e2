// Runs the main dialog modally from the real template, with no person: once
// it is initialised and its modal loop runs, the test's script runs inside
// it, and then the dialog ends with a sentinel code. The script runs before
// the loop first idles, so the dialog itself is not shown yet (which spares
// the display's round trips); its controls carry their own visibility.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "app/dialog_host.h"
#include "support/platform/platform.h"
#include "tests/kit/scripted_platform.h"
#include "ui/main_dialog.h"
#include "ui/resources/resource.h"

const UINT kRunScript = WM_APP + 10;
const INT_PTR kSentinel = 0x5EED;

inline std::wstring WindowText(HWND window)
{
    std::wstring text(GetWindowTextLengthW(window) + 1, L'\0');
    text.resize(GetWindowTextW(window, &text[0], int(text.size())));
    return text;
}

class DrivenMainDialog : public MainDialog {
public:
    explicit DrivenMainDialog(std::function<void(DrivenMainDialog&)> script)
        : script(std::move(script)) {}

    bool HandleMessage(HWND w, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result,
                       DWORD mapId) override
    {
        if (message == kRunScript) {
            script(*this);
            if (endAfterScript)
                EndDialog(window, kSentinel);
            return true;
        }
        bool handled = MainDialog::HandleMessage(w, message, wParam, lParam, result, mapId);
        if (message == WM_INITDIALOG)
            PostMessageW(window, kRunScript, 0, 0);
        return handled;
    }

    INT_PTR Run() { return RunDialogModal(*this, IDD_MAIN_DIALOG); }

    HWND Control(int id) const { return GetDlgItem(window, id); }
    std::wstring Text(int id) const { return WindowText(Control(id)); }
    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
    {
        return SendMessageW(window, message, wParam, lParam);
    }
    LRESULT Command(WORD id, WORD code = BN_CLICKED)
    {
        return Send(WM_COMMAND, MAKEWPARAM(id, code), 0);
    }

    bool endAfterScript = true;

private:
    std::function<void(DrivenMainDialog&)> script;
};

// Runs `script` inside a main dialog; fails the test unless it ran and the
// dialog ended with the sentinel.
inline void RunInsideMainDialog(std::function<void(DrivenMainDialog&)> script)
{
    bool ran = false;
    DrivenMainDialog dialog([&](DrivenMainDialog& d) {
        ran = true;
        script(d);
    });
    EXPECT_EQ(kSentinel, dialog.Run());
    EXPECT_TRUE(ran);
}

// Dialogs that see the scripted platform wherever they enumerate or look up.
class ScriptedDialogTest : public ScriptedPlatformTest {
protected:
    ScopedPlatform scope{platform};
};

// Counts the beeps of failed exchanges while in scope.
class BeepCounter {
public:
    BeepCounter() : previous(SetExchangeBeep(Count)) { count = 0; types.clear(); }
    ~BeepCounter() { SetExchangeBeep(previous); }
    BeepCounter(const BeepCounter&) = delete;
    BeepCounter& operator=(const BeepCounter&) = delete;

    static inline int count = 0;
    static inline std::vector<UINT> types;

private:
    static BOOL WINAPI Count(UINT type)
    {
        ++count;
        types.push_back(type);
        return TRUE;
    }
    BeepFunction previous;
};

// While a modal box runs, finds it (a dialog of this thread owned by
// `owner`) from a timer and hands it to `act`, which must close it. A box of
// this thread that another window owns, or none, fails the test and is
// closed, rather than leave the test waiting in its modal loop.
class OwnedBoxWatcher {
public:
    OwnedBoxWatcher(HWND owner, std::function<void(HWND)> act)
    {
        current = this;
        this->owner = owner;
        this->act = std::move(act);
        timer = SetTimer(nullptr, 0, 20, Tick);
    }
    ~OwnedBoxWatcher()
    {
        KillTimer(nullptr, timer);
        current = nullptr;
    }
    OwnedBoxWatcher(const OwnedBoxWatcher&) = delete;
    OwnedBoxWatcher& operator=(const OwnedBoxWatcher&) = delete;

    int boxesSeen = 0;

private:
    struct Found {
        HWND owned = nullptr;
        HWND stray = nullptr;
    };
    static BOOL CALLBACK Find(HWND w, LPARAM found)
    {
        wchar_t cls[16] = L"";
        GetClassNameW(w, cls, 16);
        if (wcscmp(cls, L"#32770") != 0 || w == current->owner || !IsWindowVisible(w))
            return TRUE;
        Found* boxes = reinterpret_cast<Found*>(found);
        if (GetWindow(w, GW_OWNER) != current->owner) {
            boxes->stray = w;
            return TRUE;
        }
        boxes->owned = w;
        return FALSE;
    }
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD)
    {
        if (current == nullptr)
            return;
        Found boxes;
        EnumThreadWindows(GetCurrentThreadId(), Find, reinterpret_cast<LPARAM>(&boxes));
        if (boxes.owned != nullptr) {
            ++current->boxesSeen;
            current->act(boxes.owned);
        } else if (boxes.stray != nullptr) {
            ADD_FAILURE() << "a box opened that the dialog does not own (owner "
                          << GetWindow(boxes.stray, GW_OWNER) << ")";
            EndDialog(boxes.stray, IDCANCEL);
        }
    }

    static inline OwnedBoxWatcher* current = nullptr;
    HWND owner;
    std::function<void(HWND)> act;
    UINT_PTR timer;
};

// The dialog fixtures: a box the test cannot close must fail it, not hang
// it; a sweep's thread that a failure ends leaves no window behind.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include "driver.h"
#include "support/failure.h"
#include "tests/kit/allocation_sweep.h"
#include "tests/kit/dialog_fixture.h"

namespace {

driver::PrivateDesktop ownDesktop;
const bool kOnOwnDesktop = ownDesktop.Enter(L"kit-tests");

class BoxWatcherTest : public ScriptedDialogTest {};

TEST_F(BoxWatcherTest, ClosesOwnedBoxesAndFailsOnOthers)
{
    EXPECT_TRUE(kOnOwnDesktop);
    RunInsideMainDialog([&](DrivenMainDialog& d) {
        OwnedBoxWatcher boxes(d.window, [](HWND box) { EndDialog(box, IDOK); });
        EXPECT_EQ(IDOK, MessageBoxW(d.window, L"owned", L"owned", MB_OKCANCEL));
        EXPECT_EQ(1, boxes.boxesSeen);
        EXPECT_NONFATAL_FAILURE(MessageBoxW(nullptr, L"stray", L"stray", MB_OKCANCEL),
                                "a box opened that the dialog does not own");
        EXPECT_EQ(1, boxes.boxesSeen);
    });
}

// Windows destroyed on the sweep's thread while it still runs, as its CBT
// hook sees them: a thread's windows that the system tears down as the
// thread ends pass no hook.
HWND watched = nullptr;
bool watchedDestroyedBeforeTheEnd = false;
LRESULT CALLBACK NoteDestroy(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_DESTROYWND && reinterpret_cast<HWND>(wParam) == watched)
        watchedDestroyedBeforeTheEnd = true;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Notes in `*sawDestroy` whether its procedure ever saw WM_DESTROY.
class DestroyNotingDialog : public DrivenMainDialog {
public:
    DestroyNotingDialog(bool* sawDestroy, std::function<void(DrivenMainDialog&)> script)
        : DrivenMainDialog(std::move(script)), sawDestroy(sawDestroy) {}
    bool HandleMessage(HWND w, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result,
                       DWORD mapId) override
    {
        if (message == WM_DESTROY)
            *sawDestroy = true;
        return DrivenMainDialog::HandleMessage(w, message, wParam, lParam, result, mapId);
    }

private:
    bool* sawDestroy;
};

class SweepThreadTest : public ScriptedDialogTest {};

TEST_F(SweepThreadTest, EndsItsDialogsBeforeItEndsWithoutTheirProcedures)
{
    watched = nullptr;
    watchedDestroyedBeforeTheEnd = false;
    bool programSawDestroy = false;
    SweepRun run = RunOnSweepThread([&] {
        SetWindowsHookExW(WH_CBT, NoteDestroy, nullptr, GetCurrentThreadId());
        DestroyNotingDialog dialog(&programSawDestroy, [&](DrivenMainDialog& d) {
            watched = d.window;
            RaiseFailure(E_OUTOFMEMORY);
        });
        dialog.Run();
    });
    EXPECT_TRUE(run.fatal);
    EXPECT_EQ(0xC0000017u, run.code);
    ASSERT_NE(nullptr, watched);
    EXPECT_TRUE(watchedDestroyedBeforeTheEnd) << "the thread ended with its dialog alive";
    EXPECT_FALSE(IsWindow(watched));
    EXPECT_FALSE(programSawDestroy) << "the program ran again after its failure";
}

}  // namespace

// The dialog fixtures: a box the test cannot close must fail it, not hang it.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include "driver.h"
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

}  // namespace

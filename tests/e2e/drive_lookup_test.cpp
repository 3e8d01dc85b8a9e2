// The hidden drive lookup command, driven from outside: whatever the drive
// letter field holds, the command answers with a message box of its own and
// the dialog carries on. Wine lists no disk or volume interfaces, so every
// lookup here ends without a match and the box text is empty.
#include "e2e_support.h"

#include <gtest/gtest.h>

using namespace e2e;

namespace {

class DriveLookup : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(program_.Start()); }

    std::wstring Lookup(const std::wstring& field)
    {
        return LookupDrive(program_, field, ExpectSingleOkButton);
    }

    static void ExpectSingleOkButton(HWND box)
    {
        int buttons = 0;
        for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            wchar_t name[32] = {};
            GetClassNameW(child, name, 32);
            if (lstrcmpiW(name, L"Button") == 0)
                ++buttons;
        }
        EXPECT_EQ(1, buttons);
        EXPECT_NE(nullptr, GetDlgItem(box, IDOK));
    }

    Program program_;
};

}  // namespace

TEST_F(DriveLookup, EveryFieldTextGivesAnEmptyBox)
{
    const struct {
        const char* name;
        std::wstring field;
    } cases[] = {
        {"empty", L""},
        {"C", L"C"},
        {"c:\\", L"c:\\"},
        {"blank first", L" C"},
        {"Z", L"Z"},
        {"no such drive", L"Q"},
        {"digit", L"7"},
        {"lone surrogate half", std::wstring(1, wchar_t(0xD800))},
        {"100,000 characters", std::wstring(100000, L'C')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ("", driver::ToUtf8(Lookup(c.field)));
    }
    ASSERT_TRUE(driver::ClickButton(program_.Dialog(), IDCANCEL));
    EXPECT_EQ(2u, program_.ExitCode());
}

TEST_F(DriveLookup, PressedTwiceShowsTheSameTextTwice)
{
    std::wstring first = Lookup(L"C");
    EXPECT_EQ(driver::ToUtf8(first), driver::ToUtf8(Lookup(L"C")));
    EXPECT_EQ(L"", first);
}

TEST_F(DriveLookup, OtherNotificationCodesShowNoBox)
{
    HWND dialog = program_.Dialog();
    ASSERT_TRUE(driver::WriteControlText(dialog, IDC_DRIVE_LETTER, L"C"));
    for (WORD code : {WORD(BN_DOUBLECLICKED), WORD(EN_CHANGE), WORD(1)}) {
        ASSERT_TRUE(driver::SendCommand(dialog, IDC_GET_HARDWARE_ID, code)) << code;
        EXPECT_EQ(nullptr, driver::FindDialog(program_.Process().Id(), nullptr, dialog)) << code;
    }
    // The same command as a click does open one, so the look above could see it.
    EXPECT_EQ(L"", Lookup(L"C"));
}

// The hidden drive lookup command, driven from outside: whatever the drive
// letter field holds, the command answers with a message box of its own and
// the dialog carries on. The box shows what the kit's reference finds for
// the machine's system drive (nothing under Wine, which lists no disk
// interfaces; the disk's hardware id on Windows) and is empty for a field
// that names no drive.
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

const std::wstring kSystem(1, SystemDriveLetter());
const std::wstring kSystemId = ReferenceFixedDriveHardwareId(SystemDriveLetter());

TEST_F(DriveLookup, TheFieldsFirstCharacterNamesTheDrive)
{
    ASSERT_NE(L'\0', kSystem[0]);
    std::wstring lower = kSystem;
    CharLowerBuffW(&lower[0], 1);
    const struct {
        const char* name;
        std::wstring field;
        std::wstring box;
    } cases[] = {
        {"empty", L"", L""},
        {"system drive", kSystem, kSystemId},
        {"lower case, colon and backslash", lower + L":\\", kSystemId},
        {"blank first", L" " + kSystem, L""},
        {"digit", L"7", L""},
        {"lone surrogate half", std::wstring(1, wchar_t(0xD800)), L""},
        {"100,000 characters", std::wstring(100000, kSystem[0]), kSystemId},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(driver::ToUtf8(c.box), driver::ToUtf8(Lookup(c.field)));
    }
    ASSERT_TRUE(driver::ClickButton(program_.Dialog(), IDCANCEL));
    EXPECT_EQ(2u, program_.ExitCode());
}

TEST_F(DriveLookup, PressedTwiceShowsTheSameTextTwice)
{
    std::wstring first = Lookup(kSystem);
    EXPECT_EQ(driver::ToUtf8(first), driver::ToUtf8(Lookup(kSystem)));
    EXPECT_EQ(driver::ToUtf8(kSystemId), driver::ToUtf8(first));
}

TEST_F(DriveLookup, OtherNotificationCodesShowNoBox)
{
    HWND dialog = program_.Dialog();
    ASSERT_TRUE(driver::WriteControlText(dialog, IDC_DRIVE_LETTER, kSystem));
    for (WORD code : {WORD(BN_DOUBLECLICKED), WORD(EN_CHANGE), WORD(1)}) {
        ASSERT_TRUE(driver::SendCommand(dialog, IDC_GET_HARDWARE_ID, code)) << code;
        EXPECT_EQ(nullptr, driver::FindDialog(program_.Process().Id(), nullptr, dialog)) << code;
    }
    // The same command as a click does open one, so the look above could see it.
    EXPECT_EQ(driver::ToUtf8(kSystemId), driver::ToUtf8(Lookup(kSystem)));
}

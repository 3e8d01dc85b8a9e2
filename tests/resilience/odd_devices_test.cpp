// Devices with odd data, added through the real Setup API and shown by the
// real program: every one listed whole, in the views' four lines.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "harness/devsim/devsim.h"
#include "harness/driver/driver.h"
#include "tests/kit/beside.h"
#include "tests/kit/expected_blocks.h"
#include "ui/resources/resource.h"

namespace {

// Removes the devices it was given, whatever the test did in between.
class AddedDevices {
public:
    explicit AddedDevices(const std::vector<devsim::DevicePlan>& plans)
    {
        added = devsim::AddDevices(plans, &ids);
    }
    ~AddedDevices() { devsim::RemoveDevices(ids); }
    AddedDevices(const AddedDevices&) = delete;
    AddedDevices& operator=(const AddedDevices&) = delete;

    bool added = false;
    std::vector<std::wstring> ids;
};

// The list's text cut into blocks of four lines, each line with its CR LF;
// false if it does not divide.
bool SplitBlocks(const std::wstring& text, std::vector<std::wstring>* blocks)
{
    size_t at = 0, start = 0, lines = 0;
    for (size_t end; (end = text.find(L"\r\n", at)) != std::wstring::npos; at = end + 2) {
        if (++lines % 4 == 0) {
            blocks->push_back(text.substr(start, end + 2 - start));
            start = end + 2;
        }
    }
    return at == text.size() && lines % 4 == 0;
}

struct Odd {
    const char* name;
    std::wstring description;
    std::wstring hardwareId;    // as the device reports it
    std::wstring shownId;       // upper-cased
    std::wstring vidPid;
};

std::vector<Odd> OddDevices()
{
    std::wstring longTail(4000 - 22, L'x');
    return {
        {"4,000-character id", L"Long id device",
         L"USB\\VID_1A2B&PID_3C4D&" + longTail, L"USB\\VID_1A2B&PID_3C4D&" + std::wstring(4000 - 22, L'X'),
         L"VID = 1A2B ,PID = 3C4D"},
        {"id of just USB\\VID", L"Bare prefix", L"USB\\VID", L"USB\\VID", L"VID = 0000 ,PID = 0000"},
        {"Chinese description", L"通用串行总线 输入设备", L"usb\\vid_0bda&pid_8153&odd_cn",
         L"USB\\VID_0BDA&PID_8153&ODD_CN", L"VID = 0BDA ,PID = 8153"},
        {"surrogate pairs", L"Device \U0001F600 \U00020BB7 end", L"USB\\VID_FFFF&PID_0001&ODD_SP",
         L"USB\\VID_FFFF&PID_0001&ODD_SP", L"VID = FFFF ,PID = 0001"},
        {"empty description", L"", L"USB\\VID_0001&PID_FFFF&ODD_EMPTY",
         L"USB\\VID_0001&PID_FFFF&ODD_EMPTY", L"VID = 0001 ,PID = FFFF"},
    };
}

TEST(OddDevices, ListedWholeAndCountedByTheRunningProgram)
{
    std::vector<Odd> odd = OddDevices();
    std::vector<devsim::DevicePlan> plans;
    for (const Odd& o : odd)
        plans.push_back({o.description, {o.hardwareId, L"USB\\SECOND_ID_NOT_SHOWN"}});
    AddedDevices devices(plans);
    ASSERT_TRUE(devices.added);
    ASSERT_EQ(odd.size(), devices.ids.size());

    driver::Process program = driver::Process::Start(BesideThisProgram(L"Ostrivo.exe"));
    ASSERT_TRUE(program.Valid()) << GetLastError();
    HWND dialog = driver::WaitForDialog(program, MAIN_DIALOG_TITLE, nullptr, 20000);
    ASSERT_TRUE(dialog != nullptr);

    std::wstring text, count;
    ASSERT_TRUE(driver::ReadControlText(dialog, IDC_ALL_DEVICES, &text));
    ASSERT_TRUE(driver::ReadControlText(dialog, IDC_DEVICE_COUNT, &count));
    std::vector<std::wstring> blocks;
    ASSERT_TRUE(SplitBlocks(text, &blocks)) << "the list does not end in whole blocks";
    EXPECT_EQ(std::to_wstring(blocks.size()), count);

    for (const Odd& o : odd) {
        SCOPED_TRACE(o.name);
        std::wstring idLine = L"\r\n硬件ID = " + o.shownId + L"\r\n";
        int found = 0;
        for (const std::wstring& block : blocks) {
            if (block.find(idLine) == std::wstring::npos)
                continue;
            ++found;
            EXPECT_EQ(driver::ToUtf8(ExpectedBlock(o.description, o.vidPid, o.shownId)),
                      driver::ToUtf8(block));
        }
        EXPECT_EQ(1, found);
    }
    EXPECT_EQ(std::wstring::npos, text.find(L"SECOND_ID"));

    // Still answering, and the same again on a refresh.
    EXPECT_TRUE(driver::SendCommand(dialog, IDC_REFRESH, BN_CLICKED));
    std::wstring again;
    ASSERT_TRUE(driver::ReadControlText(dialog, IDC_ALL_DEVICES, &again));
    EXPECT_EQ(text, again);

    ASSERT_TRUE(driver::Close(dialog));
    DWORD exitCode = 0;
    ASSERT_TRUE(program.WaitForExit(10000, &exitCode));
    EXPECT_EQ(DWORD(IDCANCEL), exitCode);
}

}  // namespace

// Starting a process: only a process that Wine lost in its own start-up is
// started again, and never more than a few times.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "spawn.h"

TEST(Spawn, StartsAgainOnlyWhatWineLost)
{
    const DWORD kLost = ERROR_INTERNAL_ERROR;
    const struct {
        const char* name;
        bool underWine;
        std::vector<DWORD> errors;  // each call's outcome; 0: started
        bool started;
        size_t calls;
        DWORD lastError;
    } cases[] = {
        {"started at once", true, {0}, true, 1, 0},
        {"lost once", true, {kLost, 0}, true, 2, 0},
        {"lost twice", true, {kLost, kLost, 0}, true, 3, 0},
        {"lost every time", true, {kLost, kLost, kLost, 0}, false, 3, kLost},
        {"exe not mapped, then lost", true, {ERROR_BAD_EXE_FORMAT, kLost, 0}, true, 3, 0},
        {"exe never mapped", true, {ERROR_BAD_EXE_FORMAT, ERROR_BAD_EXE_FORMAT, ERROR_BAD_EXE_FORMAT},
         false, 3, ERROR_BAD_EXE_FORMAT},
        {"another error", true, {ERROR_FILE_NOT_FOUND, 0}, false, 1, ERROR_FILE_NOT_FOUND},
        {"lost, then another error", true, {kLost, ERROR_ACCESS_DENIED, 0}, false, 2, ERROR_ACCESS_DENIED},
        {"on Windows", false, {kLost, 0}, false, 1, kLost},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        size_t calls = 0;
        bool started = spawn::Retried(
            [&] {
                DWORD error = c.errors.at(calls++);
                SetLastError(error == 0 ? 0xdeadbeef : error);
                return error == 0;
            },
            c.underWine);
        EXPECT_EQ(c.started, started);
        EXPECT_EQ(c.calls, calls);
        if (!started) {
            EXPECT_EQ(c.lastError, GetLastError());
        }
    }
}

TEST(Spawn, PassesOnTheSystemsError)
{
    wchar_t temp[MAX_PATH] = L"";
    ASSERT_NE(0u, GetTempPathW(MAX_PATH, temp));
    std::wstring line = L"\"" + std::wstring(temp) + L"ostrivo-no-such-program.exe\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(spawn::StartProcess(nullptr, &line[0], false, 0, &startup, &started));
    EXPECT_EQ(DWORD(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_EQ(nullptr, started.hProcess);
}

// A tool passes on what follows its own arguments, quotes and all.
TEST(Spawn, ArgumentsAfterKeepTheRestAsGiven)
{
    const struct {
        const wchar_t* line;
        int count;
        const wchar_t* rest;
    } cases[] = {
        {L"run-test.exe log 900 kit_tests.exe --gtest_filter=A.*", 3, L"kit_tests.exe --gtest_filter=A.*"},
        {L"\"C:\\My Tests\\run-test.exe\"  \"C:\\a b\\log\" 900\t\"C:\\a b\\t.exe\" x", 3, L"\"C:\\a b\\t.exe\" x"},
        {L"headless \"C:\\r e\\result\" prog.exe", 2, L"prog.exe"},
        {L"a\"b c\"d e", 1, L"e"},
        {L"headless result", 2, L""},
        {L"headless", 2, L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.line)));
        EXPECT_EQ(std::wstring(c.rest), std::wstring(spawn::ArgumentsAfter(c.line, c.count)));
    }
}

// Child processes: the one test that starts a child must be what the child runs.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "tests/kit/child_process.h"

namespace {

std::wstring Variable(const wchar_t* name)
{
    wchar_t value[64] = L"";
    DWORD n = GetEnvironmentVariableW(name, value, 64);
    return n > 0 && n < 64 ? value : L"(none)";
}

}  // namespace

// A parent run as one shard of many must not hand its shard to the child:
// the child would filter out its one test and end with 0, having run nothing.
TEST(ChildProcess, RunsItsTestWhateverShardTheParentIs)
{
    SetEnvironmentVariableW(L"GTEST_TOTAL_SHARDS", L"3");
    for (const wchar_t* index : {L"0", L"1", L"2"}) {
        SetEnvironmentVariableW(L"GTEST_SHARD_INDEX", index);
        EXPECT_EQ(7u, RunInChildProcess("seven", [] { ExitProcess(7); })) << "shard " << char(index[0]);
        EXPECT_EQ(index, Variable(L"GTEST_SHARD_INDEX"));
    }
    EXPECT_EQ(L"3", Variable(L"GTEST_TOTAL_SHARDS"));
    EXPECT_EQ(L"(none)", Variable(L"OSTRIVO_CHILD_MODE"));
    SetEnvironmentVariableW(L"GTEST_TOTAL_SHARDS", nullptr);
    SetEnvironmentVariableW(L"GTEST_SHARD_INDEX", nullptr);
}

// The child starts at the test's top: what the parent did before it started
// the child is not done again, and the argument arrives whole.
TEST(ChildProcess, RunIfChildRunsBeforeTheRestOfTheTestWithItsArgument)
{
    static int stepsBefore = 0;
    RunIfChild("argument", [](int argument) { ExitProcess(DWORD(argument + 1000 * stepsBefore)); });
    ++stepsBefore;  // what the parent does before it starts the child
    EXPECT_EQ(42u, RunChildProcess("argument", 42));
    EXPECT_EQ(123456u, RunChildProcess("argument", 123456));
}

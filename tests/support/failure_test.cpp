#include <gtest/gtest.h>

#include "support/failure.h"
#include "tests/kit/child_process.h"

TEST(RaiseFailure, EndsTheProcessWithTheCodeOfTheFailure)
{
    struct Case {
        const char* mode;
        HRESULT failure;
        DWORD exitCode;
    };
    const Case cases[] = {
        {"out-of-memory", E_OUTOFMEMORY, 0xC0000017},
        {"invalid-argument", E_INVALIDARG, 0xC000001D},
        {"unspecified", E_FAIL, 0xC000001D},
    };
    for (const Case& c : cases) {
        HRESULT failure = c.failure;
        EXPECT_EQ(c.exitCode, RunInChildProcess(c.mode, [failure] { RaiseFailure(failure); })) << c.mode;
    }
}

namespace {

// Ends the process with 1 when the exception is non-continuable and carries
// no arguments, 2 otherwise.
LONG CALLBACK ExitWithShapeOfException(EXCEPTION_POINTERS* info)
{
    const EXCEPTION_RECORD* r = info->ExceptionRecord;
    ExitProcess(r->ExceptionFlags == EXCEPTION_NONCONTINUABLE && r->NumberParameters == 0 ? 1 : 2);
}

}  // namespace

TEST(RaiseFailure, RaisesANonContinuableExceptionWithoutArguments)
{
    EXPECT_EQ(1u, RunInChildProcess("shape", [] {
        AddVectoredExceptionHandler(1, ExitWithShapeOfException);
        RaiseFailure(E_OUTOFMEMORY);
    }));
}

TEST(ChildProcess, ReportsTheExitCodeOfAnActionThatReturns)
{
    EXPECT_EQ(0u, RunInChildProcess("returns", [] {}));
    EXPECT_EQ(7u, RunInChildProcess("exits", [] { ExitProcess(7); }));
}

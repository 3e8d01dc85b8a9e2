#include "support/failure.h"

namespace {

volatile LONG failingThread = 0;  // the thread that raised a failure, if any
volatile LONG failingCode = 0;

// Some systems swallow an exception at a callback boundary (a dialog
// procedure, a 32-bit program on 64-bit Windows): the handler is abandoned and
// the dialog lives on half-updated. Vectored handlers run before any frame
// handler, so the failure ends the process wherever it was raised.
LONG CALLBACK EndOnFailure(EXCEPTION_POINTERS* exception)
{
    DWORD code = exception->ExceptionRecord->ExceptionCode;
    if (failingThread == LONG(GetCurrentThreadId()) && code == DWORD(failingCode))
        TerminateProcess(GetCurrentProcess(), code);
    return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

void RaiseFailure(HRESULT failure)
{
    const DWORD code = failure == E_OUTOFMEMORY ? 0xC0000017 : 0xC000001D;
    InterlockedExchange(&failingCode, LONG(code));
    InterlockedExchange(&failingThread, LONG(GetCurrentThreadId()));
    // Last in line, so a debugger's or a test's own handler still sees the
    // exception first. Registering takes memory, which may be what ran out:
    // end here then.
    if (AddVectoredExceptionHandler(0, EndOnFailure) == nullptr)
        TerminateProcess(GetCurrentProcess(), code);
    RaiseException(code, EXCEPTION_NONCONTINUABLE, 0, nullptr);
    // A non-continuable exception cannot come back here; should a handler
    // try, the process still ends with the same code.
    ExitProcess(code);
}

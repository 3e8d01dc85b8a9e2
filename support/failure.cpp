#include "support/failure.h"

void RaiseFailure(HRESULT failure)
{
    const DWORD code = failure == E_OUTOFMEMORY ? 0xC0000017 : 0xC000001D;
    RaiseException(code, EXCEPTION_NONCONTINUABLE, 0, nullptr);
    // A non-continuable exception cannot come back here; should a handler
    // try, the process still ends with the same code.
    ExitProcess(code);
}

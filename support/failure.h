// The one way of ending on an impossible state: a non-continuable structured
// exception that nothing handles.
#pragma once

#include <windows.h>

[[noreturn]] void RaiseFailure(HRESULT failure);

#include "app/dialog_host.h"

#include <cstdlib>
#include <cstring>

#include "app/modules.h"
#include "support/failure.h"

HRESULT InitLock(CRITICAL_SECTION* lock)
{
    if (InitializeCriticalSectionAndSpinCount(lock, 0))
        return S_OK;
    DWORD error = GetLastError();
    return error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_OUTOFMEMORY ? E_OUTOFMEMORY : E_FAIL;
}

WindowModule::WindowModule()
    : sizeMarker(sizeof(WindowModule)), createList(nullptr), classAtoms(nullptr), atomCount(0),
      atomCapacity(0)
{
    InitLock(&creationLock);
}

WindowModule::~WindowModule() { TerminateWindowModule(this, ProcessBaseModule().moduleInstance); }

void AddCreateRecord(WindowModule* module, CreateRecord* record, DialogBase* object)
{
    if (module == nullptr || record == nullptr || object == nullptr)
        RaiseException(EXCEPTION_ACCESS_VIOLATION, EXCEPTION_NONCONTINUABLE, 0, nullptr);
    record->object = object;
    record->threadId = GetCurrentThreadId();
    EnterCriticalSection(&module->creationLock);
    record->next = module->createList;
    module->createList = record;
    LeaveCriticalSection(&module->creationLock);
}

DialogBase* TakeCreateRecord(WindowModule* module)
{
    if (module == nullptr)
        return nullptr;
    DWORD thread = GetCurrentThreadId();
    DialogBase* object = nullptr;
    EnterCriticalSection(&module->creationLock);
    for (CreateRecord** link = &module->createList; *link != nullptr; link = &(*link)->next) {
        if ((*link)->threadId == thread) {
            object = (*link)->object;
            *link = (*link)->next;
            break;
        }
    }
    LeaveCriticalSection(&module->creationLock);
    return object;
}

bool DropCreateRecord(WindowModule* module, CreateRecord* record)
{
    bool found = false;
    EnterCriticalSection(&module->creationLock);
    for (CreateRecord** link = &module->createList; *link != nullptr; link = &(*link)->next) {
        if (*link == record) {
            *link = record->next;
            found = true;
            break;
        }
    }
    LeaveCriticalSection(&module->creationLock);
    return found;
}

HRESULT TerminateWindowModule(WindowModule* module, HINSTANCE moduleInstance)
{
    if (module == nullptr)
        return E_INVALIDARG;
    if (module->sizeMarker == 0)
        return S_OK;
    if (module->sizeMarker != sizeof(WindowModule))
        return E_INVALIDARG;
    for (int i = 0; i < module->atomCount; ++i)
        UnregisterClassW(reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(module->classAtoms[i])),
                         moduleInstance);
    std::free(module->classAtoms);
    module->classAtoms = nullptr;
    module->atomCount = 0;
    module->atomCapacity = 0;
    DeleteCriticalSection(&module->creationLock);
    module->sizeMarker = 0;
    return S_OK;
}

DialogBase::~DialogBase()
{
    if (thunk != nullptr)
        VirtualFree(thunk, 0, MEM_RELEASE);
}

DLGPROC DialogBase::GetMessageProcedure() { return DispatchDialogMessage; }

namespace {

void Protect(BYTE* memory, DWORD protection)
{
    DWORD previous;
    if (!VirtualProtect(memory, kThunkSize, protection, &previous))
        RaiseFailure(E_FAIL);
}

template <class T>
BYTE* WriteLittleEndian(BYTE* at, T value)
{
    for (unsigned i = 0; i < sizeof value; ++i)
        *at++ = static_cast<BYTE>(static_cast<UINT_PTR>(value) >> (8 * i));
    return at;
}

// Puts `object` where the window handle was and jumps to `procedure`.
void WriteThunkCode(BYTE* at, DialogBase* object, DLGPROC procedure)
{
    UINT_PTR self = reinterpret_cast<UINT_PTR>(object);
    UINT_PTR target = reinterpret_cast<UINT_PTR>(procedure);
#ifdef _WIN64
    // mov rcx, object ; mov rax, procedure ; jmp rax
    *at++ = 0x48;
    *at++ = 0xB9;
    at = WriteLittleEndian(at, self);
    *at++ = 0x48;
    *at++ = 0xB8;
    at = WriteLittleEndian(at, target);
    *at++ = 0xFF;
    *at++ = 0xE0;
#else
    // mov dword ptr [esp+4], object ; jmp procedure
    const BYTE store[4] = {0xC7, 0x44, 0x24, 0x04};
    std::memcpy(at, store, sizeof store);
    at = WriteLittleEndian(at + sizeof store, DWORD(self));
    *at++ = 0xE9;
    WriteLittleEndian(at, DWORD(target - (reinterpret_cast<UINT_PTR>(at) + 4)));
#endif
}

}  // namespace

// The heap is not executable (the image is NX-compatible), so the thunk gets
// pages of its own that are writable only while the code is written.
DLGPROC DialogBase::BuildThunk(DLGPROC procedure)
{
    if (thunk == nullptr) {
        thunk = static_cast<BYTE*>(
            VirtualAlloc(nullptr, kThunkSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        if (thunk == nullptr)
            RaiseFailure(E_OUTOFMEMORY);
    } else {
        Protect(thunk, PAGE_READWRITE);
    }
    WriteThunkCode(thunk, this, procedure);
    Protect(thunk, PAGE_EXECUTE_READ);
    FlushInstructionCache(GetCurrentProcess(), thunk, kThunkSize);
    return reinterpret_cast<DLGPROC>(thunk);
}

INT_PTR CALLBACK StartDialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    DialogBase* dialog = TakeCreateRecord(&ProcessWindowModule());
    if (dialog == nullptr)
        return FALSE;  // nobody registered this window; leave it to the dialog manager
    dialog->window = window;
    DLGPROC procedure = dialog->GetMessageProcedure();
    DLGPROC thunk = dialog->BuildThunk(procedure);
    SetWindowLongPtrW(window, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(thunk));
    return thunk(window, message, wParam, lParam);
}

namespace {

bool ReturnsResultDirectly(UINT message)
{
    switch (message) {
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
    case WM_COMPAREITEM:
    case WM_INITDIALOG:
        return true;
    default:
        return message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC;
    }
}

}  // namespace

INT_PTR CALLBACK DispatchDialogMessage(HWND object, UINT message, WPARAM wParam, LPARAM lParam)
{
    DialogBase* dialog = reinterpret_cast<DialogBase*>(object);
    CurrentMessage current = {dialog->window, message, wParam, lParam};
    CurrentMessage* outer = dialog->currentMessage;
    dialog->currentMessage = &current;
    LRESULT result = 0;
    bool handled = dialog->HandleMessage(dialog->window, message, wParam, lParam, result, 0);
    dialog->currentMessage = outer;

    INT_PTR answer = 0;
    if (handled) {
        if (ReturnsResultDirectly(message)) {
            answer = result;
        } else {
            SetWindowLongPtrW(dialog->window, DWLP_MSGRESULT, result);
            answer = TRUE;
        }
    } else if (message == WM_NCDESTROY) {
        dialog->state |= kWindowGonePending;
    }

    // Clean up only once no outer dispatch of this object still uses it.
    if ((dialog->state & kWindowGonePending) && dialog->currentMessage == nullptr) {
        dialog->state &= ~kWindowGonePending;
        HWND gone = dialog->window;
        dialog->window = nullptr;
        dialog->OnWindowGone(gone);
    }
    return answer;
}

INT_PTR RunDialogModal(DialogBase& dialog, UINT templateId)
{
    HWND owner = GetActiveWindow();
    WindowModule& module = ProcessWindowModule();
    AddCreateRecord(&module, &dialog.createRecord, &dialog);
    INT_PTR result = DialogBoxParamW(ProcessBaseModule().resourceInstance,
                                     MAKEINTRESOURCEW(templateId), owner, StartDialogProcedure, 0);
    // A dialog that could not be created never took its record; it must not
    // stay listed once the object is gone.
    DropCreateRecord(&module, &dialog.createRecord);
    return result;
}

// Binds dialog objects to their windows: every message of a dialog reaches
// its object's message map through a per-object thunk, with no lookup.
#pragma once

#include <windows.h>

class DialogBase;

// Hands an object to the first message of the window created for it.
struct CreateRecord {
    DialogBase* object;
    DWORD threadId;
    CreateRecord* next;
};

// The message being dispatched, on the dispatcher's stack.
struct CurrentMessage {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// Sets up a critical section, reporting instead of raising:
// S_OK, E_OUTOFMEMORY or E_FAIL.
HRESULT InitLock(CRITICAL_SECTION* lock);

// Process-wide record of the creation list.
struct WindowModule {
    WindowModule();
    ~WindowModule();
    WindowModule(const WindowModule&) = delete;
    WindowModule& operator=(const WindowModule&) = delete;

    UINT sizeMarker;  // sizeof while live, 0 after termination
    CRITICAL_SECTION creationLock;
    CreateRecord* createList;
    ATOM* classAtoms;  // malloc'd; no class is registered, so it stays empty
    int atomCount;
    int atomCapacity;
};

void AddCreateRecord(WindowModule* module, CreateRecord* record, DialogBase* object);
DialogBase* TakeCreateRecord(WindowModule* module);
// Unlinks `record` if it is still listed; true when it was.
bool DropCreateRecord(WindowModule* module, CreateRecord* record);
HRESULT TerminateWindowModule(WindowModule* module, HINSTANCE moduleInstance);

// The one of the process.
WindowModule& ProcessWindowModule();

#ifdef _WIN64
constexpr int kThunkSize = 22;
#else
constexpr int kThunkSize = 13;
#endif
constexpr DWORD kWindowGonePending = 1;

class DialogBase {
public:
    DialogBase() = default;
    DialogBase(const DialogBase&) = delete;
    DialogBase& operator=(const DialogBase&) = delete;

    virtual bool HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                               LRESULT& result, DWORD mapId) = 0;
    virtual ~DialogBase();
    virtual DLGPROC GetMessageProcedure();
    virtual void OnWindowGone(HWND) {}

    // Writes this object's thunk to `procedure` and returns it, executable.
    DLGPROC BuildThunk(DLGPROC procedure);

    HWND window = nullptr;
    CreateRecord createRecord = {};
    BYTE* thunk = nullptr;  // a page of its own, executable; writable only inside BuildThunk
    CurrentMessage* currentMessage = nullptr;
    DWORD state = 0;
};

INT_PTR CALLBACK StartDialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Reached through the thunk: `object` is the DialogBase in the window's place.
INT_PTR CALLBACK DispatchDialogMessage(HWND object, UINT message, WPARAM wParam, LPARAM lParam);

// Shows `dialog` modally from template `templateId` of the resource instance,
// owned by the thread's active window; returns what DialogBoxParamW returns.
INT_PTR RunDialogModal(DialogBase& dialog, UINT templateId);

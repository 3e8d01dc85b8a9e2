// The process-wide module records and the entry routine around the main
// dialog. The records are static objects, built before AppMain in the order
// declared here and torn down at exit in reverse.
#pragma once

#include <windows.h>

#include "app/dialog_host.h"

struct BaseModule {
    BaseModule();
    ~BaseModule();
    BaseModule(const BaseModule&) = delete;
    BaseModule& operator=(const BaseModule&) = delete;

    HINSTANCE moduleInstance;
    HINSTANCE resourceInstance;  // dialogs and icons are loaded from here
    CRITICAL_SECTION resourceLock;
};

// Registers no COM classes; kept for its lock's life cycle.
struct ComModule {
    ComModule();
    ~ComModule();
    ComModule(const ComModule&) = delete;
    ComModule& operator=(const ComModule&) = delete;

    UINT sizeMarker;
    CRITICAL_SECTION lock;
    void* autoClasses;  // always empty
};

struct ModuleRegistry {
    void* first;
    void* second;
    int count;
};

struct AppModule {
    AppModule();
    ~AppModule();
    AppModule(const AppModule&) = delete;
    AppModule& operator=(const AppModule&) = delete;

    HRESULT Initialise();
    void Terminate();
    // What the exit list runs: nothing once Terminate has run.
    void TearDownAtExit();

    UINT sizeMarker;  // non-zero while live, 0 after termination
    CRITICAL_SECTION staticDataLock;
    DWORD mainThreadId;
    ModuleRegistry* registry;
    HWND* windowList;  // never created by this program
    int windowCount;
};

BaseModule& ProcessBaseModule();
ComModule& ProcessComModule();
AppModule& ProcessAppModule();
// The process's current module, set when AppModule is constructed.
AppModule* CurrentAppModule();

// The exit code when the Setup API cannot be loaded from the system folder
// (the user was told so): apart from the dialog's own ends (1 OK, 2 Exit)
// and DialogBoxParamW's failures (0, -1).
constexpr int kExitSetupApiMissing = 3;

int AppMain(HINSTANCE instance, HINSTANCE previous, PWSTR commandLine, int showState);

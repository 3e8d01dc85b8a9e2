#include "app/modules.h"

#include <cstdlib>

#include "support/module_instance.h"

namespace {
AppModule* currentModule = nullptr;
}

BaseModule::BaseModule() : moduleInstance(ModuleInstance()), resourceInstance(ResourceInstance())
{
    InitLock(&resourceLock);
}

BaseModule::~BaseModule() { DeleteCriticalSection(&resourceLock); }

ComModule::ComModule() : sizeMarker(sizeof(ComModule)), autoClasses(nullptr) { InitLock(&lock); }

ComModule::~ComModule()
{
    if (sizeMarker != 0) {
        DeleteCriticalSection(&lock);
        sizeMarker = 0;
    }
}

AppModule::AppModule()
    : sizeMarker(sizeof(AppModule)), mainThreadId(0), registry(nullptr), windowList(nullptr),
      windowCount(0)
{
    currentModule = this;
    InitLock(&staticDataLock);
}

AppModule::~AppModule()
{
    TearDownAtExit();
    if (currentModule == this)
        currentModule = nullptr;
}

HRESULT AppModule::Initialise()
{
    mainThreadId = GetCurrentThreadId();
    registry = static_cast<ModuleRegistry*>(std::calloc(1, sizeof(ModuleRegistry)));
    windowList = nullptr;
    windowCount = 0;
    return registry != nullptr ? S_OK : E_OUTOFMEMORY;
}

void AppModule::Terminate()
{
    AppModule* current = CurrentAppModule();
    EnterCriticalSection(&current->staticDataLock);
    if (current->windowList != nullptr) {
        if (current->windowCount > 0)
            DestroyWindow(current->windowList[0]);
        std::free(current->windowList);
        current->windowList = nullptr;
        current->windowCount = 0;
    }
    LeaveCriticalSection(&current->staticDataLock);

    if (registry != nullptr) {
        std::free(registry->first);
        std::free(registry->second);
        std::free(registry);
        registry = nullptr;
    }
    TearDownAtExit();
}

void AppModule::TearDownAtExit()
{
    if (sizeMarker == 0)
        return;
    DeleteCriticalSection(&staticDataLock);
    sizeMarker = 0;
}

// One translation unit, so the construction order is the declaration order.
namespace {
BaseModule baseModule;
ComModule comModule;
WindowModule windowModule;
AppModule appModule;
}  // namespace

BaseModule& ProcessBaseModule() { return baseModule; }
ComModule& ProcessComModule() { return comModule; }
WindowModule& ProcessWindowModule() { return windowModule; }
AppModule& ProcessAppModule() { return appModule; }
AppModule* CurrentAppModule() { return currentModule; }

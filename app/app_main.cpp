#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "app/modules.h"
#include "support/platform/platform.h"
#include "support/platform/system_library.h"
#include "ui/main_dialog.h"
#include "ui/resources/resource.h"

namespace {

// comctl32 from the system folder (its version 6, through the manifest), for
// the visual styles of the standard controls. Without it the dialog still
// runs, unstyled, so a failure is not examined.
void InitCommonControlsFromSystem()
{
    HMODULE comctl32 = LoadRedirectedSystemLibrary(L"comctl32.dll");  // kept for the process's life
    decltype(&::InitCommonControlsEx) initCommonControls = nullptr;
    if (comctl32 == nullptr || !BindExport(comctl32, "InitCommonControlsEx", &initCommonControls))
        return;
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES};
    initCommonControls(&controls);
}

// Tells the user that the device list cannot be read, with the system's own
// words for `error`.
void ReportMissingSetupApi(DWORD error)
{
    wchar_t* systemText = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, error, 0, reinterpret_cast<wchar_t*>(&systemText), 0, nullptr);
    wchar_t text[1024];
    wsprintfW(text,
              L"无法从 Windows 系统文件夹加载设备安装组件 setupapi.dll，"
              L"因此无法列出设备，程序将退出。\r\n\r\n系统说明（错误代码 %lu）：%s",
              static_cast<unsigned long>(error), systemText != nullptr ? systemText : L"");
    LocalFree(systemText);
    MessageBoxW(nullptr, text, L"Ostrivo", MB_OK | MB_ICONERROR);
}

}  // namespace

int AppMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    // Before anything can touch a drive: a probe of an empty or missing drive
    // fails to its caller instead of raising a system message box.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    DWORD setupApi = BindSetupApi();
    if (setupApi != ERROR_SUCCESS) {
        ReportMissingSetupApi(setupApi);
        return kExitSetupApiMissing;
    }
    // Start-up results are not examined: the dialog runs whatever they say.
    CoInitialize(nullptr);
    DefWindowProcW(nullptr, 0, 0, 0);
    InitCommonControlsFromSystem();
    ProcessAppModule().Initialise();

    INT_PTR result;
    {
        MainDialog dialog;
        result = RunDialogModal(dialog, IDD_MAIN_DIALOG);
    }
    ProcessAppModule().Terminate();
    CoUninitialize();
    return static_cast<int>(result);
}

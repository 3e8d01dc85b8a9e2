#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "app/modules.h"
#include "ui/main_dialog.h"
#include "ui/resources/resource.h"

int AppMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    // Before anything can touch a drive: a probe of an empty or missing drive
    // fails to its caller instead of raising a system message box.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    // Start-up results are not examined: the dialog runs whatever they say.
    CoInitialize(nullptr);
    DefWindowProcW(nullptr, 0, 0, 0);
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
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

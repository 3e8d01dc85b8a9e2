// The About box: icon, name and version; closes on any of the standard
// command ids.
#pragma once

#include "app/dialog_host.h"

class AboutDialog : public DialogBase {
public:
    bool HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result,
                       DWORD mapId) override;
};

// Resource and command ids, shared by the resource script and the code.
#pragma once

#define IDD_ABOUT_DIALOG        100
#define IDI_APP_ICON            128
#define IDD_MAIN_DIALOG         129

#define IDC_ALL_DEVICES         1000
#define IDC_REFRESH             1001
#define IDC_CHANGED_DEVICES     1002
#define IDC_SET_BASELINE        1003
#define IDC_DEVICE_COUNT        1004
#define IDC_DRIVE_LETTER        1005
#define IDC_GET_HARDWARE_ID     1006
#define IDC_DRIVE_LABEL         1007

#define ID_SHOW_ABOUT           57664

// The main dialog's title: the template's caption, and what tools that look
// for the window match. Written narrow for the resource compiler, which reads
// it as UTF-8; code uses the wide form.
#define MAIN_DIALOG_CAPTION     "VID、PID获取工具"
#define MAIN_DIALOG_TITLE       L"" MAIN_DIALOG_CAPTION

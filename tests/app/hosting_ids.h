#pragma once
#define IDD_HOSTING_TEST 300
#define IDC_HOSTING_EDIT 301

#pragma once
#define IDD_HOST_DIALOG 300
#define IDC_HOST_LIST 1003

// Resource and control ids of the program; read by the resource compiler and the C++ code alike.
#pragma once

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_KAVREL_DIALOG 102
#define IDR_MAINFRAME 128
#define IDB_LOGO 129
#define IDR_TRAY_MENU 130

#define IDC_START 1000
#define IDC_STOP 1001
#define IDC_DEVICE_LIST 1003
#define IDC_SEARCH 1004
#define IDC_LOGO 1006

#define IDM_ABOUTBOX 0x0010
#define ID_TRAY_RESTORE 40001
#define ID_TRAY_MINIMIZE 40002

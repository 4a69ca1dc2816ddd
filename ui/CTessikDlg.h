#pragma once
// The main dialog: the device list, Search, Start, Stop and Exit. It owns everything that lives for one run.

#include "controls/CComboListCtrl.h"
#include "framework/Dialog.h"
#include "framework/MessageMap.h"
#include "framework/ScopedHandles.h"
#include "ui/ListViewRows.h"

#include <string>
#include <vector>

namespace kavrel {

class CTessikDlg : public win::Dialog {
public:
    CTessikDlg();
    ~CTessikDlg() override;

protected:
    bool ProcessMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override;
    BOOL OnInitDialog() override;

private:
    friend struct CTessikDlgMap;

    LRESULT OnSysCommand(WPARAM wparam, LPARAM lparam);
    LRESULT OnPaint(WPARAM wparam, LPARAM lparam);
    LRESULT OnQueryDragIcon(WPARAM wparam, LPARAM lparam);
    LRESULT OnExit(WPARAM wparam, LPARAM lparam);
    LRESULT OnDeviceListDblClk(WPARAM wparam, LPARAM lparam);
    LRESULT OnComboListGetItems(WPARAM wparam, LPARAM lparam);

    void AddAboutToSystemMenu();
    void InsertDeviceColumns();
    void ScanFreePorts();

    win::ScopedIcon m_hIcon;
    win::ScopedIcon m_hSmallIcon;
    std::vector<std::wstring> m_arrFreePorts;
    ListViewRows m_listDevices;
    CComboListCtrl m_ctlDeviceList; // the same list view 1003: its in-place editing
    HWND m_btnSearch = nullptr;
    HWND m_btnStart = nullptr;
    HWND m_btnStop = nullptr;
};

} // namespace kavrel

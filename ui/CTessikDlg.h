#pragma once
// The main dialog: the device list, Search, Start, Stop and Exit. It owns everything that lives for one run.

#include "framework/Dialog.h"
#include "framework/MessageMap.h"
#include "framework/ScopedHandles.h"
#include "tray/CSystemTray.h"
#include "ui/ChildLayout.h"
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
    LRESULT OnSize(WPARAM wparam, LPARAM lparam);
    LRESULT OnGetMinMaxInfo(WPARAM wparam, LPARAM lparam);
    LRESULT OnTrayRestore(WPARAM wparam, LPARAM lparam);
    LRESULT OnTrayMinimize(WPARAM wparam, LPARAM lparam);
    LRESULT OnTrayNotify(WPARAM wparam, LPARAM lparam);

    void AddAboutToSystemMenu();
    void InsertDeviceColumns();
    void ScanFreePorts();

    win::ScopedIcon m_hIcon;
    win::ScopedIcon m_hSmallIcon;
    CSystemTray m_trayIcon;
    std::vector<std::wstring> m_arrFreePorts;
    ListViewRows m_listDevices;
    HWND m_btnSearch = nullptr;
    HWND m_btnStart = nullptr;
    HWND m_btnStop = nullptr;
    // The tray steps of OnInitDialog are done: from then on only a minimise sends the window to the tray.
    bool m_bTrayReady = false;
    ChildLayout m_layout;
};

} // namespace kavrel

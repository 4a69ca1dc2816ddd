#pragma once
// The main dialog: the device list, Search, Start, Stop and Exit. It owns everything that lives for one run.

#include "discovery/CClientSocketL.h"
#include "discovery/CClientSocketTI.h"
#include "discovery/device_discovery.h"
#include "framework/Dialog.h"
#include "framework/MessageMap.h"
#include "framework/ScopedHandles.h"
#include "ui/ListViewRows.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kavrel {

class CTessikDlg : public win::Dialog {
public:
    CTessikDlg();
    ~CTessikDlg() override;

    // Read notifications of the discovery sockets, by their index in their array.
    void OnReceiveTI(int index);
    void OnReceiveL(int index);

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
    LRESULT OnBnClickedSearch(WPARAM wparam, LPARAM lparam);

    void AddAboutToSystemMenu();
    void InsertDeviceColumns();
    void ScanFreePorts();
    bool CreateSockets();
    void SendSearchRequests();

    win::ScopedIcon m_hIcon;
    win::ScopedIcon m_hSmallIcon;
    std::vector<std::unique_ptr<CClientSocketTI>> m_arrSocketsTI;
    std::vector<std::unique_ptr<CClientSocketL>> m_arrSocketsL;
    std::vector<std::wstring> m_arrFreePorts;
    std::optional<DeviceDiscovery> m_discovery;
    ListViewRows m_listDevices;
    HWND m_btnSearch = nullptr;
    HWND m_btnStart = nullptr;
    HWND m_btnStop = nullptr;
};

} // namespace kavrel

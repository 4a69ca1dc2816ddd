#pragma once
// The main dialog: the device list, Search, Start, Stop and Exit. It owns everything that lives for one run.

#include "controls/CComboListCtrl.h"
#include "core/buttons.h"
#include "core/notifier.h"
#include "discovery/DiscoverySockets.h"
#include "discovery/device_discovery.h"
#include "emulation/VspeSerialEngine.h"
#include "emulation/emulation_control.h"
#include "emulation/port_links.h"
#include "framework/Dialog.h"
#include "framework/MessageMap.h"
#include "framework/ScopedHandles.h"
#include "tray/CSystemTray.h"
#include "ui/ChildLayout.h"
#include "ui/ListViewRows.h"

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kavrel {

class CTessikDlg : public win::MappedWindow<CTessikDlg, win::Dialog>,
                   private Buttons,
                   private Notifier,
                   private StatusTimer,
                   private ReplyBatchObserver {
public:
    CTessikDlg();
    ~CTessikDlg() override;

    static std::span<const win::MessageEntry<CTessikDlg>> MessageMap();

protected:
    BOOL OnInitDialog() override;
    void OnCancel() override;

private:
    LRESULT OnSysCommand(WPARAM wparam, LPARAM lparam);
    LRESULT OnPaint(WPARAM wparam, LPARAM lparam);
    LRESULT OnQueryDragIcon(WPARAM wparam, LPARAM lparam);
    LRESULT OnExit(WPARAM wparam, LPARAM lparam);
    LRESULT OnDeviceListDblClk(WPARAM wparam, LPARAM lparam);
    LRESULT OnComboListGetItems(WPARAM wparam, LPARAM lparam);
    LRESULT OnComboListValidate(WPARAM wparam, LPARAM lparam);
    LRESULT OnBnClickedSearch(WPARAM wparam, LPARAM lparam);
    LRESULT OnBnClickedStart(WPARAM wparam, LPARAM lparam);
    LRESULT OnBnClickedStop(WPARAM wparam, LPARAM lparam);
    LRESULT OnTimer(WPARAM wparam, LPARAM lparam);
    LRESULT OnLinkChanged(WPARAM wparam, LPARAM lparam);
    LRESULT OnDestroy(WPARAM wparam, LPARAM lparam);
    LRESULT OnSize(WPARAM wparam, LPARAM lparam);
    LRESULT OnGetMinMaxInfo(WPARAM wparam, LPARAM lparam);
    LRESULT OnTrayRestore(WPARAM wparam, LPARAM lparam);
    LRESULT OnTrayMinimize(WPARAM wparam, LPARAM lparam);
    LRESULT OnTrayNotify(WPARAM wparam, LPARAM lparam);

    void AddAboutToSystemMenu();
    void InsertDeviceColumns();
    void ScanFreePorts();
    // Every way out: the engine's devices, the links and the sockets go, once.
    void TearDown();
    void MoveFocusFromDisabled(HWND preferred);

    void Enable(DialogControl control, bool enabled) override;
    void Show(const std::wstring& text) override;
    std::uintptr_t Arm() override;
    void Kill(std::uintptr_t value) override;
    void OnRepliesBegin() override;
    void OnRepliesEnd() override;

    win::ScopedIcon m_hIcon;
    win::ScopedIcon m_hSmallIcon;
    CSystemTray m_trayIcon;
    std::vector<std::wstring> m_arrFreePorts;
    ListViewRows m_listDevices;
    std::optional<DeviceDiscovery> m_discovery;
    std::optional<DiscoverySockets> m_sockets;
    std::optional<ListViewRows::AppendBatch> m_replyBatch;
    VspeSerialEngine m_engine;
    PortLinks m_links{m_engine, m_listDevices, *this, *this};
    EmulationControl m_emulation{m_engine, m_listDevices, *this, *this, *this, m_links};
    CComboListCtrl m_ctlDeviceList; // the same list view 1003: its in-place editing
    HWND m_btnSearch = nullptr;
    HWND m_btnStart = nullptr;
    HWND m_btnStop = nullptr;
    // The tray steps of OnInitDialog are done: from then on only a minimise sends the window to the tray.
    bool m_bTrayReady = false;
    ChildLayout m_layout;
};

} // namespace kavrel

#include "ui/CTessikDlg.h"

#include "discovery/LocalAddresses.h"
#include "framework/MessageBox.h"
#include "framework/Scopes.h"
#include "framework/Text.h"
#include "framework/WindowMessages.h"
#include "ui/CAboutDlg.h"
#include "ui/free_ports.h"
#include "ui/resource.h"

#include <commctrl.h>
#include <shellapi.h>
#include <windowsx.h>

#include <array>

namespace kavrel {

namespace {

struct DeviceColumnLook {
    const wchar_t* title;
    int width;
};

constexpr std::array<DeviceColumnLook, kDeviceColumnCount> kColumns{{
    {L"Link", 35},
    {L"COM Port", 60},
    {L"IP Address", 100},
    {L"TCP Port", 60},
    {L"MAC Address", 120},
    {L"Name", 130},
    {L"Status", 100},
}};

HICON LoadAppIcon(int size) {
    return static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON, size, size, 0));
}

// Shows the wait cursor until the end of the scope.
class WaitCursor {
public:
    WaitCursor() noexcept : previous_(SetCursor(LoadCursorW(nullptr, IDC_WAIT))) {}
    ~WaitCursor() { SetCursor(previous_); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    HCURSOR previous_;
};

// A serial port of that name exists when the system has a default configuration for it.
bool ComPortExists(const std::wstring& name) {
    COMMCONFIG config{};
    static_assert(sizeof(config) == 52);
    DWORD size = sizeof(config);
    return GetDefaultCommConfigW(name.c_str(), &config, &size) != FALSE;
}

} // namespace

std::span<const win::MessageEntry<CTessikDlg>> CTessikDlg::MessageMap() {
    static constexpr win::MessageEntry<CTessikDlg> kEntries[] = {
        win::OnMessage<CTessikDlg>(WM_SYSCOMMAND, &CTessikDlg::OnSysCommand),
        win::OnMessage<CTessikDlg>(WM_PAINT, &CTessikDlg::OnPaint),
        win::OnMessage<CTessikDlg>(WM_QUERYDRAGICON, &CTessikDlg::OnQueryDragIcon),
        win::OnCommand<CTessikDlg>(IDOK, BN_CLICKED, &CTessikDlg::OnExit),
        win::OnNotify<CTessikDlg>(IDC_DEVICE_LIST, NM_DBLCLK, &CTessikDlg::OnDeviceListDblClk),
        win::OnMessage<CTessikDlg>(WM_COMBOLIST_GETITEMS, &CTessikDlg::OnComboListGetItems),
        win::OnMessage<CTessikDlg>(WM_COMBOLIST_VALIDATE, &CTessikDlg::OnComboListValidate),
        win::OnCommand<CTessikDlg>(IDC_SEARCH, BN_CLICKED, &CTessikDlg::OnBnClickedSearch),
        win::OnMessage<CTessikDlg>(WM_TIMER, &CTessikDlg::OnTimer),
        win::OnNotify<CTessikDlg>(IDC_DEVICE_LIST, LVN_ITEMCHANGED, &CTessikDlg::OnLinkChanged),
        win::OnCommand<CTessikDlg>(IDC_START, BN_CLICKED, &CTessikDlg::OnBnClickedStart),
        win::OnCommand<CTessikDlg>(IDC_STOP, BN_CLICKED, &CTessikDlg::OnBnClickedStop),
        win::OnMessage<CTessikDlg>(WM_DESTROY, &CTessikDlg::OnDestroy),
        win::OnMessage<CTessikDlg>(WM_SIZE, &CTessikDlg::OnSize),
        win::OnMessage<CTessikDlg>(WM_GETMINMAXINFO, &CTessikDlg::OnGetMinMaxInfo),
        win::OnCommand<CTessikDlg>(ID_TRAY_RESTORE, 0, &CTessikDlg::OnTrayRestore),
        win::OnCommand<CTessikDlg>(ID_TRAY_MINIMIZE, 0, &CTessikDlg::OnTrayMinimize),
        win::OnMessage<CTessikDlg>(WM_TRAYICON_NOTIFY, &CTessikDlg::OnTrayNotify),
    };
    return kEntries;
}

CTessikDlg::CTessikDlg()
    : MappedWindow(IDD_KAVREL_DIALOG), m_hIcon(LoadAppIcon(GetSystemMetrics(SM_CXICON))),
      m_hSmallIcon(LoadAppIcon(GetSystemMetrics(SM_CXSMICON))) {}

CTessikDlg::~CTessikDlg() = default;

BOOL CTessikDlg::OnInitDialog() {
    Dialog::OnInitDialog();
    m_listDevices.Attach(Item(IDC_DEVICE_LIST));
    m_ctlDeviceList.Subclass(m_listDevices.Handle());
    m_btnSearch = Item(IDC_SEARCH);
    m_btnStart = Item(IDC_START);
    m_btnStop = Item(IDC_STOP);

    AddAboutToSystemMenu();
    SendMessageW(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon.Get()));
    SendMessageW(Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hSmallIcon.Get()));

    m_trayIcon.AddTrayIcon(Instance(), m_hIcon.Get(), IDR_TRAY_MENU);
    m_trayIcon.SetCommandWnd(Handle());
    CSystemTray::ShowFromTray(Handle());
    m_trayIcon.SetDefaultMenuItem(ID_TRAY_MINIMIZE);
    m_layout.Capture(Handle(), m_listDevices.Handle());
    m_bTrayReady = true;

    ListView_SetExtendedListViewStyleEx(m_listDevices.Handle(), LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT,
                                        LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    InsertDeviceColumns();
    for (int column : {kColumnLink, kColumnIpAddress, kColumnTcpPort, kColumnMacAddress, kColumnName, kColumnStatus})
        m_ctlDeviceList.AddReadOnlyColumn(column);
    m_ctlDeviceList.AddComboColumn(kColumnComPort);
    ScanFreePorts();
    m_discovery.emplace(m_listDevices, m_arrFreePorts, [](std::string_view ansi) { return win::FromAnsi(ansi); });
    m_emulation.StartEngine(); // a failure has shown its message; the dialog works on without the engine
    m_sockets.emplace(*m_discovery, static_cast<ReplyBatchObserver&>(*this));
    m_sockets->Create();
    m_emulation.DisableStartStop();
    m_sockets->Search();
    return TRUE; // the focus goes to the first tab stop, Exit
}

void CTessikDlg::AddAboutToSystemMenu() {
    HMENU systemMenu = GetSystemMenu(Handle(), FALSE);
    if (systemMenu == nullptr)
        return;
    const wchar_t* text = nullptr;
    const int length = LoadStringW(Instance(), IDS_ABOUTBOX, reinterpret_cast<wchar_t*>(&text), 0);
    if (length <= 0)
        return;
    const std::wstring about(text, static_cast<size_t>(length));
    AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(systemMenu, MF_STRING, IDM_ABOUTBOX, about.c_str());
}

void CTessikDlg::InsertDeviceColumns() {
    for (int i = 0; i < kDeviceColumnCount; ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.fmt = LVCFMT_LEFT;
        column.cx = kColumns[static_cast<size_t>(i)].width;
        column.pszText = const_cast<wchar_t*>(kColumns[static_cast<size_t>(i)].title);
        column.iSubItem = i;
        ListView_InsertColumn(m_listDevices.Handle(), i, &column);
    }
}

void CTessikDlg::ScanFreePorts() {
    m_arrFreePorts = FreePortNames(ComPortExists);
}

// A linked row's devices sit on the port it was linked with: an edit of its COM Port is undone.
LRESULT CTessikDlg::OnComboListValidate(WPARAM, LPARAM lparam) {
    if (!PointerMessage::IsOurs(lparam))
        return 0;
    const auto* edit = reinterpret_cast<const NMLVDISPINFOW*>(lparam);
    if (edit->item.iSubItem == kColumnComPort)
        m_links.RestoreComPort(edit->item.iItem);
    return 0;
}

LRESULT CTessikDlg::OnBnClickedSearch(WPARAM, LPARAM) {
    WaitCursor wait;
    if (m_sockets)
        m_sockets->Search();
    return 0;
}

void CTessikDlg::OnRepliesBegin() {
    if (!m_replyBatch)
        m_replyBatch.emplace(m_listDevices);
}

void CTessikDlg::OnRepliesEnd() {
    m_replyBatch.reset();
}

LRESULT CTessikDlg::OnSysCommand(WPARAM wparam, LPARAM) {
    if ((wparam & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg about;
        about.DoModal(Instance(), Handle());
        return 0;
    }
    return Default();
}

LRESULT CTessikDlg::OnPaint(WPARAM, LPARAM) {
    if (!IsIconic(Handle()))
        return Default();
    const win::PaintScope paint(Handle());
    SendMessageW(Handle(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(paint.Dc()), 0);
    const int iconWidth = GetSystemMetrics(SM_CXICON);
    const int iconHeight = GetSystemMetrics(SM_CYICON);
    RECT client;
    GetClientRect(Handle(), &client);
    const int x = (client.right - client.left - iconWidth + 1) / 2;
    const int y = (client.bottom - client.top - iconHeight + 1) / 2;
    DrawIcon(paint.Dc(), x, y, m_hIcon.Get());
    return 0;
}

LRESULT CTessikDlg::OnQueryDragIcon(WPARAM, LPARAM) {
    return reinterpret_cast<LRESULT>(m_hIcon.Get());
}

LRESULT CTessikDlg::OnExit(WPARAM, LPARAM) {
    EndDialog(IDOK);
    TearDown();
    return 0;
}

// Escape, the close box and the system menu's Close leave the same way as Exit, so no engine device,
// port or connection outlives the program.
void CTessikDlg::OnCancel() {
    EndDialog(IDCANCEL);
    TearDown();
}

LRESULT CTessikDlg::OnDestroy(WPARAM, LPARAM) {
    TearDown();
    return Default();
}

void CTessikDlg::TearDown() {
    if (!m_emulation.Shutdown())
        return;
    if (m_sockets)
        m_sockets->Close();
}

// Start and Stop disable the button just pressed; the keyboard focus moves on to its counterpart, so
// keys (Escape, Enter, Space) keep working.
LRESULT CTessikDlg::OnBnClickedStart(WPARAM, LPARAM) {
    m_emulation.Start();
    MoveFocusFromDisabled(m_btnStop);
    return 0;
}

LRESULT CTessikDlg::OnBnClickedStop(WPARAM, LPARAM) {
    m_emulation.Stop();
    MoveFocusFromDisabled(m_btnStart);
    return 0;
}

void CTessikDlg::MoveFocusFromDisabled(HWND preferred) {
    HWND focus = GetFocus();
    if (focus != nullptr && IsWindowEnabled(focus))
        return;
    HWND next = IsWindowEnabled(preferred) ? preferred : Item(IDOK);
    SendMessageW(Handle(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(next), TRUE);
}

LRESULT CTessikDlg::OnTimer(WPARAM wparam, LPARAM) {
    m_emulation.OnTimer(static_cast<std::uintptr_t>(wparam));
    return Default();
}

LRESULT CTessikDlg::OnLinkChanged(WPARAM, LPARAM lparam) {
    const auto* change = reinterpret_cast<const NMLISTVIEW*>(lparam);
    m_links.OnCheckChanged(change->iItem, m_listDevices.CheckChangeOf(*change));
    return 0;
}

void CTessikDlg::Enable(DialogControl control, bool enabled) {
    HWND window = nullptr;
    switch (control) {
    case DialogControl::Start:
        window = m_btnStart;
        break;
    case DialogControl::Stop:
        window = m_btnStop;
        break;
    case DialogControl::Search:
        window = m_btnSearch;
        break;
    case DialogControl::DeviceList:
        window = m_listDevices.Handle();
        break;
    }
    EnableWindow(window, enabled ? TRUE : FALSE);
}

void CTessikDlg::Show(const std::wstring& text) {
    win::ShowMessage(Handle(), text);
}

std::uintptr_t CTessikDlg::Arm() {
    return SetTimer(Handle(), StatusTimer::kId, StatusTimer::kPeriodMs, nullptr);
}

void CTessikDlg::Kill(std::uintptr_t value) {
    KillTimer(Handle(), value);
}

LRESULT CTessikDlg::OnDeviceListDblClk(WPARAM, LPARAM) {
    // The position where the double-click happened, which may lie on a monitor left of or above the
    // primary one: the coordinates are signed.
    const DWORD position = GetMessagePos();
    LVHITTESTINFO hit{};
    hit.pt = {GET_X_LPARAM(position), GET_Y_LPARAM(position)};
    ScreenToClient(m_listDevices.Handle(), &hit.pt);
    const int row = ListView_HitTest(m_listDevices.Handle(), &hit);
    if (row < 0)
        return 0;
    const std::wstring url = L"http:\\\\" + m_listDevices.CellText(row, kColumnIpAddress);
    ShellExecuteW(nullptr, L"open", url.c_str(), nullptr, nullptr, SW_SHOWDEFAULT);
    return 0;
}

LRESULT CTessikDlg::OnComboListGetItems(WPARAM wparam, LPARAM lparam) {
    if (!PointerMessage::IsOurs(lparam))
        return 0;
    auto* items = reinterpret_cast<std::vector<std::wstring>*>(lparam);
    items->clear();
    // Only an editor open over the device list gets the names; the corner test is inclusive at the
    // left and top edges, exclusive at the right and bottom ones, as PtInRect is.
    HWND focus = GetFocus();
    if (focus == nullptr || wparam != kColumnComPort)
        return 1;
    RECT focusRect;
    RECT listRect;
    GetWindowRect(focus, &focusRect);
    GetWindowRect(m_listDevices.Handle(), &listRect);
    if (PtInRect(&listRect, POINT{focusRect.left, focusRect.top}))
        *items = m_arrFreePorts;
    return 1;
}

// Minimising, and the first size change while the window is created, send the window to the tray; any
// other size change is the user resizing it.
LRESULT CTessikDlg::OnSize(WPARAM wparam, LPARAM lparam) {
    Default();
    if (wparam == SIZE_MINIMIZED || !m_bTrayReady)
        return OnTrayMinimize(0, 0);
    m_layout.Arrange(LOWORD(lparam), HIWORD(lparam));
    return 0;
}

LRESULT CTessikDlg::OnGetMinMaxInfo(WPARAM, LPARAM lparam) {
    Default();
    m_layout.LimitTracking(*reinterpret_cast<MINMAXINFO*>(lparam));
    return 0;
}

LRESULT CTessikDlg::OnTrayRestore(WPARAM, LPARAM) {
    CSystemTray::ShowFromTray(Handle());
    m_trayIcon.SetDefaultMenuItem(ID_TRAY_MINIMIZE);
    return 0;
}

LRESULT CTessikDlg::OnTrayMinimize(WPARAM, LPARAM) {
    CSystemTray::HideToTray(Handle());
    m_trayIcon.SetDefaultMenuItem(ID_TRAY_RESTORE);
    return 0;
}

LRESULT CTessikDlg::OnTrayNotify(WPARAM wparam, LPARAM lparam) {
    return m_trayIcon.HandleTrayMessage(wparam, lparam);
}

} // namespace kavrel

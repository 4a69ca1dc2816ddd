#include "ui/CTessikDlg.h"

#include "ui/CAboutDlg.h"
#include "ui/WindowMessages.h"
#include "ui/free_ports.h"
#include "ui/resource.h"

#include <commctrl.h>
#include <shellapi.h>
#include <windowsx.h>

#include <array>

namespace kavrel {

namespace {

struct ColumnSpec {
    const wchar_t* title;
    int width;
};

constexpr std::array<ColumnSpec, kDeviceColumnCount> kColumns{{
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

// A serial port of that name exists when the system has a default configuration for it.
bool ComPortExists(const std::wstring& name) {
    COMMCONFIG config{};
    static_assert(sizeof(config) == 52);
    DWORD size = sizeof(config);
    return GetDefaultCommConfigW(name.c_str(), &config, &size) != FALSE;
}

} // namespace

struct CTessikDlgMap {
    static constexpr win::MessageEntry<CTessikDlg> kEntries[] = {
        win::OnMessage<CTessikDlg>(WM_SYSCOMMAND, &CTessikDlg::OnSysCommand),
        win::OnMessage<CTessikDlg>(WM_PAINT, &CTessikDlg::OnPaint),
        win::OnMessage<CTessikDlg>(WM_QUERYDRAGICON, &CTessikDlg::OnQueryDragIcon),
        win::OnCommand<CTessikDlg>(IDOK, BN_CLICKED, &CTessikDlg::OnExit),
        win::OnNotify<CTessikDlg>(IDC_DEVICE_LIST, NM_DBLCLK, &CTessikDlg::OnDeviceListDblClk),
        win::OnMessage<CTessikDlg>(WM_COMBOLIST_GETITEMS, &CTessikDlg::OnComboListGetItems),
    };
};

CTessikDlg::CTessikDlg()
    : Dialog(IDD_KAVREL_DIALOG), m_hIcon(LoadAppIcon(GetSystemMetrics(SM_CXICON))),
      m_hSmallIcon(LoadAppIcon(GetSystemMetrics(SM_CXSMICON))) {}

CTessikDlg::~CTessikDlg() = default;

bool CTessikDlg::ProcessMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) {
    return win::DispatchMessageMap<CTessikDlg>(CTessikDlgMap::kEntries, *this, message, wparam, lparam, result) ||
           Dialog::ProcessMessage(message, wparam, lparam, result);
}

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

    ListView_SetExtendedListViewStyleEx(m_listDevices.Handle(), LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT,
                                        LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    InsertDeviceColumns();
    for (int column : {kColumnLink, kColumnIpAddress, kColumnTcpPort, kColumnMacAddress, kColumnName, kColumnStatus})
        m_ctlDeviceList.AddReadOnlyColumn(column);
    m_ctlDeviceList.AddComboColumn(kColumnComPort);
    ScanFreePorts();

    EnableWindow(m_btnStart, FALSE);
    EnableWindow(m_btnStop, FALSE);
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
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(Handle(), &paint);
    SendMessageW(Handle(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    const int iconWidth = GetSystemMetrics(SM_CXICON);
    const int iconHeight = GetSystemMetrics(SM_CYICON);
    RECT client;
    GetClientRect(Handle(), &client);
    const int x = (client.right - client.left - iconWidth + 1) / 2;
    const int y = (client.bottom - client.top - iconHeight + 1) / 2;
    DrawIcon(dc, x, y, m_hIcon.Get());
    EndPaint(Handle(), &paint);
    return 0;
}

LRESULT CTessikDlg::OnQueryDragIcon(WPARAM, LPARAM) {
    return reinterpret_cast<LRESULT>(m_hIcon.Get());
}

LRESULT CTessikDlg::OnExit(WPARAM, LPARAM) {
    EndDialog(IDOK);
    return 0;
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
    auto* items = reinterpret_cast<std::vector<std::wstring>*>(lparam);
    if (items == nullptr)
        return 1;
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

} // namespace kavrel

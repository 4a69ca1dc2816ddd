// kavrel.exe from the outside: the main dialog as its template says, one copy at a time, the About box,
// and every way out.

#include "tools/win-driver/Driver.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <array>
#include <optional>
#include <thread>

using namespace kavrel::e2e;

namespace {

const std::wstring kTitle = L"Kavrel  2.0";
const std::wstring kAboutTitle = L"Info \u00FCber Tessik";

// Dialog units to pixels for the dialog font, measured on a dialog of our own with the same font.
RECT DialogUnits(HWND probe, int x, int y, int width, int height) {
    // The dialog manager converts position and size separately, so convert them that way too.
    RECT rect{x, y, width, height};
    MapDialogRect(probe, &rect);
    return {rect.left, rect.top, rect.left + rect.right, rect.top + rect.bottom};
}

// A hidden dialog in this process, made from kavrel.exe's own template, so MapDialogRect has the same base units.
class UnitProbe {
public:
    UnitProbe() {
        INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES};
        InitCommonControlsEx(&controls);
        module_ = LoadLibraryExW((ProgramFolder() + L"kavrel.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        dialog_ = CreateDialogParamW(module_, MAKEINTRESOURCEW(102), nullptr, &Procedure, 0);
        if (dialog_ != nullptr)
            ShowWindow(dialog_, SW_HIDE);
    }
    ~UnitProbe() {
        if (dialog_ != nullptr)
            DestroyWindow(dialog_);
        if (module_ != nullptr)
            FreeLibrary(module_);
    }
    HWND Handle() const { return dialog_; }

private:
    static INT_PTR CALLBACK Procedure(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }
    HMODULE module_ = nullptr;
    HWND dialog_ = nullptr;
};

struct TemplateControl {
    int id;
    const wchar_t* className;
    const wchar_t* text;
    LONG style;
    int x, y, width, height;
};

// Template order, which is the tab order.
constexpr std::array<TemplateControl, 8> kControls{{
    {1, L"Button", L"Exit", 0x50010001, 268, 121, 50, 14},
    {1003, L"SysListView32", L"", 0x50818B89, 7, 7, 401, 96},
    {1004, L"Button", L"Search", 0x50010000, 19, 121, 49, 14},
    {-1, L"Button", L"Devices", 0x50000007, 7, 109, 76, 36},
    {1006, L"Static", L"", 0x5000000E, 341, 113, 64, 23}, // a plain bitmap control shows the logo
    {1000, L"Button", L"Start", 0x50010000, 115, 122, 50, 14},
    {1001, L"Button", L"Stop", 0x50010000, 180, 122, 50, 14},
    {-1, L"Button", L"Emulation", 0x50000007, 103, 109, 140, 36},
}};

std::vector<HWND> Children(HWND parent) {
    std::vector<HWND> children;
    for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    return children;
}

// A point on the caption's close button, found by asking the window itself.
std::optional<POINT> CloseButton(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    for (int y = rect.top + 2; y < rect.top + 40; y += 2)
        for (int x = rect.right - 2; x > rect.right - 120; x -= 2) {
            const LRESULT hit = SendMessageW(window, WM_NCHITTEST, 0, MAKELPARAM(x, y));
            if (hit == HTCLOSE)
                return POINT{x, y};
        }
    return std::nullopt;
}

} // namespace

TEST(Startup, MainDialogIsAsItsTemplateSays) {
    Program program;
    HWND dialog = WaitForWindow(program.Id(), kTitle);
    ASSERT_NE(dialog, nullptr) << "no main window";
    UnitProbe probe;
    ASSERT_NE(probe.Handle(), nullptr);

    // The system adds sibling clipping and the 3-D look to every dialog it makes.
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(dialog, GWL_STYLE)) & ~DWORD{WS_CLIPSIBLINGS | DS_3DLOOK}, 0x90CE0048u);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(dialog, GWL_EXSTYLE)) & WS_EX_APPWINDOW, DWORD{WS_EX_APPWINDOW});
    RECT client{};
    GetClientRect(dialog, &client);
    const RECT size = DialogUnits(probe.Handle(), 0, 0, 417, 151);
    EXPECT_EQ(client.right, size.right);
    EXPECT_EQ(client.bottom, size.bottom);

    const auto children = Children(dialog);
    ASSERT_EQ(children.size(), kControls.size());
    for (size_t i = 0; i < kControls.size(); ++i) {
        const TemplateControl& control = kControls[i];
        HWND child = children[i];
        SCOPED_TRACE(testing::Message() << "control " << i << " id " << control.id);
        EXPECT_EQ(static_cast<int>(static_cast<short>(GetDlgCtrlID(child))), control.id);
        EXPECT_EQ(ClassOf(child), control.className);
        if (control.id != 1003 && control.id != 1006) {
            EXPECT_EQ(TextOf(child), control.text);
        }
        LONG style = GetWindowLongW(child, GWL_STYLE) & ~WS_DISABLED;
        if (control.id == 1003) {
            // The list view shows its border as a client edge and adds scroll bars as its content needs.
            const LONG extended = GetWindowLongW(child, GWL_EXSTYLE);
            EXPECT_TRUE((style & WS_BORDER) || (extended & WS_EX_CLIENTEDGE));
            style = (style & ~(WS_HSCROLL | WS_VSCROLL)) | WS_BORDER;
        }
        EXPECT_EQ(style, control.style);
        const RECT expected = DialogUnits(probe.Handle(), control.x, control.y, control.width, control.height);
        const RECT actual = RectInParent(child);
        EXPECT_EQ(actual.left, expected.left);
        EXPECT_EQ(actual.top, expected.top);
        if (control.id != 1006) { // a bitmap control takes the bitmap's size
            EXPECT_EQ(actual.right, expected.right);
            EXPECT_EQ(actual.bottom, expected.bottom);
        }
    }

    // The tab stops in order, the focus on Exit, Start and Stop disabled.
    HWND exitButton = GetDlgItem(dialog, IDOK);
    std::vector<int> tabOrder;
    HWND item = exitButton;
    do {
        tabOrder.push_back(GetDlgCtrlID(item));
        item = GetNextDlgTabItem(dialog, item, FALSE);
    } while (item != nullptr && item != exitButton && tabOrder.size() < 10);
    EXPECT_EQ(tabOrder, (std::vector<int>{1, 1003, 1004})) << "Start and Stop are disabled, so no tab stops";
    // Wine's tray window may take the activation for a moment at start; the dialog keeps its focus control
    // and gives it back when it is active again.
    EXPECT_TRUE(WaitUntil([&] { return FocusOf(dialog) == exitButton; }, 3s) ||
                (Activate(dialog), WaitUntil([&] { return FocusOf(dialog) == exitButton; }, 3s)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, 1000)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, 1001)));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, 1004)));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, 1003)));

    // The device list: check boxes, full-row selection and the seven columns.
    HWND list = GetDlgItem(dialog, 1003);
    const auto extended = static_cast<DWORD>(SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    EXPECT_EQ(extended & 0x24u, 0x24u);
    RemoteListView rows(list);
    const std::array<std::pair<const wchar_t*, int>, 7> columns{{{L"Link", 35},
                                                                 {L"COM Port", 60},
                                                                 {L"IP Address", 100},
                                                                 {L"TCP Port", 60},
                                                                 {L"MAC Address", 120},
                                                                 {L"Name", 130},
                                                                 {L"Status", 100}}};
    ASSERT_EQ(rows.ColumnCount(), 7);
    for (int c = 0; c < 7; ++c) {
        EXPECT_EQ(rows.ColumnTitle(c), columns[static_cast<size_t>(c)].first);
        EXPECT_EQ(rows.ColumnWidth(c), columns[static_cast<size_t>(c)].second);
    }
    EXPECT_EQ(rows.RowCount(), 0) << "no network here, so no device";

    SaveScreenshot("main-dialog");

    Click(exitButton);
    EXPECT_EQ(program.WaitForExit(10s), 0u);
}

TEST(Startup, SecondCopyLeavesAtOnceWithoutAWindow) {
    Program first;
    HWND dialog = WaitForWindow(first.Id(), kTitle);
    ASSERT_NE(dialog, nullptr);

    Program second;
    EXPECT_EQ(second.WaitForExit(15s), 0u) << "the second copy must end by itself";
    EXPECT_EQ(TopLevelWindows(0, kTitle).size(), 1u);
    EXPECT_TRUE(first.Running());
    EXPECT_TRUE(IsWindowVisible(dialog));

    // Enter presses the default button, Exit.
    Activate(dialog);
    PressKey(VK_RETURN);
    EXPECT_EQ(first.WaitForExit(10s), 0u);

    // Once the first has gone, a new copy starts normally.
    Program third;
    HWND again = WaitForWindow(third.Id(), kTitle);
    ASSERT_NE(again, nullptr);
    Activate(again);
    PressKey(VK_ESCAPE);
    EXPECT_EQ(third.WaitForExit(10s), 0u) << "Escape ends the program";
}

TEST(Startup, AboutBoxFromSystemCommandAndSystemMenu) {
    Program program;
    HWND dialog = WaitForWindow(program.Id(), kTitle);
    ASSERT_NE(dialog, nullptr);

    // Any system command from 0x10 to 0x1F opens it.
    PostMessageW(dialog, WM_SYSCOMMAND, 0x0011, 0);
    HWND about = WaitForWindow(program.Id(), kAboutTitle);
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(GetWindow(about, GW_OWNER), dialog);
    bool versionLine = false;
    for (HWND child : Children(about))
        versionLine = versionLine || TextOf(child) == L"Tessik, Version 1.0";
    EXPECT_TRUE(versionLine);
    SaveScreenshot("about-box");
    Click(GetDlgItem(about, IDOK));
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(about); }));

    // The system menu's own entry: Alt+Space opens the menu, I is the entry's mnemonic.
    Activate(dialog);
    PressKeys({VK_MENU, VK_SPACE});
    std::this_thread::sleep_for(300ms);
    PressKey('I');
    about = WaitForWindow(program.Id(), kAboutTitle);
    ASSERT_NE(about, nullptr) << "the system menu has no About entry";
    PressKey(VK_RETURN); // OK is the About box's default button
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(about); }));

    EXPECT_TRUE(program.Running()) << "closing the About box leaves the program running";
    Click(GetDlgItem(dialog, IDOK));
    EXPECT_EQ(program.WaitForExit(10s), 0u);
}

TEST(Startup, CloseBoxEndsTheProgram) {
    Program program;
    HWND dialog = WaitForWindow(program.Id(), kTitle);
    ASSERT_NE(dialog, nullptr);
    const auto close = CloseButton(dialog);
    ASSERT_TRUE(close.has_value()) << "no close button on the caption";
    ClickAt(*close);
    EXPECT_EQ(program.WaitForExit(10s), 0u);
}

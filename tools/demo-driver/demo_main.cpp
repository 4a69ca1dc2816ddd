// The demo's eyes without a display: starts kavrel.exe, waits until the expected number of devices is
// listed, prints the device list as a text table, saves a screenshot and ends the program through Exit.
//
//   kavrel-demo-driver.exe ROWS [SECONDS]

#include "tools/win-driver/Driver.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace kavrel::e2e;

int wmain(int argc, wchar_t** argv) {
    const int expected = argc > 1 ? _wtoi(argv[1]) : 1;
    const int seconds = argc > 2 ? _wtoi(argv[2]) : 30;
    Program program;
    HWND dialog = WaitForWindow(program.Id(), L"Kavrel  2.0");
    if (dialog == nullptr) {
        std::fprintf(stderr, "demo: the Kavrel window did not appear\n");
        return 1;
    }
    RemoteListView list(GetDlgItem(dialog, 1003));
    const bool complete = WaitUntil([&] { return list.RowCount() >= expected; }, std::chrono::seconds(seconds));

    const int columns = list.ColumnCount();
    std::vector<std::vector<std::wstring>> table;
    std::vector<std::wstring> header;
    for (int c = 0; c < columns; ++c)
        header.push_back(list.ColumnTitle(c));
    table.push_back(header);
    for (int r = 0; r < list.RowCount(); ++r) {
        std::vector<std::wstring> row;
        for (int c = 0; c < columns; ++c)
            row.push_back(c == 0 ? (list.Checked(r) ? L"[x]" : L"[ ]") : list.Cell(r, c));
        table.push_back(row);
    }
    std::vector<size_t> widths(static_cast<size_t>(columns), 0);
    for (const auto& row : table)
        for (size_t c = 0; c < row.size(); ++c)
            widths[c] = std::max(widths[c], row[c].size());
    for (const auto& row : table) {
        std::wstring line;
        for (size_t c = 0; c < row.size(); ++c)
            line += row[c] + std::wstring(widths[c] - row[c].size() + 2, L' ');
        std::printf("%ls\n", line.c_str());
    }
    std::fflush(stdout);

    SaveScreenshot("demo");
    Click(GetDlgItem(dialog, IDOK));
    const DWORD exitCode = program.WaitForExit(std::chrono::seconds(10));
    if (!complete)
        std::fprintf(stderr, "demo: %d of %d devices listed\n", list.RowCount(), expected);
    return complete && exitCode == 0 ? 0 : 1;
}

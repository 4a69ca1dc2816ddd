// The demo's eyes without a display: starts kavrel.exe, waits until the expected number of devices is
// listed, prints the device list as a text table, then does the main job: ticks the device on COM10,
// starts, waits for "Ready", sends a line through COM10 (a null-modem pair under Wine, see tools/wine-run
// --pair) and prints the device's answer; saves a screenshot and ends the program through Exit.
//
//   kavrel-demo-driver.exe ROWS [SECONDS]

#include "tools/win-driver/ComPort.h"
#include "tools/win-driver/Driver.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace kavrel::e2e;

namespace {

constexpr int kComPortColumn = 1, kStatusColumn = 6;

void PrintTable(const RemoteListView& list) {
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
}

// What a serial program does: opens the port (115200 8N1), sends a line and reads up to a newline.
std::string SendLine(const wchar_t* port, const std::string& line) {
    ComPort com(port);
    std::string answer;
    if (com.Ready() && com.Write(line))
        WaitUntil([&] { return (answer += com.ReadQueued()).find('\n') != std::string::npos; }, 5s);
    return answer;
}

} // namespace

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

    PrintTable(list);

    // The main job: the device on COM10 ticked and started, a line through the port and back.
    int row = -1;
    for (int r = 0; r < list.RowCount(); ++r)
        if (list.Cell(r, kComPortColumn) == L"COM10")
            row = r;
    std::string answer;
    if (row >= 0 && list.CheckBoxPoint(row)) {
        Activate(dialog);
        ClickAt(*list.CheckBoxPoint(row));
        WaitUntil([&] { return list.Cell(row, kStatusColumn) == L"Enable"; }, 5s);
        Click(GetDlgItem(dialog, 1000));
        // The first status poll comes 5 s after Start.
        if (WaitUntil([&] { return list.Cell(row, kStatusColumn) == L"Ready"; }, 15s)) {
            const std::string line = "Hello through COM10\r\n";
            std::printf("\ndemo: \"%ls\" is Ready; sending through COM10: %s", list.Cell(row, 5).c_str(), line.c_str());
            answer = SendLine(L"\\\\.\\COM10", line);
            std::printf("demo: the device answered: %s", answer.empty() ? "(nothing)\n" : answer.c_str());
        }
        PrintTable(list);
    }

    SaveScreenshot("demo");
    Click(GetDlgItem(dialog, IDOK));
    const DWORD exitCode = program.WaitForExit(std::chrono::seconds(10));
    if (!complete)
        std::fprintf(stderr, "demo: %d of %d devices listed\n", list.RowCount(), expected);
    if (answer.empty())
        std::fprintf(stderr, "demo: no answer came back through COM10\n");
    return complete && !answer.empty() && exitCode == 0 ? 0 : 1;
}

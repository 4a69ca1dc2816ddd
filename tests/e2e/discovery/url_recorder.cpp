// Stands in for the web browser in end-to-end tests: the test registers it as the handler of http
// addresses, and it writes the address it was asked to open, one line each, to KAVREL_URL_LOG.

#include <cstdio>
#include <cstdlib>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    const wchar_t* logPath = _wgetenv(L"KAVREL_URL_LOG");
    if (argc < 2 || logPath == nullptr)
        return 1;
    FILE* log = _wfopen(logPath, L"a");
    if (log == nullptr)
        return 1;
    std::fwprintf(log, L"%ls\n", argv[1]);
    std::fclose(log);
    return 0;
}

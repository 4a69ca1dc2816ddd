// The web browser's stand-in in end-to-end tests: appends the address it is asked to open to KAVREL_URL_LOG.

#include <cstdio>
#include <cstdlib>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    const wchar_t* logPath = _wgetenv(L"KAVREL_URL_LOG");
    FILE* log = argc < 2 || logPath == nullptr ? nullptr : _wfopen(logPath, L"a");
    if (log == nullptr)
        return 1;
    std::fwprintf(log, L"%ls\n", argv[1]);
    return std::fclose(log);
}

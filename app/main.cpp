// Process start: the single-instance guard and the taskbar message exist before the application runs.

#include "app/CTessikApp.h"
#include "app/SingleInstance.h"
#include "tray/TaskbarMessage.h"

namespace {
constexpr wchar_t kInstanceMutexName[] = L"{5A845B71-86D1-4E8F-9F7E-14B31917216F}";
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    const kavrel::SingleInstance instanceGuard(kInstanceMutexName);
    kavrel::RegisterTaskbarCreatedMessage();
    kavrel::CTessikApp app(instance, instanceGuard.AnotherIsRunning());
    app.InitInstance();
    return 0;
}

#include "app/CTessikApp.h"

#include "framework/AsyncUdpSocket.h"
#include "framework/Scopes.h"
#include "ui/CTessikDlg.h"

#include <commctrl.h>
#include <objbase.h>

namespace kavrel {

CTessikApp::CTessikApp(HINSTANCE instance, bool anotherIsRunning) noexcept
    : instance_(instance), anotherIsRunning_(anotherIsRunning) {}

bool CTessikApp::InitInstance() noexcept {
    // A second copy leaves silently; the first stays where it is.
    if (anotherIsRunning_)
        return false;

    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    // Let the system's restart manager bring the program back after an update restart.
    RegisterApplicationRestart(nullptr, 0);
    const win::ComSession com;         // the shell's URL handling may need COM
    const win::WinsockSession winsock; // the discovery sockets need it, whatever the engine does
    CTessikDlg dialog;
    dialog.DoModal(instance_, nullptr);
    return false;
}

} // namespace kavrel

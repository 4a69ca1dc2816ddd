#pragma once
// The About box, opened from the main dialog's system menu.

#include "framework/Dialog.h"

namespace kavrel {

class CAboutDlg : public win::Dialog {
public:
    CAboutDlg();
};

} // namespace kavrel

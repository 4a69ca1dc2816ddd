#include "ui/CAboutDlg.h"

#include "ui/resource.h"

namespace kavrel {

CAboutDlg::CAboutDlg() : Dialog(IDD_ABOUTBOX) {}

} // namespace kavrel

#include "discovery/CClientSocketTI.h"

#include "ui/CTessikDlg.h"

namespace kavrel {

void CClientSocketTI::OnReceive() {
    m_pDlg->OnReceiveTI(m_nIndex);
}

} // namespace kavrel

#include "discovery/CClientSocketL.h"

#include "ui/CTessikDlg.h"

namespace kavrel {

void CClientSocketL::OnReceive() {
    m_pDlg->OnReceiveL(m_nIndex);
}

} // namespace kavrel

#pragma once
// A TI discovery socket: one per local IPv4 address, bound to UDP port 23 there. Its replies go to the
// dialog's TI reply handler with the socket's index.

#include "framework/AsyncUdpSocket.h"

namespace kavrel {

class CTessikDlg;

class CClientSocketTI : public win::AsyncUdpSocket {
public:
    CClientSocketTI(CTessikDlg* dialog, int index) noexcept : m_pDlg(dialog), m_nIndex(index) {}

protected:
    void OnReceive() override;

private:
    CTessikDlg* m_pDlg;
    int m_nIndex;
};

} // namespace kavrel

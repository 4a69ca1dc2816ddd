#pragma once
// A Lantronix discovery socket: one per local IPv4 address, bound to UDP port 30718 there. Its replies go
// to the dialog's Lantronix reply handler with the socket's index.

#include "framework/AsyncUdpSocket.h"

namespace kavrel {

class CTessikDlg;

class CClientSocketL : public win::AsyncUdpSocket {
public:
    CClientSocketL(CTessikDlg* dialog, int index) noexcept : m_pDlg(dialog), m_nIndex(index) {}

protected:
    void OnReceive() override;

private:
    CTessikDlg* m_pDlg;
    int m_nIndex;
};

} // namespace kavrel

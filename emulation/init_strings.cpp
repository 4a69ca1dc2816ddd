#include "emulation/init_strings.h"

namespace kavrel {

std::wstring ComNumber(const std::wstring& comName) {
    return comName.size() > 3 ? comName.substr(3) : std::wstring();
}

std::wstring ConnectorInit(const std::wstring& comName) {
    return ComNumber(comName) + L";1";
}

std::wstring SplitterInit(std::int32_t linkNumber, const std::wstring& comName, const std::wstring& lineParams) {
    return std::to_wstring(linkNumber) + L';' + ComNumber(comName) + L";0;" + lineParams + L";0;0;0";
}

std::wstring TcpClientInit(const std::wstring& ipAddress, const std::wstring& tcpPort, std::int32_t linkNumber,
                           bool rfc2217) {
    return ipAddress + L';' + tcpPort + L';' + std::to_wstring(linkNumber) + L";2400,0,8,1,2,-1;0;10;;0;0" +
           (rfc2217 ? L";rfc2217" : L"");
}

} // namespace kavrel

#pragma once
// The engine's device type names and the init strings the links hand it.

#include <cstdint>
#include <string>

namespace kavrel {

inline constexpr const char* kConnectorType = "Connector";
inline constexpr const char* kSplitterType = "Splitter";
inline constexpr const char* kTcpClientType = "TcpClient";

inline constexpr std::int32_t kFirstLinkNumber = 100;

// "COM12" gives "12"; a name of three characters or fewer gives "".
std::wstring ComNumber(const std::wstring& comName);

std::wstring ConnectorInit(const std::wstring& comName);
// The serial line: "baud,parity,data bits,stop bits,flow,-1" (see engine/vspe_api.h).
inline constexpr wchar_t kDefaultLineParams[] = L"2400,0,8,1,2,-1";

std::wstring SplitterInit(std::int32_t linkNumber, const std::wstring& comName,
                          const std::wstring& lineParams = kDefaultLineParams);
// The cell texts go in as they stand: the engine's parser is the one that judges them. rfc2217: the link
// speaks Telnet with COM port control and sends its Splitter's line settings to the device server.
std::wstring TcpClientInit(const std::wstring& ipAddress, const std::wstring& tcpPort, std::int32_t linkNumber,
                           bool rfc2217 = false);

} // namespace kavrel

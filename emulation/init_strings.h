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
std::wstring SplitterInit(std::int32_t linkNumber, const std::wstring& comName);
// The cell texts go in as they stand: the engine's parser is the one that judges them.
std::wstring TcpClientInit(const std::wstring& ipAddress, const std::wstring& tcpPort, std::int32_t linkNumber);

} // namespace kavrel

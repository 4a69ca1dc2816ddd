#include "engine/init_strings.h"

#include <charconv>
#include <climits>
#include <vector>

namespace kavrel::engine {
namespace {

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> fields;
    for (;;) {
        auto end = text.find(separator);
        fields.push_back(text.substr(0, end));
        if (end == std::string_view::npos) {
            return fields;
        }
        text.remove_prefix(end + 1);
    }
}

// Plain decimal with an optional minus sign; no blanks, no plus sign, nothing after the digits.
std::optional<long long> ParseInt(std::string_view text, long long min, long long max) {
    long long value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc{} || ptr != end || value < min || value > max) {
        return std::nullopt;
    }
    return value;
}

std::optional<SerialParams> ParseParams(std::string_view text) {
    auto f = Split(text, ',');
    if (f.size() != 6) {
        return std::nullopt;
    }
    auto baud = ParseInt(f[0], 1, 4'000'000);
    auto parity = ParseInt(f[1], 0, 4);
    auto data = ParseInt(f[2], 5, 8);
    auto stop = ParseInt(f[3], 0, 2);
    auto flow = ParseInt(f[4], 0, 3);
    auto extra = ParseInt(f[5], INT_MIN, INT_MAX);
    if (!baud || !parity || !data || !stop || !flow || !extra) {
        return std::nullopt;
    }
    return SerialParams{static_cast<int>(*baud), static_cast<int>(*parity), static_cast<int>(*data),
                        static_cast<int>(*stop), static_cast<int>(*flow),   static_cast<int>(*extra)};
}

// Dotted decimal only: a host name or a short form like "10.1" is not an address here.
std::optional<std::array<std::uint8_t, 4>> ParseIpv4(std::string_view text) {
    auto parts = Split(text, '.');
    if (parts.size() != 4) {
        return std::nullopt;
    }
    std::array<std::uint8_t, 4> address{};
    for (std::size_t i = 0; i < 4; ++i) {
        if (parts[i].empty() || parts[i].size() > 3 || (parts[i].size() > 1 && parts[i][0] == '0') ||
            parts[i][0] == '-') {
            return std::nullopt;
        }
        auto value = ParseInt(parts[i], 0, 255);
        if (!value) {
            return std::nullopt;
        }
        address[i] = static_cast<std::uint8_t>(*value);
    }
    return address;
}

bool AllInts(const std::vector<std::string_view>& fields, std::initializer_list<std::size_t> indexes) {
    for (auto i : indexes) {
        if (!ParseInt(fields[i], INT_MIN, INT_MAX)) {
            return false;
        }
    }
    return true;
}

} // namespace

std::optional<ConnectorConfig> ParseConnector(std::string_view init) {
    auto f = Split(init, ';');
    if (f.size() != 2) {
        return std::nullopt;
    }
    auto com = ParseInt(f[0], 1, 255);
    auto flag = ParseInt(f[1], 0, 1);
    if (!com || !flag) {
        return std::nullopt;
    }
    return ConnectorConfig{static_cast<int>(*com), static_cast<int>(*flag)};
}

std::optional<SplitterConfig> ParseSplitter(std::string_view init) {
    auto f = Split(init, ';');
    if (f.size() != 7 || !AllInts(f, {2, 4, 5, 6})) {
        return std::nullopt;
    }
    auto link = ParseInt(f[0], 0, INT32_MAX);
    auto com = ParseInt(f[1], 1, 255);
    auto params = ParseParams(f[3]);
    if (!link || !com || !params) {
        return std::nullopt;
    }
    return SplitterConfig{static_cast<std::int32_t>(*link), static_cast<int>(*com), *params};
}

std::optional<TcpClientConfig> ParseTcpClient(std::string_view init) {
    auto f = Split(init, ';');
    // The tenth field was refused before it meant anything, so no string that worked changes its meaning.
    bool rfc2217 = f.size() == 10 && f[9] == "rfc2217";
    if ((f.size() != 9 && !rfc2217) || !AllInts(f, {4, 7, 8})) {
        return std::nullopt;
    }
    auto host = ParseIpv4(f[0]);
    auto port = ParseInt(f[1], 1, 65535);
    auto link = ParseInt(f[2], 0, INT32_MAX);
    auto params = ParseParams(f[3]);
    auto timeout = ParseInt(f[5], 0, 86400);
    if (!host || !port || !link || !params || !timeout) {
        return std::nullopt;
    }
    return TcpClientConfig{*host,   static_cast<std::uint16_t>(*port), static_cast<std::int32_t>(*link),
                           *params, static_cast<int>(*timeout),        rfc2217};
}

} // namespace kavrel::engine

#include "tools/devsim/device.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace devsim {

namespace {

template <typename T> bool ParseNumber(std::string_view text, T& value, int base = 10) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return ec == std::errc() && end == text.data() + text.size();
}

bool ParseIp(std::string_view text, std::array<std::uint8_t, 4>& ip) {
    for (std::size_t i = 0; i < 4; ++i) {
        const auto dot = text.find('.');
        if ((dot == std::string_view::npos) != (i == 3))
            return false;
        unsigned octet = 0;
        if (!ParseNumber(text.substr(0, dot), octet) || octet > 255)
            return false;
        ip[i] = static_cast<std::uint8_t>(octet);
        text = dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
    }
    return true;
}

bool ParseMac(std::string_view text, std::array<std::uint8_t, 6>& mac) {
    if (text.size() != 17)
        return false;
    for (std::size_t i = 0; i < 6; ++i) {
        if (i > 0 && text[3 * i - 1] != '-' && text[3 * i - 1] != ':')
            return false;
        unsigned byte = 0;
        if (!ParseNumber(text.substr(3 * i, 2), byte, 16))
            return false;
        mac[i] = static_cast<std::uint8_t>(byte);
    }
    return true;
}

// %HH escapes, so names can hold spaces and any byte.
bool Unescape(std::string_view text, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out.push_back(text[i]);
            continue;
        }
        unsigned byte = 0;
        if (i + 2 >= text.size() || !ParseNumber(text.substr(i + 1, 2), byte, 16))
            return false;
        out.push_back(static_cast<char>(byte));
        i += 2;
    }
    return true;
}

std::optional<Fault> ParseFault(std::string_view text) {
    static const std::pair<std::string_view, Fault> kFaults[] = {
        {"none", Fault::None},          {"silent", Fault::Silent},        {"bad-checksum", Fault::BadChecksum},
        {"wrong-tag", Fault::WrongTag}, {"wrong-type", Fault::WrongType}, {"wrong-command", Fault::WrongCommand},
        {"short", Fault::Short},        {"oversized", Fault::Oversized},  {"no-zero", Fault::NoZero},
        {"non-ascii", Fault::NonAscii},
    };
    for (const auto& [name, fault] : kFaults)
        if (name == text)
            return fault;
    return std::nullopt;
}

} // namespace

std::string IpText(const std::array<std::uint8_t, 4>& ip) {
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", ip[0], ip[1], ip[2], ip[3]);
    return text;
}

std::string MacString(const std::array<std::uint8_t, 6>& mac) {
    char text[18];
    std::snprintf(text, sizeof text, "%02X-%02X-%02X-%02X-%02X-%02X", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
    return text;
}

std::optional<Device> ParseDevice(std::string_view line, std::string& error) {
    Device device;
    bool haveIp = false, haveMac = false, haveName = false;
    while (!line.empty()) {
        const auto start = line.find_first_not_of(" \t\r");
        if (start == std::string_view::npos)
            break;
        line.remove_prefix(start);
        const auto end = line.find_first_of(" \t\r");
        const std::string_view word = line.substr(0, end);
        line = end == std::string_view::npos ? std::string_view() : line.substr(end);

        const auto eq = word.find('=');
        const std::string_view key = word.substr(0, eq);
        const std::string_view value = eq == std::string_view::npos ? std::string_view() : word.substr(eq + 1);
        bool ok = true;
        if (key == "ip")
            ok = haveIp = ParseIp(value, device.ip);
        else if (key == "mac")
            ok = haveMac = ParseMac(value, device.mac);
        else if (key == "name")
            ok = haveName = Unescape(value, device.name);
        else if (key == "port")
            ok = ParseNumber(value, device.tcpPort) && device.tcpPort != 0;
        else if (key == "reply-port") {
            std::int64_t port = 0;
            ok = ParseNumber(value, port) && port >= INT32_MIN && port <= UINT32_MAX;
            if (ok)
                device.replyPort = port;
        } else if (key == "protocol") {
            if (value == "ti")
                device.protocol = Protocol::Ti;
            else if (value == "lantronix")
                device.protocol = Protocol::Lantronix;
            else if (value == "both")
                device.protocol = Protocol::Both;
            else
                ok = false;
        } else if (key == "delay")
            ok = ParseNumber(value, device.delayMs) && device.delayMs >= 0;
        else if (key == "twice")
            device.twice = true;
        else if (key == "junk")
            ok = ParseNumber(value, device.junk) && device.junk >= 0;
        else if (key == "fault") {
            const auto fault = ParseFault(value);
            ok = fault.has_value();
            if (ok)
                device.fault = *fault;
        } else if (key == "tcp") {
            if (value == "echo")
                device.tcp = TcpMode::Echo;
            else if (value == "refuse")
                device.tcp = TcpMode::Refuse;
            else
                ok = false;
        } else
            ok = false;
        if (!ok) {
            error = "bad word '" + std::string(word) + "'";
            return std::nullopt;
        }
    }
    if (!haveIp) {
        error = "no ip=";
        return std::nullopt;
    }
    // Defaults derived from the address, so a line with only ip= is a usable, unique device.
    if (!haveMac)
        device.mac = {0x02, 0x00, device.ip[0], device.ip[1], device.ip[2], device.ip[3]};
    if (!haveName)
        device.name = "device-" + IpText(device.ip);
    return device;
}

} // namespace devsim

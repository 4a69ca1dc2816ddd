#include "engine/pair_choice.h"

#include <algorithm>
#include <cctype>
#include <optional>

namespace kavrel::engine {
namespace {

std::string Upper(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::toupper(c); });
    return out;
}

// "COM210" and "\\.\COM210" name the same device; CreateFile wants the second.
std::string DevicePath(std::string_view name) {
    return name.starts_with("\\\\") ? std::string(name) : "\\\\.\\" + std::string(name);
}

bool IsPort(std::string_view path, const std::string& port) {
    std::string upper = Upper(path);
    return upper == port || upper == "\\\\.\\" + port;
}

std::optional<std::string> Mapped(const PairRegistry& registry, Hive hive, const std::string& port,
                                  std::vector<std::string>& skipped) {
    const char* where = hive == Hive::CurrentUser ? "HKCU" : "HKLM";
    RegistryValue value = registry.Value(hive, kPortPairsKey, port);
    if (value.kind == RegistryValue::Kind::Missing) {
        return std::nullopt;
    }
    std::string entry = std::string(where) + "\\" + std::string(kPortPairsKey) + "\\" + port;
    if (value.kind == RegistryValue::Kind::Other) {
        skipped.push_back(entry + " is not a string");
    } else if (value.text.empty()) {
        skipped.push_back(entry + " is empty");
    } else if (IsPort(value.text, port)) {
        skipped.push_back(entry + " names the port itself, not the other end of a pair");
    } else {
        return DevicePath(value.text);
    }
    return std::nullopt;
}

// An end's name as the system knows it, or nothing when its entries say none.
std::optional<std::string> EndName(const PairRegistry& registry, const std::string& end) {
    std::string key = std::string(kCom0comKey) + "\\" + end;
    RegistryValue name = registry.Value(Hive::LocalMachine, key, "PortName");
    if (name.kind == RegistryValue::Kind::Other) {
        return std::nullopt;
    }
    if (name.kind == RegistryValue::Kind::Missing || name.text.empty() || name.text == "-") {
        return end;
    }
    if (name.text == "COM#") {
        RegistryValue real = registry.Value(Hive::LocalMachine, key, "RealPortName");
        return real.kind == RegistryValue::Kind::Text && !real.text.empty() ? std::optional(real.text) : std::nullopt;
    }
    return name.text;
}

std::optional<std::string> Com0comPartner(const PairRegistry& registry, const std::string& port,
                                          std::vector<std::string>& skipped) {
    std::vector<std::string> ends = registry.SubKeys(Hive::LocalMachine, kCom0comKey);
    for (const std::string& end : ends) {
        std::string upper = Upper(end);
        if (upper.size() < 5 || !(upper.starts_with("CNCA") || upper.starts_with("CNCB"))) {
            continue;
        }
        auto name = EndName(registry, end);
        if (!name || Upper(*name) != port) {
            continue;
        }
        std::string partner = upper.substr(0, 3) + (upper[3] == 'A' ? 'B' : 'A') + upper.substr(4);
        auto found = std::find_if(ends.begin(), ends.end(), [&](const std::string& e) { return Upper(e) == partner; });
        std::optional<std::string> partnerName = found != ends.end() ? EndName(registry, *found) : std::nullopt;
        if (!partnerName || Upper(*partnerName) == port) {
            skipped.push_back("com0com's " + end + " is " + port + " but its partner " + partner +
                              " has no usable name");
            continue;
        }
        return DevicePath(*partnerName);
    }
    return std::nullopt;
}

} // namespace

PairChoice ChoosePair(const PairRegistry& registry, int comNumber) {
    PairChoice choice;
    std::string port = "COM" + std::to_string(comNumber);
    for (Hive hive : {Hive::CurrentUser, Hive::LocalMachine}) {
        if (auto path = Mapped(registry, hive, port, choice.skipped)) {
            choice.hiddenEnd = *path;
            return choice;
        }
    }
    if (auto path = Com0comPartner(registry, port, choice.skipped)) {
        choice.hiddenEnd = *path;
    }
    return choice;
}

} // namespace kavrel::engine

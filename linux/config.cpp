#include "linux/config.h"

#include <arpa/inet.h>
#include <unistd.h>

#include <toml++/toml.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

namespace kavrel::service {
namespace {

// A reader takes one key's value; it returns why the value is wrong, or nothing.
using Why = std::string;

std::optional<std::int64_t> Integer(const toml::node& node) {
    if (const auto* value = node.as_integer())
        return value->get();
    return std::nullopt;
}

std::optional<std::string> String(const toml::node& node) {
    if (const auto* value = node.as_string())
        return value->get();
    return std::nullopt;
}

// The caller's range fits its field, so the value is stored only when it lies within.
template <typename T> Why ReadRange(const toml::node& node, std::int64_t low, std::int64_t high, T& out) {
    const auto value = Integer(node);
    if (!value)
        return "must be a whole number from " + std::to_string(low) + " to " + std::to_string(high);
    if (*value < low || *value > high)
        return std::to_string(*value) + " is outside " + std::to_string(low) + " to " + std::to_string(high);
    out = static_cast<T>(*value);
    return {};
}

Why ReadAbsolutePath(const toml::node& node, std::string& out) {
    const auto value = String(node);
    if (!value || value->empty() || value->front() != '/')
        return "must be an absolute path in quotes";
    out = *value;
    return {};
}

// A word of the given list, stored as its index.
Why ReadWord(const toml::node& node, std::initializer_list<const char*> words, int& out) {
    const auto value = String(node);
    int index = 0;
    for (const char* word : words) {
        if (value && *value == word) {
            out = index;
            return {};
        }
        ++index;
    }
    std::string list;
    for (const char* word : words)
        list += std::string(list.empty() ? "" : ", ") + "\"" + word + "\"";
    return "must be one of " + list;
}

Why ReadSetting(const toml::node& node, std::int64_t low, std::int64_t high, int& out, LinkConfig& link) {
    link.lineGiven = true;
    return ReadRange(node, low, high, out);
}

struct LinkKey {
    const char* name;
    Why (*read)(const toml::node& node, LinkConfig& link);
};

// Every key a [[link]] may hold; a key not here is refused.
const LinkKey kLinkKeys[] = {
    {"mac",
     [](const toml::node& node, LinkConfig& link) -> Why {
         const auto text = String(node);
         const auto mac = text ? NormalizeMac(*text) : std::nullopt;
         if (!mac)
             return (text ? "\"" + *text + "\"" : std::string("the value")) +
                    " is not a MAC address (six hex pairs such as \"00-20-4A-10-00-01\")";
         link.mac = *mac;
         return {};
     }},
    {"port", [](const toml::node& node, LinkConfig& link) { return ReadRange(node, 1, 255, link.port); }},
    {"path", [](const toml::node& node, LinkConfig& link) { return ReadAbsolutePath(node, link.path); }},
    {"tcp_port",
     [](const toml::node& node, LinkConfig& link) {
         std::int64_t port = 0;
         Why why = ReadRange(node, 1, 65535, port);
         if (why.empty())
             link.tcpPort = port;
         return why;
     }},
    {"address",
     [](const toml::node& node, LinkConfig& link) -> Why {
         const auto text = String(node);
         in_addr parsed{};
         if (!text || inet_pton(AF_INET, text->c_str(), &parsed) != 1)
             return "must be an IPv4 address in quotes, such as \"198.18.1.10\"";
         link.address = *text;
         return {};
     }},
    {"rfc2217",
     [](const toml::node& node, LinkConfig& link) -> Why {
         const auto* value = node.as_boolean();
         if (!value)
             return "must be true or false";
         link.rfc2217 = value->get();
         return {};
     }},
    {"baud",
     [](const toml::node& node, LinkConfig& link) { return ReadSetting(node, 1, 4'000'000, link.line.baud, link); }},
    {"data_bits",
     [](const toml::node& node, LinkConfig& link) { return ReadSetting(node, 5, 8, link.line.dataBits, link); }},
    {"stop_bits",
     [](const toml::node& node, LinkConfig& link) { return ReadSetting(node, 1, 2, link.line.stopBits, link); }},
    {"parity",
     [](const toml::node& node, LinkConfig& link) {
         link.lineGiven = true;
         return ReadWord(node, {"none", "odd", "even", "mark", "space"}, link.line.parity);
     }},
    {"flow",
     [](const toml::node& node, LinkConfig& link) {
         link.lineGiven = true;
         return ReadWord(node, {"none", "xonxoff", "rtscts"}, link.line.flow);
     }},
};

struct TopKey {
    const char* name;
    Why (*read)(const toml::node& node, Config& config);
};

const TopKey kTopKeys[] = {
    {"port_dir", [](const toml::node& node, Config& config) { return ReadAbsolutePath(node, config.portDir); }},
    {"rescan", [](const toml::node& node, Config& config) { return ReadRange(node, 1, 86400, config.rescanSeconds); }},
};

std::string Where(const std::string& file, const toml::source_region& source) {
    return file + ":" + std::to_string(source.begin.line) + ": ";
}

template <class Key, std::size_t N> const Key* FindKey(const Key (&keys)[N], std::string_view name) {
    for (const Key& key : keys)
        if (name == key.name)
            return &key;
    return nullptr;
}

class Checker {
public:
    explicit Checker(const std::string& file) : m_file(file) {}

    ConfigResult Check(const toml::table& root, Config config) {
        for (const auto& [key, node] : root) {
            const std::string name(key.str());
            if (name == "link") {
                if (!CheckLinks(node, config))
                    return {std::nullopt, m_error};
                continue;
            }
            const TopKey* known = FindKey(kTopKeys, name);
            if (!known)
                return Fail(key.source(), name, "unknown key");
            if (Why why = known->read(node, config); !why.empty())
                return Fail(node.source(), name, why);
        }
        return {std::move(config), {}};
    }

private:
    ConfigResult Fail(const toml::source_region& source, const std::string& key, const std::string& why) {
        m_error = Where(m_file, source) + key + ": " + why;
        return {std::nullopt, m_error};
    }

    bool CheckLinks(const toml::node& node, Config& config) {
        const auto* links = node.as_array();
        if (!links || !links->is_array_of_tables()) {
            Fail(node.source(), "link", "must be tables written as [[link]]");
            return false;
        }
        std::map<std::string, int> macLines, pathLines;
        for (std::size_t i = 0; i < links->size(); ++i) {
            const toml::table& table = *links->get(i)->as_table();
            const std::string prefix = "link[" + std::to_string(i + 1) + "].";
            LinkConfig link;
            link.at = static_cast<int>(table.source().begin.line);
            for (const auto& [key, value] : table) {
                const std::string name(key.str());
                const LinkKey* known = FindKey(kLinkKeys, name);
                if (!known) {
                    Fail(key.source(), prefix + name, "unknown key");
                    return false;
                }
                if (Why why = known->read(value, link); !why.empty()) {
                    Fail(value.source(), prefix + name, why);
                    return false;
                }
            }
            if (link.mac.empty() || link.port == 0) {
                Fail(table.source(), prefix + (link.mac.empty() ? "mac" : "port"), "missing");
                return false;
            }
            if (!link.address.empty() && !link.tcpPort) {
                Fail(table["address"].node()->source(), prefix + "address",
                     "needs tcp_port: a device that does not answer discovery does not tell its port");
                return false;
            }
            if (auto [it, added] = macLines.emplace(link.mac, link.at); !added) {
                Fail(table["mac"].node()->source(), prefix + "mac",
                     link.mac + " is already linked at line " + std::to_string(it->second));
                return false;
            }
            if (!link.path.empty()) {
                if (auto [it, added] = pathLines.emplace(link.path, link.at); !added) {
                    Fail(table["path"].node()->source(), prefix + "path",
                         link.path + " is already taken at line " + std::to_string(it->second));
                    return false;
                }
            }
            // One port has one Splitter, so one line: a second link that names other settings is a mistake.
            for (const LinkConfig& other : config.links) {
                if (other.port == link.port && (other.lineGiven || link.lineGiven) && !(other.line == link.line)) {
                    Fail(table.source(), prefix + "port",
                         "COM" + std::to_string(link.port) + " has other line settings at line " +
                             std::to_string(other.at) + " (links on one port share them)");
                    return false;
                }
            }
            config.links.push_back(std::move(link));
        }
        return true;
    }

    const std::string& m_file;
    std::string m_error;
};

} // namespace

std::wstring LineParams(const LineSettings& line) {
    return std::to_wstring(line.baud) + L',' + std::to_wstring(line.parity) + L',' + std::to_wstring(line.dataBits) +
           L',' + std::to_wstring(line.stopBits) + L',' + std::to_wstring(line.flow) + L",-1";
}

bool LinkConfig::SameLink(const LinkConfig& other) const {
    return mac == other.mac && port == other.port && path == other.path && tcpPort == other.tcpPort &&
           address == other.address && rfc2217 == other.rfc2217 && line == other.line;
}

std::optional<std::string> NormalizeMac(std::string_view text) {
    if (text.size() != 17)
        return std::nullopt;
    const char separator = text[2];
    if (separator != '-' && separator != ':')
        return std::nullopt;
    std::string mac;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (i % 3 == 2) {
            if (c != static_cast<unsigned char>(separator))
                return std::nullopt;
            mac.push_back('-');
        } else {
            if (!std::isxdigit(c))
                return std::nullopt;
            mac.push_back(static_cast<char>(std::toupper(c)));
        }
    }
    return mac;
}

ConfigResult ParseConfig(std::string_view text, const std::string& fileName, const std::string& defaultPortDir) {
    Config defaults;
    defaults.portDir = defaultPortDir;
    try {
        const toml::table root = toml::parse(text, fileName);
        return Checker(fileName).Check(root, std::move(defaults));
    } catch (const toml::parse_error& error) {
        return {std::nullopt, Where(fileName, error.source()) + std::string(error.description())};
    }
}

ConfigResult LoadConfig(const std::string& path, const std::string& defaultPortDir) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return {std::nullopt, path + ": cannot be read"};
    std::ostringstream text;
    text << file.rdbuf();
    return ParseConfig(text.str(), path, defaultPortDir);
}

std::string DefaultPortDir() {
    if (::geteuid() == 0)
        return "/run/kavrel";
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
        return std::string(runtime) + "/kavrel";
    return "/tmp/kavrel-" + std::to_string(::getuid());
}

} // namespace kavrel::service

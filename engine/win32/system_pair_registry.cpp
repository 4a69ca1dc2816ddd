#include "engine/win32/system_pair_registry.h"

#include <windows.h>

namespace kavrel::engine {
namespace {

class Key {
public:
    Key(Hive hive, std::string_view path) {
        HKEY root = hive == Hive::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
        if (RegOpenKeyExA(root, std::string(path).c_str(), 0, KEY_READ, &key_) != ERROR_SUCCESS) {
            key_ = nullptr;
        }
    }
    ~Key() {
        if (key_) {
            RegCloseKey(key_);
        }
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY Get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

} // namespace

RegistryValue SystemPairRegistry::Value(Hive hive, std::string_view key, std::string_view name) const {
    Key opened(hive, key);
    if (!opened.Get()) {
        return {};
    }
    std::string value(name);
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(opened.Get(), value.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
        return {};
    }
    if (type != REG_SZ || size > 64 * 1024) {
        return {RegistryValue::Kind::Other, {}};
    }
    std::string text(size + 1, '\0');
    size = static_cast<DWORD>(text.size());
    if (RegQueryValueExA(opened.Get(), value.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        return {RegistryValue::Kind::Other, {}};
    }
    text.resize(text.find('\0')); // the stored string need not end in one, and may hold several
    return {RegistryValue::Kind::Text, text};
}

std::vector<std::string> SystemPairRegistry::SubKeys(Hive hive, std::string_view key) const {
    std::vector<std::string> names;
    Key opened(hive, key);
    if (!opened.Get()) {
        return names;
    }
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof name;
        LONG result = RegEnumKeyExA(opened.Get(), i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (result == ERROR_SUCCESS) {
            names.emplace_back(name, length);
        }
    }
    return names;
}

} // namespace kavrel::engine

#include "ui/free_ports.h"

namespace kavrel {

std::vector<std::wstring> FreePortNames(const std::function<bool(const std::wstring& name)>& exists) {
    std::vector<std::wstring> names;
    for (int n = kFirstComNumber; n <= kLastComNumber; ++n) {
        std::wstring name = L"COM" + std::to_wstring(n);
        if (!exists(name))
            names.push_back(std::move(name));
    }
    return names;
}

} // namespace kavrel

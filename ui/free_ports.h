#pragma once
// Which COM port names a new row may propose: COM1 to COM99 where no serial port exists.

#include <functional>
#include <string>
#include <vector>

namespace kavrel {

inline constexpr int kFirstComNumber = 1;
inline constexpr int kLastComNumber = 99;

// exists(name) answers whether the machine has a serial port of that name.
// Returns the names without a port, ascending.
std::vector<std::wstring> FreePortNames(const std::function<bool(const std::wstring& name)>& exists);

} // namespace kavrel

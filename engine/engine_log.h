#pragma once
// The engine's few notes for whoever runs it: standard error, which a Linux service's journal keeps.

#include <cstdio>
#include <string>

namespace kavrel::engine {

inline void EngineLog(const std::string& text) noexcept {
    std::fprintf(stderr, "vspe: %s\n", text.c_str());
}

} // namespace kavrel::engine

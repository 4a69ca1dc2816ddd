#pragma once

#include <asio.hpp>

namespace kavrel::engine {

// A device server that vanishes without closing (power cut, cable pulled) must be noticed within 10 s,
// far sooner than the system's default of hours. Failures are ignored: the connection works without it.
void TuneKeepAlive(asio::ip::tcp::socket& socket) noexcept;

} // namespace kavrel::engine

#pragma once

#include <asio.hpp>

#include <cstdint>
#include <optional>

namespace kavrel::engine {

// How many bytes sent on the socket the peer has acknowledged so far, which grows only while the peer's
// program reads (or its buffer still has room); nothing where the system does not say.
std::optional<std::uint64_t> BytesAcknowledged(asio::ip::tcp::socket& socket) noexcept;

} // namespace kavrel::engine

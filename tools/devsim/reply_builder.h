#pragma once
// The datagrams a device answers a request with, good or spoiled as the device is told.

#include "tools/devsim/device.h"

#include <cstdint>
#include <optional>
#include <random>
#include <span>
#include <vector>

namespace devsim {

using Bytes = std::vector<std::uint8_t>;

enum class Request { Ti, F6, F8 };

// Which request a datagram is: the TI request arriving on the TI port, F6 or F8 (with 0x00 or 0x01 in
// the second byte) on the Lantronix port. nullopt for anything else.
std::optional<Request> ClassifyRequest(bool onTiPort, std::span<const std::uint8_t> datagram);

// The device's answer to one request (empty when it does not speak that protocol or is silent),
// before repeats and junk.
std::vector<Bytes> Answer(const Device& device, Request request);

// A datagram no receiver may take for a reply to `request`: random bytes or a spoiled reply.
Bytes Junk(const Device& device, Request request, std::mt19937& random);

Bytes GoodTiReply(const Device& device);

} // namespace devsim

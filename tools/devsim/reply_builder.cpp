#include "tools/devsim/reply_builder.h"

#include <algorithm>

namespace devsim {

namespace {

constexpr std::size_t kTiSize = 84; // fields up to offset 82, then the checksum byte
constexpr std::size_t kTiChecksumAt = 83;
constexpr std::size_t kOversize = 300;

void FixChecksum(Bytes& d, std::size_t at) {
    d[at] = 0;
    unsigned sum = 0;
    for (std::size_t i = 0; i < d[1] && i < d.size(); ++i)
        sum += d[i];
    d[at] = static_cast<std::uint8_t>(256 - sum % 256);
}

Bytes TiReply(const Device& device, const std::string& name) {
    Bytes d(kTiSize, 0);
    d[0] = 0xFE;
    d[1] = static_cast<std::uint8_t>(kTiSize);
    d[2] = 0x02;
    d[3] = 0x01;
    std::copy(device.mac.begin(), device.mac.end(), d.begin() + 9);
    const auto port = device.replyPort ? static_cast<std::uint32_t>(*device.replyPort) : std::uint32_t{device.tcpPort};
    for (std::size_t i = 0; i < 4; ++i)
        d[15 + i] = static_cast<std::uint8_t>(port >> (8 * i));
    std::copy_n(name.begin(), std::min<std::size_t>(name.size(), 64), d.begin() + 19);
    FixChecksum(d, kTiChecksumAt);
    return d;
}

Bytes LantronixReply(const Device& device, Request request) {
    if (request == Request::F6) {
        Bytes d(30, 0);
        d[3] = 0xF7;
        std::copy(device.mac.begin(), device.mac.end(), d.begin() + 24);
        return d;
    }
    Bytes d(26, 0);
    d[3] = 0xF9;
    d[24] = static_cast<std::uint8_t>(device.tcpPort & 0xFF);
    d[25] = static_cast<std::uint8_t>(device.tcpPort >> 8);
    return d;
}

Bytes SpoiledTi(const Device& device, Fault fault) {
    switch (fault) {
    case Fault::NoZero: {
        std::string name = device.name.empty() ? std::string("X") : device.name;
        while (name.size() < 64)
            name += name;
        std::replace(name.begin(), name.end(), '\0', 'X');
        return TiReply(device, name.substr(0, 64));
    }
    case Fault::NonAscii:
        return TiReply(device, "Ger\xE4t \xDC " + device.name.substr(0, 50));
    default:
        break;
    }
    Bytes d = TiReply(device, device.name);
    switch (fault) {
    case Fault::BadChecksum:
        ++d[kTiChecksumAt];
        break;
    case Fault::WrongTag:
        d[0] = 0xFD;
        FixChecksum(d, kTiChecksumAt);
        break;
    case Fault::WrongType:
        d[3] = 0x02;
        FixChecksum(d, kTiChecksumAt);
        break;
    case Fault::WrongCommand:
        d[2] = 0x03;
        FixChecksum(d, kTiChecksumAt);
        break;
    case Fault::Short:
        // Length and checksum agree, so only the size gives it away; byte 81 lies in the name's tail.
        d.resize(82);
        d[1] = 82;
        FixChecksum(d, 81);
        break;
    case Fault::Oversized:
        d.resize(kOversize, 0);
        break;
    default:
        break;
    }
    return d;
}

Bytes SpoiledLantronix(const Device& device, Request request, Fault fault) {
    Bytes d = LantronixReply(device, request);
    switch (fault) {
    case Fault::WrongTag:
        d[1] = 0x01;
        break;
    case Fault::WrongType:
        d[3] = 0xF5;
        break;
    case Fault::Short:
        d.pop_back();
        break;
    case Fault::Oversized:
        d.resize(kOversize, 0);
        break;
    default:
        break;
    }
    return d;
}

} // namespace

std::optional<Request> ClassifyRequest(bool onTiPort, std::span<const std::uint8_t> d) {
    if (onTiPort) {
        if (d.size() == 4 && d[0] == 0xFF && d[1] == 0x04 && d[2] == 0x02 && d[3] == 0xFB)
            return Request::Ti;
        return std::nullopt;
    }
    if (d.size() != 4 || d[0] != 0x00 || (d[1] != 0x00 && d[1] != 0x01) || d[2] != 0x00)
        return std::nullopt;
    if (d[3] == 0xF6)
        return Request::F6;
    if (d[3] == 0xF8)
        return Request::F8;
    return std::nullopt;
}

Bytes GoodTiReply(const Device& device) {
    return TiReply(device, device.name);
}

std::vector<Bytes> Answer(const Device& device, Request request) {
    if (device.fault == Fault::Silent)
        return {};
    const bool ti = device.protocol != Protocol::Lantronix;
    const bool lantronix = device.protocol != Protocol::Ti;
    if (request == Request::Ti)
        return ti ? std::vector<Bytes>{SpoiledTi(device, device.fault)} : std::vector<Bytes>{};
    return lantronix ? std::vector<Bytes>{SpoiledLantronix(device, request, device.fault)} : std::vector<Bytes>{};
}

Bytes Junk(const Device& device, Request request, std::mt19937& random) {
    static constexpr Fault kSpoils[] = {Fault::BadChecksum, Fault::WrongTag, Fault::WrongType, Fault::Short,
                                        Fault::Oversized};
    std::uniform_int_distribution<int> pick(0, 5);
    const int choice = pick(random);
    if (choice < 5) {
        const Fault fault = kSpoils[choice];
        if (request == Request::Ti)
            return SpoiledTi(device, fault);
        // A spoiled Lantronix reply of the other type, so the junk cannot pass for a missing half either.
        const Fault lantronixFault = fault == Fault::BadChecksum ? Fault::WrongTag : fault;
        return SpoiledLantronix(device, request == Request::F6 ? Request::F8 : Request::F6, lantronixFault);
    }
    std::uniform_int_distribution<int> size(0, 300);
    std::uniform_int_distribution<int> byte(0, 255);
    Bytes d(static_cast<std::size_t>(size(random)));
    for (auto& b : d)
        b = static_cast<std::uint8_t>(byte(random));
    // Random bytes may still look like a reply by chance: spoil the first byte for both protocols
    // (not 0xFE, not 0x00).
    if (!d.empty())
        d[0] = static_cast<std::uint8_t>(1 + byte(random) % 0xFD);
    return d;
}

} // namespace devsim

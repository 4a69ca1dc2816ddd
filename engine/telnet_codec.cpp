#include "engine/telnet_codec.h"

#include <cstring>

namespace kavrel::engine {
namespace {
constexpr std::uint8_t kIac = 255, kDont = 254, kDo = 253, kWont = 252, kWill = 251, kSb = 250, kSe = 240;
constexpr std::uint8_t kBinary = 0, kComPort = 44;
// COM-PORT-OPTION commands, client to server; the server's answers add 100.
constexpr std::uint8_t kSetBaud = 1, kSetDataSize = 2, kSetParity = 3, kSetStopSize = 4, kSetControl = 5;
constexpr std::uint8_t kPurgeData = 12, kServerOffset = 100;
constexpr int kFlowGroup = 0, kBreakGroup = 1, kDtrGroup = 2, kRtsGroup = 3;

// Which setting a SET-CONTROL value speaks of; -1 for the inbound flow values we never ask.
int ControlGroup(std::uint32_t value) {
    if (value <= 3 || (value >= 17 && value <= 19)) {
        return kFlowGroup;
    }
    if (value <= 12) {
        return static_cast<int>((value - 4) / 3) + kBreakGroup;
    }
    return -1;
}

// 2 and 3 (one and a half, as a pair driver may report) are sent as they are; anything else is one.
std::uint8_t StopSize(int stopBits) {
    return static_cast<std::uint8_t>(stopBits == 2 || stopBits == 3 ? stopBits : 1);
}

std::uint8_t FlowValue(int flowControl) {
    switch (flowControl) {
    case 1:
        return 2; // XON/XOFF
    case 2:
        return 3; // RTS/CTS
    case 3:
        return 19; // DSR
    default:
        return 1;
    }
}
} // namespace

void TelnetCodec::Start() {
    *this = TelnetCodec{};
    us_[kBinarySlot] = Q::WantYes;
    SendVerb(kWill, kBinary);
    him_ = Q::WantYes;
    SendVerb(kDo, kBinary);
    us_[kComPortSlot] = Q::WantYes;
    SendVerb(kWill, kComPort);
}

bool TelnetCodec::NeedsEscape(const char* bytes, std::size_t n) {
    return n > 0 && std::memchr(bytes, kIac, n) != nullptr;
}

void TelnetCodec::Escape(const char* bytes, std::size_t n, std::vector<char>& out) {
    out.reserve(out.size() + n + n / 64);
    for (std::size_t i = 0; i < n; ++i) {
        out.push_back(bytes[i]);
        if (static_cast<std::uint8_t>(bytes[i]) == kIac) {
            out.push_back(bytes[i]);
        }
    }
}

bool TelnetCodec::Receive(const char* bytes, std::size_t n, std::vector<char>& data) {
    for (std::size_t i = 0; i < n; ++i) {
        auto byte = static_cast<std::uint8_t>(bytes[i]);
        switch (state_) {
        case State::Data: {
            // Runs of plain data are the common case: copy them whole.
            const char* end = static_cast<const char*>(std::memchr(bytes + i, kIac, n - i));
            std::size_t run = end ? static_cast<std::size_t>(end - (bytes + i)) : n - i;
            data.insert(data.end(), bytes + i, bytes + i + run);
            i += run;
            if (end) {
                state_ = State::Iac;
            }
            break;
        }
        case State::Iac:
            if (byte == kIac) {
                data.push_back(static_cast<char>(byte));
                state_ = State::Data;
            } else if (!Command(byte)) {
                return false;
            }
            break;
        case State::Will:
        case State::Wont:
        case State::Do:
        case State::Dont:
            Negotiate(state_, byte);
            state_ = State::Data;
            break;
        case State::SbOption:
            sbOption_ = byte;
            sb_.clear();
            state_ = State::Sb;
            break;
        case State::Sb:
            if (byte == kIac) {
                state_ = State::SbIac;
            } else if (sb_.size() >= kMaxSubnegotiation) {
                return false; // a subnegotiation that never ends
            } else {
                sb_.push_back(byte);
            }
            break;
        case State::SbIac:
            if (byte == kSe) {
                Subnegotiation();
                state_ = State::Data;
            } else if (byte == kIac && sb_.size() < kMaxSubnegotiation) {
                sb_.push_back(byte);
                state_ = State::Sb;
            } else {
                return false; // cut short by another command, or too long
            }
            break;
        }
    }
    return true;
}

// The byte after an IAC in data.
bool TelnetCodec::Command(std::uint8_t byte) {
    state_ = State::Data;
    switch (byte) {
    case kWill:
        state_ = State::Will;
        return true;
    case kWont:
        state_ = State::Wont;
        return true;
    case kDo:
        state_ = State::Do;
        return true;
    case kDont:
        state_ = State::Dont;
        return true;
    case kSb:
        state_ = State::SbOption;
        return true;
    default:
        // SE without SB, NOP, data mark, break, GA and the other one-byte commands carry nothing for a
        // serial line; a byte below SE after IAC is no Telnet at all.
        return byte >= kSe;
    }
}

void TelnetCodec::Negotiate(State verb, std::uint8_t option) {
    int slot = option == kBinary ? kBinarySlot : option == kComPort ? kComPortSlot : -1;
    switch (verb) {
    case State::Do:
        if (slot < 0) {
            SendVerb(kWont, option);
        } else if (us_[slot] != Q::Yes) {
            if (us_[slot] == Q::No) {
                SendVerb(kWill, option);
            }
            us_[slot] = Q::Yes;
            if (slot == kComPortSlot) {
                events_.push_back({TelnetEvent::Kind::ComPortAccepted});
            }
        }
        break;
    case State::Dont:
        if (slot >= 0 && us_[slot] != Q::No) {
            if (us_[slot] == Q::Yes) {
                SendVerb(kWont, option);
            }
            us_[slot] = Q::No;
            if (slot == kComPortSlot) {
                sent_.reset();
                events_.push_back({TelnetEvent::Kind::ComPortRefused});
            }
        }
        break;
    case State::Will:
        if (option != kBinary) {
            SendVerb(kDont, option);
        } else if (him_ != Q::Yes) {
            if (him_ == Q::No) {
                SendVerb(kDo, option);
            }
            him_ = Q::Yes;
        }
        break;
    case State::Wont:
        if (option == kBinary && him_ != Q::No) {
            if (him_ == Q::Yes) {
                SendVerb(kDont, option);
            }
            him_ = Q::No;
        }
        break;
    default:
        break;
    }
}

void TelnetCodec::Subnegotiation() {
    if (sbOption_ != kComPort || sb_.empty()) {
        return; // options we never agreed to say nothing we act on
    }
    int command = sb_[0];
    const std::uint8_t* value = sb_.data() + 1;
    std::size_t length = sb_.size() - 1;
    if (command == kServerOffset + kSetBaud && length >= 4) {
        CheckAnswer(kSetBaud, (std::uint32_t{value[0]} << 24) | (std::uint32_t{value[1]} << 16) |
                                  (std::uint32_t{value[2]} << 8) | value[3]);
    } else if (command > kServerOffset + kSetBaud && command <= kServerOffset + kSetControl && length >= 1) {
        CheckAnswer(command - kServerOffset, value[0]);
    } else if ((command == kServerOffset + 6 || command == kServerOffset + 7) && length >= 1) {
        auto kind = command == kServerOffset + 6 ? TelnetEvent::Kind::LineState : TelnetEvent::Kind::ModemState;
        events_.push_back({kind, command, 0, value[0]});
    } else if (command == kPurgeData && length >= 1) {
        // Nothing of ours waits that the server could mean: bytes handed to TCP are gone. Say it is done.
        SendComPort(kServerOffset + kPurgeData, value, 1);
        events_.push_back({TelnetEvent::Kind::Purge, command, 0, value[0]});
    }
}

void TelnetCodec::CheckAnswer(int command, std::uint32_t got) {
    std::deque<std::uint32_t>* asked = command == kSetControl ? nullptr : &asked_[command - 1];
    if (command == kSetControl) {
        int group = ControlGroup(got);
        if (group < 0) {
            return;
        }
        asked = &askedControl_[group];
    }
    if (asked->empty()) {
        return; // unasked: the server telling its own value
    }
    // Answers come in the order asked; one that matches a later request answers it and those before.
    for (std::size_t i = 0; i < asked->size(); ++i) {
        if ((*asked)[i] == got) {
            asked->erase(asked->begin(), asked->begin() + static_cast<std::ptrdiff_t>(i) + 1);
            return;
        }
    }
    events_.push_back({TelnetEvent::Kind::Mismatch, command, asked->front(), got});
    asked->pop_front();
}

void TelnetCodec::Ask(std::deque<std::uint32_t>& asked, std::uint32_t value) {
    if (asked.size() == kMaxAsked) {
        asked.pop_front(); // a server that never answers
    }
    asked.push_back(value);
}

void TelnetCodec::SendSettings(const LineSettings& settings) {
    if (!ComPortAccepted()) {
        return;
    }
    const SerialParams& p = settings.params;
    const SerialParams* was = sent_ ? &sent_->params : nullptr;
    // In the order the RFC recommends: a parity may be valid only with the new data size.
    if (!was || was->baud != p.baud) {
        auto baud = static_cast<std::uint32_t>(p.baud);
        std::uint8_t value[4] = {static_cast<std::uint8_t>(baud >> 24), static_cast<std::uint8_t>(baud >> 16),
                                 static_cast<std::uint8_t>(baud >> 8), static_cast<std::uint8_t>(baud)};
        SendComPort(kSetBaud, value, 4);
        Ask(asked_[kSetBaud - 1], baud);
    }
    auto one = [&](std::uint8_t command, int now, int before, std::uint8_t value) {
        if (!was || now != before) {
            SendComPort(command, &value, 1);
            Ask(asked_[command - 1], value);
        }
    };
    one(kSetDataSize, p.dataBits, was ? was->dataBits : 0, static_cast<std::uint8_t>(p.dataBits));
    one(kSetParity, p.parity, was ? was->parity : 0, static_cast<std::uint8_t>(p.parity + 1));
    one(kSetStopSize, StopSize(p.stopBits), was ? StopSize(was->stopBits) : 0, StopSize(p.stopBits));
    auto control = [&](int group, std::uint8_t value) {
        SendComPort(kSetControl, &value, 1);
        Ask(askedControl_[group], value);
    };
    if (!was || FlowValue(was->flowControl) != FlowValue(p.flowControl)) {
        control(kFlowGroup, FlowValue(p.flowControl));
    }
    // Modem lines only once the port has reported them; the server keeps its own until then.
    auto line = [&](int group, const std::optional<bool>& now, const std::optional<bool>& before, std::uint8_t on) {
        if (now && (!sent_ || before != now)) {
            control(group, *now ? on : static_cast<std::uint8_t>(on + 1));
        }
    };
    line(kBreakGroup, settings.breakOn, sent_ ? sent_->breakOn : std::nullopt, 5);
    line(kDtrGroup, settings.dtr, sent_ ? sent_->dtr : std::nullopt, 8);
    line(kRtsGroup, settings.rts, sent_ ? sent_->rts : std::nullopt, 11);
    sent_ = settings;
}

void TelnetCodec::SendVerb(std::uint8_t verb, std::uint8_t option) {
    output_.push_back(static_cast<char>(kIac));
    output_.push_back(static_cast<char>(verb));
    output_.push_back(static_cast<char>(option));
}

void TelnetCodec::SendComPort(std::uint8_t command, const std::uint8_t* value, std::size_t n) {
    const char head[] = {static_cast<char>(kIac), static_cast<char>(kSb), static_cast<char>(kComPort),
                         static_cast<char>(command)};
    output_.append(head, sizeof head);
    for (std::size_t i = 0; i < n; ++i) {
        output_.push_back(static_cast<char>(value[i]));
        if (value[i] == kIac) {
            output_.push_back(static_cast<char>(kIac));
        }
    }
    output_.push_back(static_cast<char>(kIac));
    output_.push_back(static_cast<char>(kSe));
}

} // namespace kavrel::engine

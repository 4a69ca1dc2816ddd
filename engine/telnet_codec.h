#pragma once
// The Telnet side of a TcpClient that speaks RFC 2217: BINARY both ways and COM-PORT-OPTION negotiated,
// every other option refused, 0xFF doubled in data, subnegotiations parsed however the reads split them,
// and the line settings sent as SET-* commands with the server's answers checked. Pure bytes: the caller
// feeds what the server sent, relays the data, and writes what TakeOutput returns.

#include "engine/line_settings.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace kavrel::engine {

struct TelnetEvent {
    enum class Kind {
        ComPortAccepted, // settings may be sent now
        ComPortRefused,  // the link carries plain (escaped) Telnet data
        Mismatch,        // the server set another value than asked: command is the SET-* code
        LineState,       // NOTIFY-LINESTATE; value is the line state mask
        ModemState,      // NOTIFY-MODEMSTATE; value is the modem state mask
        Purge,           // the server asked us to purge; value as in PURGE-DATA (already answered)
    };
    Kind kind;
    int command = 0;
    std::uint32_t asked = 0;
    std::uint32_t value = 0;
};

class TelnetCodec {
public:
    // A COM port subnegotiation is at most a few bytes; a signature text is the longest. Longer is garbage.
    static constexpr std::size_t kMaxSubnegotiation = 256;

    // A fresh connection: forgets everything and queues the opening offers.
    void Start();
    // Bytes from the server: data is appended to data. False when the stream cannot be understood; the
    // connection should be closed, and Start called for the next one.
    bool Receive(const char* bytes, std::size_t n, std::vector<char>& data);
    // Queues SET-* commands for whatever differs from what this connection last sent; nothing before the
    // server accepted COM-PORT-OPTION.
    void SendSettings(const LineSettings& settings);

    std::string TakeOutput() { return std::move(output_); }
    std::vector<TelnetEvent> TakeEvents() { return std::move(events_); }
    bool ComPortAccepted() const { return us_[kComPortSlot] == Q::Yes; }
    // The server has answered the COM-PORT-OPTION offer, either way.
    bool ComPortSettled() const { return us_[kComPortSlot] != Q::WantYes; }

    static bool NeedsEscape(const char* bytes, std::size_t n);
    // Appends bytes with every 0xFF doubled.
    static void Escape(const char* bytes, std::size_t n, std::vector<char>& out);

private:
    enum class State { Data, Iac, Will, Wont, Do, Dont, SbOption, Sb, SbIac };
    enum class Q { No, WantYes, Yes };
    static constexpr int kBinarySlot = 0;
    static constexpr int kComPortSlot = 1;

    bool Command(std::uint8_t byte);
    void Negotiate(State verb, std::uint8_t option);
    void Subnegotiation();
    void CheckAnswer(int command, std::uint32_t got);
    void SendVerb(std::uint8_t verb, std::uint8_t option);
    void SendComPort(std::uint8_t command, const std::uint8_t* value, std::size_t n);

    State state_ = State::Data;
    Q us_[2] = {Q::No, Q::No}; // what we do: BINARY, COM-PORT-OPTION
    Q him_ = Q::No;            // what the server does: BINARY
    int sbOption_ = -1;
    std::vector<std::uint8_t> sb_;
    std::string output_;
    std::vector<TelnetEvent> events_;
    std::optional<LineSettings> sent_;
    // Values asked and not yet answered, per SET-* command (1..4) and per SET-CONTROL group (flow, break, DTR,
    // RTS): a change may go out before the answer to the one before it comes back.
    static constexpr std::size_t kMaxAsked = 8;
    std::deque<std::uint32_t> asked_[4];
    std::deque<std::uint32_t> askedControl_[4];
    void Ask(std::deque<std::uint32_t>& asked, std::uint32_t value);
};

} // namespace kavrel::engine

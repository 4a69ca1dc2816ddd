#include "engine/lsrmst_parser.h"

#include <utility>

namespace kavrel::engine {
namespace {
constexpr std::uint8_t kMsrCts = 0x10, kMsrDsr = 0x20, kLsrBreak = 0x10;
} // namespace

void LsrMstParser::Feed(const char* bytes, std::size_t n, std::vector<char>& data) {
    for (std::size_t i = 0; i < n; ++i) {
        auto byte = static_cast<std::uint8_t>(bytes[i]);
        switch (state_) {
        case State::Data:
            if (escape_ != 0 && byte == escape_) {
                state_ = State::Code;
            } else {
                data.push_back(bytes[i]);
            }
            break;
        case State::Code:
            code_ = byte;
            have_ = 0;
            need_ = 0;
            state_ = State::Payload;
            if (byte == kEscape) {
                data.push_back(static_cast<char>(escape_));
                state_ = State::Data;
            } else if (byte == kLsrData) {
                need_ = 2; // the line status, then the data byte that came with it
            } else if (byte == kLsrNoData || byte == kMst) {
                need_ = 1;
            } else if (byte == extensions_.baudRate) {
                need_ = 4;
            } else if (byte == extensions_.lineControl) {
                need_ = 3;
            } else {
                ++unknown_;
                state_ = State::Data;
            }
            break;
        case State::Payload:
            payload_[have_++] = byte;
            if (have_ == need_) {
                Complete();
                if (code_ == kLsrData) {
                    data.push_back(static_cast<char>(payload_[1]));
                }
                state_ = State::Data;
            }
            break;
        }
    }
}

void LsrMstParser::Complete() {
    if (code_ == kLsrData || code_ == kLsrNoData) {
        lineStatus_ = payload_[0];
        report_.breakOn = (payload_[0] & kLsrBreak) != 0;
        reported_ = true;
    } else if (code_ == kMst) {
        report_.dtr = (payload_[0] & kMsrDsr) != 0;
        report_.rts = (payload_[0] & kMsrCts) != 0;
        reported_ = true;
    } else if (code_ == extensions_.baudRate) {
        std::uint32_t baud = payload_[0] | (std::uint32_t{payload_[1]} << 8) | (std::uint32_t{payload_[2]} << 16) |
                             (std::uint32_t{payload_[3]} << 24);
        if (baud > 0 && baud <= 4'000'000) { // the range an init string allows
            report_.baud = static_cast<int>(baud);
            reported_ = true;
        }
    } else if (code_ == extensions_.lineControl) {
        std::uint8_t stop = payload_[0], parity = payload_[1], word = payload_[2];
        if (stop <= 2 && parity <= 4 && word >= 5 && word <= 8) {
            static constexpr int stops[] = {1, 3, 2};
            report_.stopBits = stops[stop];
            report_.parity = parity;
            report_.dataBits = word;
            reported_ = true;
        }
    }
}

std::optional<LineReport> LsrMstParser::TakeReport() {
    if (!reported_) {
        return std::nullopt;
    }
    reported_ = false;
    return std::exchange(report_, LineReport{});
}

} // namespace kavrel::engine

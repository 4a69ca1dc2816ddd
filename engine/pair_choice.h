#pragma once
// Which null-modem pair, if any, stands behind the port COMN. A pair driver gives the serial program a real
// COMN (the visible end) while the engine holds the other end (the hidden end); without one the port is a
// named pipe. The registry is read through a small interface so that the rules run anywhere.

#include <string>
#include <string_view>
#include <vector>

namespace kavrel::engine {

enum class Hive { CurrentUser, LocalMachine };

struct RegistryValue {
    enum class Kind { Missing, Text, Other };
    Kind kind = Kind::Missing;
    std::string text;
};

class PairRegistry {
public:
    virtual ~PairRegistry() = default;
    virtual RegistryValue Value(Hive hive, std::string_view key, std::string_view name) const = 0;
    virtual std::vector<std::string> SubKeys(Hive hive, std::string_view key) const = 0;
};

// Our own mapping, for any pair driver: string value "COMN" = the hidden end's device path.
inline constexpr std::string_view kPortPairsKey = "Software\\Kavrel\\Port pairs";
// com0com keeps each end's parameters in a subkey named after the end (CNCA0, CNCB0, ...) with its name in
// the string value PortName: "COMn", "-" for the end's own name, or "COM#" with the name given in
// RealPortName (from com0com's ReadMe; its setupc "change CNCA0 PortName=COM2" writes the same values).
inline constexpr std::string_view kCom0comKey = "SYSTEM\\CurrentControlSet\\Services\\com0com\\Parameters";

struct PairChoice {
    std::string hiddenEnd;            // a device path such as \\.\CNCB0; empty: the named pipe
    std::vector<std::string> skipped; // why entries that looked meant for this port were passed over
};

// In this order: HKCU's mapping, HKLM's mapping, a com0com pair one of whose ends is named COMN.
PairChoice ChoosePair(const PairRegistry& registry, int comNumber);

} // namespace kavrel::engine

#pragma once
// The pair choice's registry, read from the system's.

#include "engine/pair_choice.h"

namespace kavrel::engine {

class SystemPairRegistry final : public PairRegistry {
public:
    RegistryValue Value(Hive hive, std::string_view key, std::string_view name) const override;
    std::vector<std::string> SubKeys(Hive hive, std::string_view key) const override;
};

} // namespace kavrel::engine

#pragma once
// One service per port folder: a lock on a file in it, held for the service's life and released by the
// kernel when the process dies, so a crashed service never blocks the next one.

#include "engine/posix/unique_fd.h"

#include <optional>
#include <string>

namespace kavrel::service {

class InstanceLock {
public:
    // Nothing when another process holds the folder.
    static std::optional<InstanceLock> Take(const std::string& portDir);
    // Whether a live service holds the folder; takes nothing.
    static bool Held(const std::string& portDir);

    InstanceLock(InstanceLock&&) = default;
    InstanceLock& operator=(InstanceLock&&) = default;
    ~InstanceLock();

private:
    InstanceLock(engine::UniqueFd fd, std::string path) : m_fd(std::move(fd)), m_path(std::move(path)) {}

    engine::UniqueFd m_fd;
    std::string m_path;
};

} // namespace kavrel::service

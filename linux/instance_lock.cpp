#include "linux/instance_lock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kavrel::service {
namespace {

std::string LockPath(const std::string& portDir) {
    return portDir + "/.kavrel.lock";
}

flock WholeFile(short type) {
    flock lock{};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    return lock;
}

} // namespace

std::optional<InstanceLock> InstanceLock::Take(const std::string& portDir) {
    const std::string path = LockPath(portDir);
    for (int attempt = 0; attempt < 3; ++attempt) {
        engine::UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
        flock lock = WholeFile(F_WRLCK);
        if (!fd || ::fcntl(fd.Get(), F_OFD_SETLK, &lock) != 0)
            return std::nullopt;
        // The owner unlinks the file before it lets go: a lock on an unlinked file proves nothing.
        struct stat held {
        }, named{};
        if (::fstat(fd.Get(), &held) == 0 && ::stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
            held.st_ino == named.st_ino)
            return InstanceLock(std::move(fd), path);
    }
    return std::nullopt;
}

bool InstanceLock::Held(const std::string& portDir) {
    engine::UniqueFd fd(::open(LockPath(portDir).c_str(), O_RDONLY | O_CLOEXEC));
    flock lock = WholeFile(F_WRLCK);
    return fd && ::fcntl(fd.Get(), F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
}

InstanceLock::~InstanceLock() {
    if (m_fd)
        ::unlink(m_path.c_str());
}

} // namespace kavrel::service

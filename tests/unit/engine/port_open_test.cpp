// Opening a port where the system or another user gets in the way: nothing may be left half made.

#include "engine/vspe_api.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

// Set by a test: the next registration of a terminal with epoll fails, as when the kernel is out of memory.
static std::atomic<bool> failTtyRegistration{false};

// Interposes the C library's function for this test program, the engine's Asio included.
extern "C" int epoll_ctl(int epfd, int op, int fd, epoll_event* event) {
    static auto real = reinterpret_cast<int (*)(int, int, int, epoll_event*)>(dlsym(RTLD_NEXT, "epoll_ctl"));
    if (op == EPOLL_CTL_ADD && isatty(fd) && failTtyRegistration.exchange(false)) {
        errno = ENOMEM;
        return -1;
    }
    return real(epfd, op, fd, event);
}

namespace {
// With neither KAVREL_PORT_DIR nor XDG_RUNTIME_DIR the ports go to $TMPDIR/kavrel-UID, a TMPDIR of the test's own.
struct PortFolderTest : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(mkdtemp(tmp_.data()));
        folder_ = tmp_ + "/kavrel-" + std::to_string(getuid());
        unsetenv("KAVREL_PORT_DIR");
        unsetenv("XDG_RUNTIME_DIR");
        setenv("TMPDIR", tmp_.c_str(), 1);
        ASSERT_TRUE(vspe_initialize());
    }
    void TearDown() override {
        vspe_release();
        unsetenv("TMPDIR");
        fs::remove_all(tmp_);
    }
    static bool MakesPort() {
        int32_t id = vspe_createDevice("Connector", "7;1");
        return id > 0 && vspe_destroyDevice(id);
    }
    static auto OpenDescriptors() { return std::distance(fs::directory_iterator("/proc/self/fd"), {}); }

    std::string tmp_ = "/tmp/kavrel-folder-test.XXXXXX", folder_;
};
} // namespace

TEST_F(PortFolderTest, FailedOpenLeavesNothingAndTheFolderIsUsedOnlyWhenOursAndPrivate) {
    ASSERT_TRUE(MakesPort()); // the folder and the engine's own descriptors exist from here on
    auto before = OpenDescriptors();
    failTtyRegistration = true;
    EXPECT_EQ(vspe_createDevice("Connector", "7;1"), -1);
    EXPECT_FALSE(failTtyRegistration) << "the fault was not reached";
    EXPECT_EQ(OpenDescriptors(), before);
    EXPECT_TRUE(MakesPort()) << "COM7 is still taken by a Connector without a port";

    EXPECT_EQ(fs::symlink_status(folder_).permissions(), fs::perms::owner_all);
    fs::permissions(folder_, fs::perms::group_read | fs::perms::group_exec, fs::perm_options::add);
    EXPECT_FALSE(MakesPort()) << "others may read the folder";
    fs::permissions(folder_, fs::perms::owner_all);
    EXPECT_TRUE(MakesPort());

    fs::rename(folder_, tmp_ + "/elsewhere");
    fs::create_directory_symlink(tmp_ + "/elsewhere", folder_);
    EXPECT_FALSE(MakesPort()) << "a link put in the folder's place";
    fs::remove(folder_);
    if (geteuid() == 0) { // only root can make a folder that another user owns
        fs::rename(tmp_ + "/elsewhere", folder_);
        ASSERT_EQ(chown(folder_.c_str(), 65534, 65534), 0);
        EXPECT_FALSE(MakesPort()) << "another user made the folder";
    }
}

// 255 links with 4 clients each need more descriptors than Linux's default soft limit of 1024.
TEST(EngineLimits, InitializeRaisesTheDescriptorLimitToTheHardOne) {
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
    if (limit.rlim_max <= 256)
        GTEST_SKIP() << "hard limit too low to tell";
    rlimit low{256, limit.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
    ASSERT_TRUE(vspe_initialize());
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
    EXPECT_EQ(limit.rlim_cur, limit.rlim_max);
    vspe_release();
}

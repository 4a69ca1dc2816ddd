#pragma once
// A fixture base for engine tests: each test publishes its ports in a fresh folder of its own and ends
// with the engine released and the folder gone.

#include "engine/vspe_api.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace kavrel::test {

class PortDirTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/kavrel-engine-test.XXXXXX";
        ASSERT_TRUE(mkdtemp(tmpl));
        dir_ = tmpl;
        setenv("KAVREL_PORT_DIR", dir_.c_str(), 1);
    }
    void TearDown() override {
        vspe_release();
        std::filesystem::remove_all(dir_);
    }

    std::string dir_;
};

} // namespace kavrel::test

// What the C calls in engine_test leave out: one Splitter per port and per link number, names freed again.

#include "engine/device_registry.h"

#include <gtest/gtest.h>

using namespace kavrel::engine;

TEST(DeviceRegistry, EachPortAndLinkNumberIsTakenOnceUntilFreed) {
    constexpr const char* kSplitter100on12 = "100;12;0;2400,0,8,1,2,-1;0;0;0";
    constexpr const char* kClientOn100 = "10.0.0.7;23;100;2400,0,8,1,2,-1;0;10;;0;0";
    DeviceRegistry registry;
    ASSERT_TRUE(registry.Create("Connector", "12;1") && registry.Create("Connector", "13;1"));
    auto splitter = registry.Create("Splitter", kSplitter100on12);
    ASSERT_TRUE(splitter);
    EXPECT_FALSE(registry.Create("Splitter", "101;12;0;2400,0,8,1,2,-1;0;0;0")) << "COM12 has its Splitter";
    EXPECT_FALSE(registry.Create("Splitter", "100;13;0;2400,0,8,1,2,-1;0;0;0")) << "link 100 is taken";
    EXPECT_TRUE(registry.Create("TcpClient", kClientOn100) && registry.Create("TcpClient", kClientOn100));
    ASSERT_TRUE(registry.Destroy(*splitter));
    EXPECT_FALSE(registry.Create("TcpClient", kClientOn100)) << "Splitter 100 is gone";
    EXPECT_TRUE(registry.Create("Splitter", kSplitter100on12)) << "link 100 and COM12 are free again";
    registry.Clear();
    EXPECT_TRUE(registry.Create("Connector", "12;1")) << "COM12 is free after Clear";
}

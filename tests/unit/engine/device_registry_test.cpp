#include "engine/device_registry.h"

#include <gtest/gtest.h>

using namespace kavrel::engine;

namespace {
constexpr const char* kSplitter100on12 = "100;12;0;2400,0,8,1,2,-1;0;0;0";
constexpr const char* kClientOn100 = "10.0.0.7;23;100;2400,0,8,1,2,-1;0;10;;0;0";
} // namespace

TEST(DeviceRegistry, DevicesNeedWhatTheyJoinAndEachNameIsTakenOnce) {
    DeviceRegistry registry;
    for (const char* type : {"connector", "Connector ", "", "Bridge"}) {
        EXPECT_FALSE(registry.Create(type, "12;1")) << type;
    }
    EXPECT_FALSE(registry.Create("Connector", "12;1;"));
    EXPECT_TRUE(registry.Devices().empty());
    EXPECT_FALSE(registry.Create("Splitter", kSplitter100on12)) << "no Connector COM12 yet";
    ASSERT_TRUE(registry.Create("Connector", "12;1"));
    EXPECT_FALSE(registry.Create("Connector", "12;0")) << "COM12 is taken";
    EXPECT_FALSE(registry.Create("TcpClient", kClientOn100)) << "no Splitter 100 yet";
    auto splitter = registry.Create("Splitter", kSplitter100on12);
    ASSERT_TRUE(splitter);
    EXPECT_FALSE(registry.Create("Splitter", "101;12;0;2400,0,8,1,2,-1;0;0;0")) << "COM12 has its Splitter";
    ASSERT_TRUE(registry.Create("Connector", "13;1"));
    EXPECT_FALSE(registry.Create("Splitter", "100;13;0;2400,0,8,1,2,-1;0;0;0")) << "link 100 is taken";
    EXPECT_TRUE(registry.Create("TcpClient", kClientOn100) && registry.Create("TcpClient", kClientOn100));
    ASSERT_TRUE(registry.Destroy(*splitter));
    EXPECT_FALSE(registry.Create("TcpClient", kClientOn100)) << "Splitter 100 is gone";
    EXPECT_TRUE(registry.Create("Splitter", kSplitter100on12)) << "link 100 and COM12 are free again";
    registry.Clear();
    EXPECT_TRUE(registry.Create("Connector", "12;1")) << "COM12 is free after Clear";
}

TEST(DeviceRegistry, IdsAreNeverReusedAndSplitterIsReadyWhileItsConnectorExists) {
    DeviceRegistry registry;
    auto connector = registry.Create("Connector", "12;1");
    auto splitter = registry.Create("Splitter", kSplitter100on12);
    auto client = registry.Create("TcpClient", kClientOn100);
    ASSERT_TRUE(connector && splitter && client);
    EXPECT_GT(*connector, 0);
    EXPECT_TRUE(registry.Ready(*splitter));
    EXPECT_FALSE(registry.Ready(*client)) << "a client is ready only while connected, which is not known here";
    ASSERT_TRUE(registry.Destroy(*connector)); // a failed tick's undo destroys the Connector first
    EXPECT_FALSE(registry.Destroy(*connector));
    EXPECT_FALSE(registry.Ready(*splitter));
    auto again = registry.Create("Connector", "12;1");
    ASSERT_TRUE(again);
    EXPECT_GT(*again, *client);
    EXPECT_TRUE(registry.Ready(*splitter));
    DeviceRegistry another; // a released and re-initialised engine goes on counting
    EXPECT_GT(another.Create("Connector", "1;1").value_or(0), *again);
}

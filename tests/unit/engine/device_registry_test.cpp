#include "engine/device_registry.h"

#include <gtest/gtest.h>

using namespace kavrel::engine;

namespace {
constexpr const char* kSplitter100on12 = "100;12;0;2400,0,8,1,2,-1;0;0;0";
constexpr const char* kClientOn100 = "10.0.0.7;23;100;2400,0,8,1,2,-1;0;10;;0;0";
} // namespace

TEST(DeviceRegistry, DevicesNeedWhatTheyJoin) {
    DeviceRegistry registry;
    EXPECT_FALSE(registry.Create("Splitter", kSplitter100on12)) << "no Connector COM12 yet";
    auto connector = registry.Create("Connector", "12;1");
    ASSERT_TRUE(connector);
    EXPECT_FALSE(registry.Create("Connector", "12;0")) << "COM12 is taken";
    EXPECT_FALSE(registry.Create("TcpClient", kClientOn100)) << "no Splitter 100 yet";
    auto splitter = registry.Create("Splitter", kSplitter100on12);
    ASSERT_TRUE(splitter);
    EXPECT_FALSE(registry.Create("Splitter", "101;12;0;2400,0,8,1,2,-1;0;0;0")) << "COM12 has its Splitter";
    ASSERT_TRUE(registry.Create("Connector", "13;1"));
    EXPECT_FALSE(registry.Create("Splitter", "100;13;0;2400,0,8,1,2,-1;0;0;0")) << "link 100 is taken";
    auto a = registry.Create("TcpClient", kClientOn100);
    auto b = registry.Create("TcpClient", kClientOn100);
    ASSERT_TRUE(a && b) << "several clients on one link";
    EXPECT_EQ(registry.SplitterFor(100), splitter);
    EXPECT_EQ(registry.ConnectorFor(12), connector);
    ASSERT_TRUE(registry.Destroy(*splitter));
    EXPECT_FALSE(registry.SplitterFor(100));
    EXPECT_FALSE(registry.Create("TcpClient", kClientOn100)) << "Splitter 100 is gone";
    EXPECT_TRUE(registry.Create("Splitter", kSplitter100on12)) << "link 100 and COM12 are free again";
    registry.Clear();
    EXPECT_TRUE(registry.Create("Connector", "12;1")) << "COM12 is free after Clear";
}

TEST(DeviceRegistry, UnknownTypesAndMalformedStringsMakeNothing) {
    DeviceRegistry registry;
    for (const char* type : {"connector", "CONNECTOR", "Connector ", "", "Bridge"}) {
        EXPECT_FALSE(registry.Create(type, "12;1")) << type;
    }
    EXPECT_FALSE(registry.Create("Connector", "12;1;"));
    EXPECT_TRUE(registry.Devices().empty());
}

TEST(DeviceRegistry, IdsArePositiveAndNeverReused) {
    DeviceRegistry registry;
    auto first = registry.Create("Connector", "1;1");
    ASSERT_TRUE(first);
    EXPECT_GT(*first, 0);
    ASSERT_TRUE(registry.Destroy(*first));
    EXPECT_FALSE(registry.Destroy(*first));
    auto second = registry.Create("Connector", "1;1");
    ASSERT_TRUE(second);
    EXPECT_GT(*second, *first);
    DeviceRegistry another; // a released and re-initialised engine goes on counting
    auto third = another.Create("Connector", "1;1");
    ASSERT_TRUE(third);
    EXPECT_GT(*third, *second);
}

TEST(DeviceRegistry, SplitterIsReadyWhileItsConnectorExists) {
    DeviceRegistry registry;
    auto connector = registry.Create("Connector", "12;1");
    auto splitter = registry.Create("Splitter", kSplitter100on12);
    auto client = registry.Create("TcpClient", kClientOn100);
    ASSERT_TRUE(connector && splitter && client);
    EXPECT_TRUE(registry.Ready(*connector));
    EXPECT_TRUE(registry.Ready(*splitter));
    EXPECT_FALSE(registry.Ready(*client)) << "a client is ready only while connected, which is not known here";
    ASSERT_TRUE(registry.Destroy(*connector)); // the undo order of a failed tick destroys the Connector first
    EXPECT_FALSE(registry.Ready(*splitter));
    EXPECT_FALSE(registry.Ready(*connector));
    auto again = registry.Create("Connector", "12;1");
    ASSERT_TRUE(again);
    EXPECT_TRUE(registry.Ready(*splitter));
}

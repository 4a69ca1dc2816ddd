#include "discovery/search_requests.h"

#include <gtest/gtest.h>

using namespace kavrel;

// The bytes themselves are checked where devsim logs what kavrel.exe sent (tests/e2e/discovery).
TEST(SearchRequests, EveryTiRequestLeavesBeforeTheFirstLantronixRequest) {
    EXPECT_TRUE(SearchRequests(0).empty());
    const auto datagrams = SearchRequests(3);
    ASSERT_EQ(datagrams.size(), 9u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(datagrams[i].socket, DiscoveryProtocol::Ti);
        EXPECT_EQ(datagrams[i].addressIndex, i);
        EXPECT_EQ(datagrams[i].bytes, kTiRequest);
        // F6 then F8 on the same socket, address after address.
        const auto& f6 = datagrams[3 + 2 * i];
        const auto& f8 = datagrams[4 + 2 * i];
        EXPECT_EQ(f6.socket, DiscoveryProtocol::Lantronix);
        EXPECT_EQ(f6.addressIndex, i);
        EXPECT_EQ(f6.bytes, kLantronixF6Request);
        EXPECT_EQ(f8.socket, DiscoveryProtocol::Lantronix);
        EXPECT_EQ(f8.addressIndex, i);
        EXPECT_EQ(f8.bytes, kLantronixF8Request);
    }
    for (const auto& d : datagrams)
        EXPECT_EQ(d.destination, kBroadcastAddress);
}

TEST(TakesDiscoverySockets, SkipsOnlyTheAnyAddressAndExactly127001) {
    EXPECT_FALSE(TakesDiscoverySockets({0, 0, 0, 0}));
    EXPECT_FALSE(TakesDiscoverySockets({127, 0, 0, 1}));
    EXPECT_TRUE(TakesDiscoverySockets({127, 0, 0, 2}));
    EXPECT_TRUE(TakesDiscoverySockets({198, 18, 0, 1}));
    EXPECT_TRUE(TakesDiscoverySockets({1, 0, 0, 127})); // byte order matters
}

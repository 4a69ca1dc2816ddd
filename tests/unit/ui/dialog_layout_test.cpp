#include "ui/dialog_layout.h"

#include <gtest/gtest.h>

using kavrel::Anchor;
using kavrel::LayoutRect;
using kavrel::Place;

namespace {
constexpr kavrel::LayoutSize kDesigned{626, 245};
constexpr LayoutRect kList{11, 11, 613, 167};
constexpr LayoutRect kExit{402, 197, 477, 220};
} // namespace

TEST(DialogLayout, ListGrowsAndShrinksWithTheClientArea) {
    EXPECT_EQ(Place(kList, Anchor::Fill, kDesigned, kDesigned), kList);
    EXPECT_EQ(Place(kList, Anchor::Fill, kDesigned, {826, 345}), (LayoutRect{11, 11, 813, 267}));
    EXPECT_EQ(Place(kList, Anchor::Fill, kDesigned, {700, 260}), (LayoutRect{11, 11, 687, 182}));
}

TEST(DialogLayout, BottomControlsKeepSizeLeftEdgeAndDistanceToTheBottom) {
    EXPECT_EQ(Place(kExit, Anchor::Bottom, kDesigned, kDesigned), kExit);
    const LayoutRect moved = Place(kExit, Anchor::Bottom, kDesigned, {900, 345});
    EXPECT_EQ(moved, (LayoutRect{402, 297, 477, 320}));
    EXPECT_EQ(345 - moved.bottom, kDesigned.height - kExit.bottom);
}

TEST(DialogLayout, BelowTheDesignedSizeNothingMovesOrShrinks) {
    EXPECT_EQ(Place(kList, Anchor::Fill, kDesigned, {300, 100}), kList);
    EXPECT_EQ(Place(kExit, Anchor::Bottom, kDesigned, {0, 0}), kExit);
    // Only the direction that is too small is held at the design.
    EXPECT_EQ(Place(kList, Anchor::Fill, kDesigned, {300, 300}), (LayoutRect{11, 11, 613, 222}));
}

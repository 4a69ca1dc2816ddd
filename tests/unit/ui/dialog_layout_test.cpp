#include "ui/dialog_layout.h"

#include <gtest/gtest.h>

#include <tuple>

using kavrel::Anchor;
using kavrel::LayoutRect;

TEST(DialogLayout, ListFillsExitKeepsToTheBottomAndNothingGoesBelowTheDesign) {
    constexpr kavrel::LayoutSize kDesigned{626, 245};
    constexpr LayoutRect kList{11, 11, 613, 167}, kExit{402, 197, 477, 220};
    const std::tuple<LayoutRect, Anchor, kavrel::LayoutSize, LayoutRect> cases[] = {
        {kList, Anchor::Fill, {826, 345}, {11, 11, 813, 267}},
        {kList, Anchor::Fill, {300, 300}, {11, 11, 613, 222}}, // only the direction that is too small is held
        {kExit, Anchor::Bottom, {900, 345}, {402, 297, 477, 320}},
        {kExit, Anchor::Bottom, {0, 0}, kExit},
    };
    for (const auto& [rect, anchor, client, placed] : cases)
        EXPECT_EQ(kavrel::Place(rect, anchor, kDesigned, client), placed) << client.width << "x" << client.height;
}

#include "ui/dialog_layout.h"

#include <gtest/gtest.h>

using kavrel::Anchor;
using kavrel::LayoutRect;
using kavrel::LayoutSize;

TEST(DialogLayout, ListFillsExitKeepsToTheBottomAndNothingGoesBelowTheDesign) {
    constexpr LayoutSize kDesigned{626, 245};
    constexpr LayoutRect kList{11, 11, 613, 167}, kExit{402, 197, 477, 220};
    const struct {
        LayoutRect rect;
        Anchor anchor;
        LayoutSize client;
        LayoutRect placed;
    } cases[] = {
        {kList, Anchor::Fill, kDesigned, kList},
        {kList, Anchor::Fill, {826, 345}, {11, 11, 813, 267}},
        {kList, Anchor::Fill, {300, 300}, {11, 11, 613, 222}}, // only the direction that is too small is held
        {kList, Anchor::Fill, {300, 100}, kList},
        {kExit, Anchor::Bottom, {900, 345}, {402, 297, 477, 320}},
        {kExit, Anchor::Bottom, {0, 0}, kExit},
    };
    for (const auto& c : cases)
        EXPECT_EQ(kavrel::Place(c.rect, c.anchor, kDesigned, c.client), c.placed)
            << c.client.width << "x" << c.client.height;
}

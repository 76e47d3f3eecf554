// Sharing a table's length among its cells, and the table kinds in a tree.

#include <gtest/gtest.h>
#include "element_test_support.h"
#include "elements/layout_units.h"
#include "elements/table.h"

namespace {

std::vector<int> contents(const std::vector<TableSlot>& slots)
{
    std::vector<int> sizes;
    for (const TableSlot& slot : slots)
        sizes.push_back(slot.content);
    return sizes;
}

}  // namespace

TEST(TableSharing, NoRoomCollapsesEveryCell)
{
    auto slots = share_table_length({{10, 5, 20, 0}, {10, 5, 0, 1}}, 20);
    for (const TableSlot& slot : slots) {
        EXPECT_EQ(slot.start, 0);
        EXPECT_EQ(slot.length, 0);
    }
}

TEST(TableSharing, RoomToSpareKeepsNaturalSizes)
{
    auto slots = share_table_length({{30, 10, 2, 0}, {40, 40, 0, 0}}, 200);
    EXPECT_EQ(contents(slots), (std::vector<int>{30, 40}));
    EXPECT_EQ(slots[1].start, 32);
    EXPECT_EQ(slots[1].start + slots[1].length, 72);  // the rest of the row stays empty
}

TEST(TableSharing, OneRatioTakesAllTheRest)
{
    auto slots = share_table_length({{30, 30, 0, 0}, {40, 40, 0, 1}, {10, 10, 0, 0}}, 200);
    EXPECT_EQ(contents(slots), (std::vector<int>{30, 160, 10}));
    EXPECT_EQ(slots[2].start, 190);
}

TEST(TableSharing, RatiosShareByCountOfRatioCells)
{
    auto slots = share_table_length({{0, 0, 0, 1}, {0, 0, 0, 1}, {0, 0, 0, 1}}, 100);
    EXPECT_EQ(contents(slots), (std::vector<int>{33, 33, 34}));
    // A ratio above 1 takes its multiple of the count share, as the rule says.
    auto heavy = share_table_length({{0, 0, 0, 2}, {0, 0, 0, 0}}, 100);
    EXPECT_EQ(contents(heavy), (std::vector<int>{200, 0}));
}

TEST(TableSharing, GrowsFromMinimumInPasses)
{
    // 100 of room; minimums 10 + 10 + 10; the first cell can only grow by 5,
    // so what it cannot take is shared again between the other two.
    auto slots = share_table_length({{15, 10, 0, 0}, {80, 10, 0, 0}, {80, 10, 0, 0}}, 100);
    EXPECT_EQ(contents(slots), (std::vector<int>{15, 42, 43}));
    int total = 0;
    for (int size : contents(slots))
        total += size;
    EXPECT_EQ(total, 100);
}

TEST(TableSharing, TooSmallSharesInProportionToMinimums)
{
    auto slots = share_table_length({{100, 60, 0, 0}, {100, 20, 0, 0}, {100, 20, 0, 1}}, 50);
    EXPECT_EQ(contents(slots), (std::vector<int>{30, 10, 10}));
    auto bordered = share_table_length({{100, 30, 4, 0}, {100, 30, 6, 0}}, 40);
    EXPECT_EQ(contents(bordered), (std::vector<int>{15, 15}));
    EXPECT_EQ(bordered[1].start, 19);
}

TEST(RowTable, LinesVisibleChildrenUp)
{
    Element root(nullptr);
    auto* table = new RowTable(&root);
    Box* left = add_box(*table, {40, 10}, MIN_SIDE, BOTH_SIDE, {2, 0}, {0, 0});
    Box* hidden = add_box(*table, {1000, 10});
    hidden->set_visible(false);
    Box* middle = add_box(*table, {30, 10}, BOTH_SIDE, BOTH_SIDE);
    middle->set_table_ratio(1);
    Box* right = add_box(*table, {20, 10}, MAX_SIDE, BOTH_SIDE);
    EXPECT_EQ(table->measured_width().natural, 92);
    lay_out(root, {200, 50});
    EXPECT_EQ(left->x(), 2);
    EXPECT_EQ(left->width(), 40);
    EXPECT_EQ(middle->x(), 42);
    EXPECT_EQ(middle->width(), 138);
    EXPECT_EQ(right->x(), 180);
    EXPECT_EQ(right->height(), 50);
}

TEST(RowTable, DesignSizeRaisesOnlyTheNaturalWidth)
{
    Element root(nullptr);
    auto* table = new RowTable(&root);
    table->set_design_size({300, 0});
    new Box(table, {40, 10}, {10, 10});
    new Box(table, {20, 10});
    EXPECT_EQ(table->measured_width().natural, 300);
    EXPECT_EQ(table->measured_width().minimum, 30);
}

TEST(ColumnTable, StacksChildrenAndMeasuresTheirSum)
{
    Element root(nullptr);
    auto* table = new ColumnTable(&root);
    table->set_anchors(BOTH_SIDE, MIN_SIDE);
    Box* top = add_box(*table, {10, 20});
    Box* bottom = add_box(*table, {10, 30});
    EXPECT_EQ(table->measured_height().natural, 50);
    lay_out(root, {100, 200});
    EXPECT_EQ(table->height(), 50);
    EXPECT_EQ(top->y(), 0);
    EXPECT_EQ(bottom->y(), 20);
    EXPECT_EQ(bottom->height(), 30);
}

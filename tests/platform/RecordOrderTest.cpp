// RecordOrder against a plain vector under random edits large enough to split and drop blocks.
#include "platform/RecordOrder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using kvx::RecordOrder;

namespace {

void expectSame(const RecordOrder& o, const std::vector<int>& model) {
    ASSERT_EQ(o.size(), int(model.size()));
    EXPECT_EQ(o.toVector(), model);
    for (int pos = 0; pos < int(model.size()); ++pos) // forward walk, then random positions
        ASSERT_EQ(o.at(pos), model[size_t(pos)]) << pos;
    for (size_t i = 0; i < model.size(); i += 37) {
        const int pos = int((i * 7919) % model.size());
        ASSERT_EQ(o.at(pos), model[size_t(pos)]);
        ASSERT_EQ(o.positionOf(model[size_t(pos)]), pos);
    }
}

} // namespace

TEST(RecordOrder, RandomEditsMatchAVector) {
    std::mt19937 rng(27);
    RecordOrder o;
    std::vector<int> model;
    int nextId = 0;
    for (int round = 0; round < 6; ++round) {
        const bool growing = round % 2 == 0;
        for (int i = 0; i < 4000; ++i) {
            const bool insert = model.empty() || (rng() % 100) < (growing ? 75u : 25u);
            if (insert) {
                const int pos = int(rng() % (model.size() + 1));
                o.insert(pos, nextId);
                model.insert(model.begin() + pos, nextId++);
            } else {
                const int pos = int(rng() % model.size());
                EXPECT_TRUE(o.contains(model[size_t(pos)]));
                o.erase(pos);
                EXPECT_FALSE(o.contains(model[size_t(pos)]));
                model.erase(model.begin() + pos);
            }
            if (i % 500 == 0) {
                ASSERT_EQ(o.at(int(model.size()) / 2), model[model.size() / 2]);
            }
        }
        expectSame(o, model);
    }
    EXPECT_EQ(o.positionOf(nextId + 5), -1);
    EXPECT_EQ(o.positionOf(-1), -1);
}

TEST(RecordOrder, AppendingEmptyingFromBothEndsAndReassigning) {
    RecordOrder o;
    std::vector<int> model;
    for (int i = 0; i < 3000; ++i) {
        o.push_back(i);
        model.push_back(i);
        ASSERT_EQ(o.at(i), i); // the walk reads each record right after it arrives
    }
    expectSame(o, model);
    // Front deletes leave the cached block behind; back deletes shrink the last one.
    while (o.size() > 1000) {
        ASSERT_EQ(o.at(0), model.front());
        o.erase(0);
        model.erase(model.begin());
        o.erase(o.size() - 1);
        model.pop_back();
    }
    expectSame(o, model);
    while (!o.empty())
        o.erase(0);
    EXPECT_EQ(o.positionOf(model.front()), -1);
    o.insert(0, 42); // an emptied sequence takes records again
    EXPECT_EQ(o.toVector(), std::vector<int>{42});

    std::vector<int> shuffled(2000);
    for (int i = 0; i < 2000; ++i)
        shuffled[size_t(i)] = 1999 - i;
    o.assign(shuffled);
    EXPECT_EQ(o.positionOf(42), 1999 - 42);
    expectSame(o, shuffled);
    o.insert(700, 5000);
    shuffled.insert(shuffled.begin() + 700, 5000);
    expectSame(o, shuffled);
    EXPECT_EQ(o.partitionPoint([](int id) { return id >= 1300 && id != 5000; }), 700);
    o.clear();
    EXPECT_TRUE(o.empty());
    EXPECT_FALSE(o.contains(5));
}

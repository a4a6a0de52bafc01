// RecordOrder against a plain vector under random edits large enough to split and drop blocks; the
// chunked RecordStore.
#include "platform/RecordOrder.h"
#include "platform/RecordStore.h"

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

TEST(RecordOrder, SearchingOnFromAKnownPlaceFindsWhatTheFullSearchFinds) {
    // Records 0..n-1 hold keys with runs of duplicates; the sequence is in key order.
    std::mt19937 rng(5);
    const int n = 6000;
    std::vector<int> key(n);
    for (int i = 0, k = 0; i < n; ++i) {
        if (rng() % 4 == 0) k += int(rng() % 3000); // some jumps longer than a block
        key[size_t(i)] = k;
    }
    RecordOrder o;
    std::vector<int> ids(n);
    for (int i = 0; i < n; ++i)
        ids[size_t(i)] = i;
    o.assign(ids);
    for (int probe = 0; probe < 3000; ++probe) {
        const int k = int(rng() % (key.back() + 2));
        auto before = [&](int id) { return key[size_t(id)] <= k; };
        const int answer = o.partitionPoint(before);
        ASSERT_EQ(answer, int(std::upper_bound(key.begin(), key.end(), k) - key.begin()));
        const int from = answer == 0 ? 0 : int(rng() % size_t(answer + 1)); // anywhere in [0, answer]
        ASSERT_EQ(o.partitionPointFrom(from, before), answer) << "from " << from << " key " << k;
        ASSERT_EQ(o.partitionPointFrom(answer, before), answer);
    }
    EXPECT_EQ(o.partitionPointFrom(n, [](int) { return true; }), n);
    EXPECT_EQ(o.partitionPointFrom(0, [](int) { return false; }), 0);
}

TEST(RecordStore, ChunksKeepNumbersAndOriginalsOnlyWhereChanged) {
    kvx::RecordStore s;
    for (int i = 0; i < 2500; ++i) // three chunks, the last one partly filled
        ASSERT_EQ(s.append(kvx::Row{i}), i);
    EXPECT_EQ(s.size(), 2500);
    for (int id : {0, 1023, 1024, 2047, 2048, 2499})
        EXPECT_EQ(s[id].values.at(0).toInt(), id);
    const size_t unchanged = s.footprint();
    EXPECT_LT(unchanged, size_t(2500 + 1024) * 40) << "no room for originals before a change";

    s.setOriginal(1500, kvx::Row{-1500});
    s[1500].values[0] = 7;
    EXPECT_TRUE(s.hasOriginal(1500));
    EXPECT_EQ(s.original(1500).at(0).toInt(), -1500);
    EXPECT_FALSE(s.hasOriginal(1499)); // same chunk, unchanged
    EXPECT_FALSE(s.hasOriginal(100));  // other chunk
    EXPECT_TRUE(s.original(100).isEmpty());
    EXPECT_GT(s.footprint(), unchanged);
    s.dropOriginal(1500);
    s.dropOriginal(10); // a chunk that never kept one
    EXPECT_FALSE(s.hasOriginal(1500));
    EXPECT_EQ(s[1500].values.at(0).toInt(), 7);

    // Clearing keeps one chunk for the next records, with no trace of the old ones.
    s.setOriginal(3, kvx::Row{-3});
    s[3].deleted = true;
    s.clear();
    EXPECT_TRUE(s.empty());
    EXPECT_LT(s.footprint(), unchanged / 2);
    EXPECT_GT(s.footprint(), 0u);
    EXPECT_EQ(s.append(kvx::Row{5}, kvx::UpdateStatus::Inserted), 0);
    EXPECT_EQ(s[0].status, kvx::UpdateStatus::Inserted);
    for (int i = 1; i <= 3; ++i)
        s.append(kvx::Row{i});
    EXPECT_FALSE(s.hasOriginal(3));
    EXPECT_FALSE(s[3].deleted);
    EXPECT_EQ(s[3].status, kvx::UpdateStatus::Unmodified);
    s.release();
    EXPECT_EQ(s.footprint(), 0u);
    EXPECT_EQ(s.append(kvx::Row{9}), 0);
}

// RecordOrder: a sequence of record numbers with cheap edits anywhere and cheap reverse look-up.
//
// The sequence is cut into blocks of at most a few hundred entries; a Fenwick tree over the block sizes
// finds the block of a position in O(log blocks), and each record remembers its block, so the position
// of a record costs one block scan. Inserting or erasing touches one block; splitting a full block or
// dropping an empty one rebuilds the tree (O(blocks), once per hundreds of edits). Reading positions in
// sequence stays on a cached block and costs O(1).
#pragma once

#include <cstddef>
#include <vector>

namespace kvx {

class RecordOrder {
public:
    int size() const { return size_; }
    bool empty() const { return size_ == 0; }
    int at(int pos) const; // the record at `pos`; pos must be in [0, size)
    int operator[](int pos) const { return at(pos); }
    int positionOf(int id) const; // -1 when the record is not in the sequence
    bool contains(int id) const { return id >= 0 && id < int(blockOf_.size()) && blockOf_[size_t(id)] >= 0; }

    void insert(int pos, int id); // pos in [0, size]; a record appears at most once
    void erase(int pos);
    void push_back(int id) { insert(size_, id); }
    void clear();
    void assign(const std::vector<int>& ids);
    std::vector<int> toVector() const;
    template <class F> void forEach(F f) const {
        for (const Block& b : blocks_)
            for (int id : b.ids)
                f(id);
    }

    // First position whose record is not before the probe (`before(id)` true for a prefix). Searches the
    // blocks by their first records, then one block: O(log n) probes and no position look-ups.
    template <class Before> int partitionPoint(Before before) const {
        size_t lo = 0, hi = blocks_.size(); // blocks whose first record is before the probe: [0, lo)
        while (lo < hi) {
            const size_t mid = lo + (hi - lo) / 2;
            if (!blocks_[mid].ids.empty() && before(blocks_[mid].ids.front()))
                lo = mid + 1;
            else
                hi = mid;
        }
        if (lo == 0) return 0;
        const std::vector<int>& ids = blocks_[lo - 1].ids;
        size_t a = 1, b = ids.size();
        while (a < b) {
            const size_t mid = a + (b - a) / 2;
            if (before(ids[mid]))
                a = mid + 1;
            else
                b = mid;
        }
        return prefix(int(lo) - 1) + int(a);
    }

    // The same answer when it is known to be at or after `from` (every record before `from` is before
    // the probe): gallops from `from`, so a run of sorted inserts costs O(log distance) probes each,
    // near records already in cache; far answers fall back to the search above.
    template <class Before> int partitionPointFrom(int from, Before before) const {
        int lo = from, hi = from, step = 1;
        while (hi < size_ && before(at(hi))) {
            lo = hi + 1;
            if (step > kMaxBlock) return partitionPoint(before);
            hi = lo + step - 1;
            step *= 2;
        }
        hi = hi < size_ ? hi : size_; // the answer lies in [lo, hi]
        while (lo < hi) {
            const int mid = lo + (hi - lo) / 2;
            if (before(at(mid)))
                lo = mid + 1;
            else
                hi = mid;
        }
        return lo;
    }

private:
    static constexpr int kMaxBlock = 512;
    struct Block {
        std::vector<int> ids;
        int uid = 0;
    };

    int findBlock(int pos, int* start) const; // block holding pos (pos == size_: the last block)
    void rebuild();                           // tree and block ranks after blocks were added or dropped
    void fenwickAdd(int block, int delta);
    int prefix(int block) const; // entries before `block`
    void track(int id, int uid);

    std::vector<Block> blocks_;
    std::vector<int> tree_;    // Fenwick tree over block sizes (1-based)
    std::vector<int> rankOf_;  // block uid -> index in blocks_
    std::vector<int> blockOf_; // record -> block uid, -1 when absent
    int size_ = 0;
    int nextUid_ = 0;
    mutable int cacheBlock_ = -1, cacheStart_ = 0;
};

} // namespace kvx

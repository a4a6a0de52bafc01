#include "RecordOrder.h"

#include <algorithm>
#include <cassert>

namespace kvx {

void RecordOrder::clear() {
    blocks_.clear();
    tree_.clear();
    rankOf_.clear();
    blockOf_.clear();
    size_ = 0;
    nextUid_ = 0;
    cacheBlock_ = -1;
}

void RecordOrder::assign(const std::vector<int>& ids) {
    clear();
    for (size_t from = 0; from < ids.size(); from += kMaxBlock) {
        Block b;
        b.uid = nextUid_++;
        const size_t to = std::min(ids.size(), from + kMaxBlock);
        b.ids.assign(ids.begin() + long(from), ids.begin() + long(to));
        for (int id : b.ids)
            track(id, b.uid);
        blocks_.push_back(std::move(b));
    }
    size_ = int(ids.size());
    rebuild();
}

std::vector<int> RecordOrder::toVector() const {
    std::vector<int> out;
    out.reserve(size_t(size_));
    for (const Block& b : blocks_)
        out.insert(out.end(), b.ids.begin(), b.ids.end());
    return out;
}

void RecordOrder::track(int id, int uid) {
    assert(id >= 0);
    if (size_t(id) >= blockOf_.size()) blockOf_.resize(std::max(size_t(id) + 1, blockOf_.size() * 2), -1);
    blockOf_[size_t(id)] = uid;
}

void RecordOrder::rebuild() {
    rankOf_.assign(size_t(nextUid_), -1);
    const int n = int(blocks_.size());
    tree_.assign(size_t(n) + 1, 0);
    for (int i = 1; i <= n; ++i) {
        rankOf_[size_t(blocks_[size_t(i - 1)].uid)] = i - 1;
        tree_[size_t(i)] += int(blocks_[size_t(i - 1)].ids.size());
        const int j = i + (i & -i);
        if (j <= n) tree_[size_t(j)] += tree_[size_t(i)];
    }
    cacheBlock_ = -1;
}

void RecordOrder::fenwickAdd(int block, int delta) {
    for (int i = block + 1; i < int(tree_.size()); i += i & -i)
        tree_[size_t(i)] += delta;
}

int RecordOrder::prefix(int block) const {
    int sum = 0;
    for (int i = block; i > 0; i -= i & -i)
        sum += tree_[size_t(i)];
    return sum;
}

int RecordOrder::findBlock(int pos, int* start) const {
    const int n = int(blocks_.size());
    if (pos >= size_) {
        *start = size_ - int(blocks_.back().ids.size());
        return n - 1;
    }
    int idx = 0, rem = pos;
    int step = 1;
    while (step * 2 <= n)
        step *= 2;
    for (; step > 0; step /= 2) {
        const int next = idx + step;
        if (next <= n && tree_[size_t(next)] <= rem) {
            idx = next;
            rem -= tree_[size_t(next)];
        }
    }
    *start = pos - rem;
    return idx;
}

int RecordOrder::at(int pos) const {
    assert(pos >= 0 && pos < size_);
    if (cacheBlock_ >= 0) {
        const Block& b = blocks_[size_t(cacheBlock_)];
        const int off = pos - cacheStart_;
        if (off >= 0 && off < int(b.ids.size())) return b.ids[size_t(off)];
        // The next block, as a forward walk reaches it.
        if (off == int(b.ids.size()) && cacheBlock_ + 1 < int(blocks_.size()) &&
            !blocks_[size_t(cacheBlock_) + 1].ids.empty()) {
            cacheStart_ += int(b.ids.size());
            ++cacheBlock_;
            return blocks_[size_t(cacheBlock_)].ids[0];
        }
    }
    int start = 0;
    const int b = findBlock(pos, &start);
    cacheBlock_ = b;
    cacheStart_ = start;
    return blocks_[size_t(b)].ids[size_t(pos - start)];
}

int RecordOrder::positionOf(int id) const {
    if (!contains(id)) return -1;
    const int b = rankOf_[size_t(blockOf_[size_t(id)])];
    const std::vector<int>& ids = blocks_[size_t(b)].ids;
    const auto it = std::find(ids.begin(), ids.end(), id);
    return prefix(b) + int(it - ids.begin());
}

void RecordOrder::insert(int pos, int id) {
    assert(pos >= 0 && pos <= size_ && !contains(id));
    if (blocks_.empty()) {
        blocks_.push_back(Block{{}, nextUid_++});
        rebuild();
    }
    int start = 0;
    int b = findBlock(pos, &start);
    if (pos == size_ && int(blocks_[size_t(b)].ids.size()) >= kMaxBlock) {
        // Appending to a full last block opens a new one; the tree grows by one node.
        blocks_.push_back(Block{{}, nextUid_++});
        blocks_.back().ids.reserve(kMaxBlock); // a growing sequence fills it: no doubling copies
        rankOf_.resize(size_t(nextUid_), -1);
        rankOf_[size_t(blocks_.back().uid)] = int(blocks_.size()) - 1;
        const int i = int(blocks_.size());
        tree_.push_back(prefix(i - 1) - prefix(i - (i & -i)));
        b = i - 1;
        start = size_;
    }
    Block& blk = blocks_[size_t(b)];
    blk.ids.insert(blk.ids.begin() + (pos - start), id);
    track(id, blk.uid);
    ++size_;
    fenwickAdd(b, 1);
    if (cacheBlock_ > b) ++cacheStart_;
    if (int(blk.ids.size()) > kMaxBlock) {
        Block upper;
        upper.uid = nextUid_++;
        const size_t half = blk.ids.size() / 2;
        upper.ids.assign(blk.ids.begin() + long(half), blk.ids.end());
        blk.ids.resize(half);
        for (int moved : upper.ids)
            blockOf_[size_t(moved)] = upper.uid;
        blocks_.insert(blocks_.begin() + b + 1, std::move(upper));
        rebuild();
    }
}

void RecordOrder::erase(int pos) {
    assert(pos >= 0 && pos < size_);
    int start = 0;
    const int b = findBlock(pos, &start);
    Block& blk = blocks_[size_t(b)];
    blockOf_[size_t(blk.ids[size_t(pos - start)])] = -1;
    blk.ids.erase(blk.ids.begin() + (pos - start));
    --size_;
    fenwickAdd(b, -1);
    if (cacheBlock_ > b) --cacheStart_;
    if (blk.ids.empty() && blocks_.size() > 1) {
        blocks_.erase(blocks_.begin() + b);
        rebuild();
    }
}

} // namespace kvx

#include "RecordStore.h"

#include <algorithm>

namespace kvx {

namespace {
const Row kNoRow;
}

int RecordStore::append(Row values, UpdateStatus status) {
    // Default-initialised: each record is constructed once, without zeroing the chunk first.
    if (size_t(size_) == chunks_.size() * kChunk) chunks_.push_back(std::unique_ptr<Chunk>(new Chunk));
    Record& r = (*this)[size_];
    r.values = std::move(values);
    r.status = status;
    return size_++;
}

void RecordStore::clear() {
    if (chunks_.empty()) return;
    // The first chunk stays for the next records: a nested detail reloads on every scroll of its master.
    chunks_.resize(1);
    Chunk& first = *chunks_[0];
    for (size_t i = 0; i < std::min(size_t(size_), kChunk); ++i)
        first.records[i] = Record();
    first.originals.reset();
    size_ = 0;
}

void RecordStore::release() {
    chunks_.clear();
    chunks_.shrink_to_fit();
    size_ = 0;
}

const Row& RecordStore::original(int id) const {
    const Chunk& c = *chunks_[size_t(id) >> kShift];
    return c.originals ? c.originals[size_t(id) & kMask] : kNoRow;
}

void RecordStore::setOriginal(int id, Row values) {
    Chunk& c = *chunks_[size_t(id) >> kShift];
    if (!c.originals) c.originals = std::make_unique<Row[]>(kChunk);
    c.originals[size_t(id) & kMask] = std::move(values);
}

void RecordStore::dropOriginal(int id) {
    Chunk& c = *chunks_[size_t(id) >> kShift];
    if (c.originals) c.originals[size_t(id) & kMask] = Row();
}

size_t RecordStore::footprint() const {
    size_t bytes = chunks_.capacity() * sizeof(chunks_[0]);
    for (const auto& c : chunks_)
        bytes += sizeof(Chunk) + (c->originals ? kChunk * sizeof(Row) : 0);
    return bytes;
}

} // namespace kvx

// RecordStore: the records of a client dataset by record number.
//
// Records live in fixed chunks, so appending never moves what is stored (no doubling copies, no peak of
// old plus new array) and each new chunk touches fresh memory once. A record is its row, its update
// status and two flags; the row as fetched, kept while a record is changed or deleted, lives in a
// parallel array that a chunk allocates only when one of its records is first changed, so an unchanged
// table carries no room for originals.
#pragma once

#include "DataPacket.h"

#include <memory>
#include <vector>

namespace kvx {

class RecordStore {
public:
    struct Record {
        Row values;
        UpdateStatus status = UpdateStatus::Unmodified;
        bool deleted = false; // gone from view; kept for the change log until applied
        bool purged = false;  // gone for good (an inserted record deleted, or an applied delete)
    };

    int size() const { return size_; }
    bool empty() const { return size_ == 0; }
    Record& operator[](int id) { return chunks_[size_t(id) >> kShift]->records[size_t(id) & kMask]; }
    const Record& operator[](int id) const {
        return chunks_[size_t(id) >> kShift]->records[size_t(id) & kMask];
    }
    Record& back() { return (*this)[size_ - 1]; }

    // Appends a record and returns its number.
    int append(Row values, UpdateStatus status = UpdateStatus::Unmodified);
    void clear();   // keeps the first chunk's memory
    void release(); // frees everything

    // The row as fetched of a changed or deleted record; empty when none is kept.
    const Row& original(int id) const;
    bool hasOriginal(int id) const { return !original(id).isEmpty(); }
    void setOriginal(int id, Row values);
    void dropOriginal(int id);

    // Heap bytes held by the store itself (rows not counted): chunk tables and record slots.
    size_t footprint() const;

private:
    static constexpr int kShift = 10;
    static constexpr size_t kChunk = size_t(1) << kShift;
    static constexpr size_t kMask = kChunk - 1;
    struct Chunk {
        Record records[kChunk];
        std::unique_ptr<Row[]> originals; // allocated with the chunk's first change
    };

    std::vector<std::unique_ptr<Chunk>> chunks_;
    int size_ = 0;
};

} // namespace kvx

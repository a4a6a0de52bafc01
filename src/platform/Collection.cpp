#include "platform/Collection.h"

namespace kvx {

TCollectionItem::TCollectionItem(TCollection* owner) : QObject(owner), collection_(owner) {}

int TCollectionItem::Index() const {
    return collection_ ? collection_->IndexOf(this) : -1;
}

void TCollectionItem::setIndex(int index) {
    if (collection_) collection_->Move(Index(), index);
}

void TCollectionItem::notifyChanged() {
    if (collection_) emit collection_->itemChanged(Index());
}

TCollection::TCollection(Factory factory, QObject* parent) : QObject(parent), factory_(std::move(factory)) {}

TCollection::~TCollection() {
    qDeleteAll(std::exchange(items_, {}));
}

TCollectionItem* TCollection::Item(int index) const {
    return index >= 0 && index < items_.size() ? items_[index] : nullptr;
}

TCollectionItem* TCollection::Add() {
    TCollectionItem* item = factory_ ? factory_(this) : new TCollectionItem(this);
    item->setParent(this);
    items_.append(item);
    emit changed();
    return item;
}

void TCollection::Delete(int index) {
    if (index < 0 || index >= items_.size()) return;
    delete items_.takeAt(index);
    emit changed();
}

void TCollection::Clear() {
    if (items_.isEmpty()) return;
    const auto old = std::exchange(items_, {});
    qDeleteAll(old);
    emit changed();
}

void TCollection::Move(int from, int to) {
    if (from < 0 || from >= items_.size()) return;
    to = qBound(0, to, int(items_.size()) - 1);
    if (from == to) return;
    items_.move(from, to);
    emit changed();
}

} // namespace kvx

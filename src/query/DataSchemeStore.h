// TdmSchemeStore: the saved query schemes of a window kept by its radical data module (cdsSaveCondition
// and the saved-condition calls of the program's application server), seen as a TQBESchemeStore.
#pragma once

#include "QBESchemes.h"

namespace kvx {

class TdmRadical;

class TdmSchemeStore : public TQBESchemeStore {
public:
    explicit TdmSchemeStore(TdmRadical* dataModule) : dm_(dataModule) {}

    QString UserID() const override;
    QString Load(QList<TQBEScheme>& schemes) override;
    QString Insert(const QString& name, const QString& text, int activePage, bool replace) override;
    QString Delete(const QString& name) override;
    QString Rename(const QString& oldName, const QString& newName) override;
    bool Exists(const QString& name) override;
    std::optional<TQBEScheme> Find(const QString& name, const QString& creator) override;
    QString Share(const QString& name, bool shared) override;
    QString SetDefault(const QString& name, bool isDefault) override;

private:
    TdmRadical* dm_;
    TQBEScheme current() const;
};

} // namespace kvx

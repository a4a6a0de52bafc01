// Saved query schemes: the text a scheme is kept in, and what the query dialog needs to keep schemes on
// the server. The text of the general page is the row limit, code 7, then per grid row its four cells
// joined by CR LF and closed by code 8; the text of the advanced and detail pages is the row limit,
// code 7, then the condition memo, the sort list, the detail flag and the detail memo separated by
// code 3. The codec is free of widgets so that both directions are tested on plain values.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace kvx {

namespace qbe {

inline constexpr QChar kSchemeRowLimitEnd = QChar(7);
inline constexpr QChar kSchemeItemEnd = QChar(8);
inline constexpr QChar kSchemeFieldEnd = QChar(3);

// One row of the general grid: field caption, operator display text, value, connector.
struct SchemeGridRow {
    QString field, op, value, connector;
    bool operator==(const SchemeGridRow&) const = default;
};

struct SchemeSortItem {
    QString item; // "label\tname" as listed on the advanced page
    bool descending = false;
    bool operator==(const SchemeSortItem&) const = default;
};

struct GridScheme {
    QString rowLimit;
    QList<SchemeGridRow> rows;
};

struct AdvancedScheme {
    QString rowLimit;
    QString memo;
    QList<SchemeSortItem> sort;
    bool detail = false;
    QString detailMemo;
};

using SchemeConvert = std::function<QString(const QString&)>;

// Rows whose field and value are both blank are left out. The separator codes are removed from the
// texts, so that no cell can cut the scheme apart when it is read back.
QString encodeGridScheme(const QString& rowLimit, const QList<SchemeGridRow>& rows);
// Pieces are cut at code 8 and then into their four lines; each cell is trimmed and converted. An
// empty text after code 7 gives no rows.
GridScheme decodeGridScheme(const QString& text, const SchemeConvert& convert = {});

QString encodeAdvancedScheme(const AdvancedScheme& scheme);
// Sort items are cut at code 8 before the descending flag is looked for after the tab, so items holding
// a tab themselves decode whole.
AdvancedScheme decodeAdvancedScheme(const QString& text, const SchemeConvert& convert = {});

} // namespace qbe

// One saved scheme as the dialog lists it.
struct TQBEScheme {
    QString name;           // as the server holds it (database code page)
    QString creator;        // the owner's user id
    QString createDate;     // "YYYYMMDD"
    QString text;           // encoded scheme text (database code page)
    int activePage = 0;     // 0 general, 1 advanced, 2 detail
    bool shared = false;    // the owner shares it with his group
    bool isDefault = false; // the owner's default scheme of this program
};

// The saved-condition side of the window's data module. Every answer text is empty on success and the
// server's reason otherwise; names and texts travel as the server holds them.
class TQBESchemeStore {
public:
    virtual ~TQBESchemeStore() = default;
    virtual QString UserID() const = 0;
    // Prepares and re-reads the user's schemes of this program (his own and those shared with his group).
    virtual QString Load(QList<TQBEScheme>& schemes) = 0;
    virtual QString Insert(const QString& name, const QString& text, int activePage, bool replace) = 0;
    virtual QString Delete(const QString& name) = 0;
    virtual QString Rename(const QString& oldName, const QString& newName) = 0;
    // Whether the user has a scheme of that name for this program.
    virtual bool Exists(const QString& name) = 0;
    // The loaded scheme of that name and owner.
    virtual std::optional<TQBEScheme> Find(const QString& name, const QString& creator) = 0;
    virtual QString Share(const QString& name, bool shared) = 0;
    virtual QString SetDefault(const QString& name, bool isDefault) = 0;
};

// The window's menu of saved schemes, as the query dialog keeps it current: rebuilt after every save,
// delete, share and default change, one item renamed after a rename.
class TQBESchemeMenu {
public:
    virtual ~TQBESchemeMenu() = default;
    virtual void SchemeMenuRebuild() = 0;
    // Renames the first menu item whose caption equals oldCaption.
    virtual void SchemeMenuRename(const QString& oldCaption, const QString& newCaption) = 0;
};

} // namespace kvx

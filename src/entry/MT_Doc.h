// TMT_Doc: a company's screen settings for one program (the `MT_User` document from the application
// server), applied to a window's components, to grid columns and to new records.
//
// The document is read-only here. Text that is not well-formed (or has no document element) leaves the
// empty document in place, so a window either gets all of a document or none of it. Element names are
// property names matched exactly; a name the component does not publish is skipped. Every text read
// for the interface goes through the attached code converter.
#pragma once

#include <QByteArray>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <pugixml.hpp>
#include <stdexcept>

#include "lang/CodeConverter.h"

namespace kvx {

class TFDBGrid;

// A failure of the document model while applying or selecting (an invalid XPath, say).
class EMTDocError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TMT_Doc {
public:
    // The text used when the server has no document or its text cannot be loaded.
    static const char* const kEmptyDocument;

    // Create: the empty document.
    TMT_Doc();
    // CreateFromXml: the empty document, then `xml` in its place when it loads.
    static std::unique_ptr<TMT_Doc> CreateFromXml(const QString& xml);
    static std::unique_ptr<TMT_Doc> CreateFromXml(const QByteArray& xml);

    // Loads the text and sets Root and ComponentsNode (creating `Components` when missing). A text that
    // does not load leaves the empty document and returns false.
    bool LoadXml(const QString& xml);
    // Bytes as the server or a file holds them: documents declared GB2312/GBK/Big5 are decoded first.
    bool LoadXml(const QByteArray& xml);

    const pugi::xml_document& Document() const { return document_; }
    pugi::xml_node Root() const { return root_; }
    pugi::xml_node ComponentsNode() const { return components_; }
    // True while the document holds no settings at all (the empty document, or one like it).
    bool IsEmpty() const;

    // Not owned; texts read for the interface are converted through it (unchanged while none is set).
    TCodeConverter* Converter() const { return converter_; }
    void SetConverter(TCodeConverter* converter) { converter_ = converter; }

    // Texts shown to the user (DisplayLabel, Caption, Hint) pass through it after the conversion: given the
    // document's text and its conversion it returns the text to set, or nothing to keep the component's
    // own (translated) text. Without one the converted text is set.
    using TextTranslator =
        std::function<std::optional<QString>(const QString& text, const QString& converted)>;
    void SetTextTranslator(TextTranslator translator) { translator_ = std::move(translator); }
    // Whether an element of that name holds a text shown to the user.
    static bool IsDisplayText(const QString& name);

    // Applies the settings of `Components` to the window (by component name; the window's own name
    // addresses the window).
    void ApplyToForm(QWidget* form);
    // Default texts (`DEFAULTTEXT`) of visible data-aware combo boxes, written into their data fields
    // while the dataset is being edited or inserted.
    void ApplyDefaults(QWidget* form);
    // Field settings of the grid's element (named like the grid), then the column order by `Index` text.
    void ApplyToGrid(TFDBGrid* grid);

    QString GetComponentValue(const QString& componentID, const QString& name) const;
    void GetFieldValue(const QString& gridPath, const QString& fieldID, QString& value,
                       const QString& name) const;
    // For every node the XPath selects from the root: the last five characters of its ID, joined by ",".
    QString ListIDs(const QString& xpath) const;

    // One setting on one component: the special elements, else the published property of that exact
    // name set by the screen-settings rules; anything else is left alone.
    void SetProperty(QObject* component, const QString& name, const QString& value);

    // The element `elementName` under parent whose ID attribute is `id` (any characters, quotes included).
    static pugi::xml_node SelectById(pugi::xml_node parent, const QString& elementName, const QString& id);

private:
    void loadEmpty();
    bool adopt(pugi::xml_document& parsed, const QString& error);
    QString convertUI(const QString& text) const;
    // The value of a setting for the interface; nothing when the component keeps its own text.
    std::optional<QString> uiValue(const QString& name, const QString& text) const;
    QObject* findComponent(QWidget* form, const QString& id) const;
    void moveToParent(QWidget* control, const QString& value) const;

    pugi::xml_document document_;
    pugi::xml_node root_;
    pugi::xml_node components_;
    QPointer<TCodeConverter> converter_;
    TextTranslator translator_;
    QPointer<QWidget> form_; // the window being applied to
};

} // namespace kvx

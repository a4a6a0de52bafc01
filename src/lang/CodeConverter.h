// TCodeConverter: knows the system, UI and database code pages, derives the conversion kinds from them,
// converts strings and variant arrays between GB and Big5, converts every text of a window, applies the
// font rule and shows message dialogs in the UI font. Each language-aware window owns one.
//
// Kinds (one numbering for UI and data): 0 none, 1 Big5 to GB, 2 GB to Big5, 3 and 4 none; fonts: "SimSun"
// with character set 134 (GB2312) for 0, 1 and 4, 136 (Big5) for 2 and 3. Qt fonts carry no character set:
// the set chosen is recorded on the component as the dynamic property "FontCharset".
//
// Texts are Unicode; a conversion encodes them in the source code page, runs the library and decodes the
// result (so GB to Big5 turns Simplified into Traditional script).
#pragma once

#include "CodePageSettings.h"
#include "Translator.h"
#include "platform/DialogService.h"
#include "platform/Variant.h"

#include <QFont>
#include <QObject>
#include <QStringList>
#include <memory>
#include <optional>

class QWidget;

class TCodeConverter : public QObject {
    Q_OBJECT
    Q_PROPERTY(TDesignType DesignType READ designType WRITE setDesignType)

public:
    enum TDesignType { dtClient, dtServer };
    Q_ENUM(TDesignType)

    struct UIFont {
        QString name;
        int charset;
    };

    // The client (dtClient) or server code pages of the settings that kvx::readSettings() gives; loads the
    // library when the UI kind is not 0. Raises kvx::lang::ConverterError when the library or an entry
    // point is missing.
    explicit TCodeConverter(QObject* owner = nullptr, TDesignType designType = dtClient);
    // The same on settings handed down.
    TCodeConverter(const kvx::Settings& settings, QObject* owner, TDesignType designType = dtClient);
    // Explicit settings; the library is loaded (by name) when the UI kind is not 0.
    explicit TCodeConverter(const kvx::lang::CodePageSettings& settings, QObject* owner = nullptr);
    // Explicit settings and translator (may be null: no conversions).
    TCodeConverter(const kvx::lang::CodePageSettings& settings, std::unique_ptr<TTranslator> translator,
                   QObject* owner = nullptr);
    ~TCodeConverter() override;

    TDesignType designType() const { return designType_; }
    // Changing the design type takes the code pages of the other side of the settings.
    void setDesignType(TDesignType t);
    // New settings: the code pages of the current design type; the library is loaded or dropped.
    void setSettings(const kvx::Settings& settings);
    const kvx::Settings& settings() const { return all_; }
    const kvx::lang::CodePageSettings& codePages() const { return settings_; }

    QString SysCodePage() const { return kvx::codePageText(settings_.sys); }
    QString UICodePage() const { return kvx::codePageText(settings_.ui); }
    QString DBCodePage() const { return kvx::codePageText(settings_.db); }
    int UILangMode() const { return int(settings_.uiLangMode); }
    int DataConvMode() const { return int(settings_.dataConvMode); }
    TTranslator* Translator() const { return translator_.get(); }
    const QStringList& Exclusions() const { return exclusions_; }

    // Strings and arrays: kind 1 Big5 to GB, kind 2 GB to Big5, otherwise a copy.
    kvx::Variant StrTransCode(int kind, const kvx::Variant& value) const;
    kvx::Variant ConvertDataString(const kvx::Variant& value) const;
    kvx::Variant ConvertUIString(const kvx::Variant& value) const;
    // The reverse directions; never raise (the value is returned unchanged on any error).
    kvx::Variant RecoverDataString(const kvx::Variant& value) const;
    kvx::Variant RecoverUIString(const kvx::Variant& value) const;
    QString Big5ToGB(const QString& text) const;
    QString GBToBig5(const QString& text) const;

    static std::optional<UIFont> fontRule(int kind);
    // Applies the font rule to a font (kinds outside 0..4 leave it alone); false when nothing was applied.
    static bool SetUIFont(int kind, QFont& font);

    // Per-property conversions over the component's properties by name (nothing when absent).
    void SetObjectCaption(QObject* c, int kind) const;
    void SetObjectHint(QObject* c, int kind) const;
    void SetObjectFont(QObject* c, int kind) const;
    void SetObjectTitleFont(QObject* c, int kind) const;
    void SetObjectItems(QObject* c, int kind) const;
    void SetObjectLines(QObject* c, int kind) const;
    void SetObjectText(QObject* c, int kind) const;
    void SetObjectStyle(QObject* c, int kind) const;
    void SetObjectPanels(QObject* c, int kind) const;

    // On a Big5 system the form's caption is converted GB to Big5.
    void SetFormCaption(QWidget* form) const;
    // Converts every text of a window; a non-empty `exclusions` applies the exclusion list.
    void DoTranslate(QWidget* form, const QString& exclusions, bool deep);
    // Builds the exclusion list from `list` (names, or arrays of a name and property names) and translates.
    void DoTranslateOptional(QWidget* form, const kvx::Variant& list, bool deep);

    // A message dialog in the UI font, captioned like the owning window; returns the modal result.
    int MessageDlg(const QString& text, kvx::MsgDlgType type, kvx::MsgDlgButtons buttons) const;

private:
    TDesignType designType_ = dtClient;
    kvx::Settings all_;
    kvx::lang::CodePageSettings settings_;
    std::unique_ptr<TTranslator> translator_;
    QStringList exclusions_;
    QString pendingEntry_;

    void applySettings();
    QString convert(int kind, const QString& text) const;
    void convertStringProperty(QObject* c, const char* name, int kind) const;
    void applyFontProperty(QObject* c, const char* name, int kind) const;
    void translateByClass(QObject* c, bool deep) const;
    void translateComponent(QObject* c, bool deep);
};

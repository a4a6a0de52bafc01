// LanguageController: loads one language package and hands out the reader that applies it.
//
// TLanguageController reads its package from a file or from inline text; TKvLangController derives the
// file from a package (class) name and the installation's language folder. Activation and deactivation
// are announced by the signals BeforeOpen/AfterOpen/BeforeClose/AfterClose; applying one element to one
// component by BeforeLoadComponent/AfterLoadComponent.
#pragma once

#include "LangCommon.h"
#include "TranslatorU.h"

#include <QObject>
#include <QStringList>
#include <memory>
#include <pugixml.hpp>
#include <stdexcept>

// The one error of the language packages: "Cannot Find File %s!", "No active LanguageController!" or the
// XML parser's reason.
class LanguageControllerError : public std::runtime_error {
public:
    explicit LanguageControllerError(const QString& message)
        : std::runtime_error(message.toStdString()), message_(message) {}
    const QString& message() const { return message_; }

private:
    QString message_;
};

class TLanguageController : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool Active READ GetActive WRITE SetActive)
    Q_PROPERTY(QStringList ExcludeControls READ ExcludeControls WRITE setExcludeControls)
    Q_PROPERTY(QString FileName READ FileName WRITE setFileName)
    Q_PROPERTY(QStringList LangPackage READ LangPackage WRITE setLangPackage)
public:
    explicit TLanguageController(QObject* owner = nullptr);
    ~TLanguageController() override;

    bool GetActive() const;
    // Activating loads the package (raises LanguageControllerError when it cannot); deactivating drops
    // it. Setting the current value does nothing. While loading, the value is only remembered.
    void SetActive(bool active);

    const QStringList& ExcludeControls() const { return exclude_; }
    void setExcludeControls(const QStringList& names);

    // Full path of the package file.
    const QString& FileName() const { return fileName_; }
    void setFileName(const QString& fileName);

    // Inline package text (lines of XML); used instead of the file when not empty.
    const QStringList& LangPackage() const { return inlineText_; }
    void setLangPackage(const QStringList& lines);

    // The reader of the loaded package; raises "No active LanguageController!" when not active.
    TLangReader* GetLangReader();
    // The loaded document (empty when not active).
    const pugi::xml_document& Document() const { return package_->document(); }

    // Streaming from a form resource: between BeginLoading and Loaded, SetActive only remembers its value.
    void BeginLoading() { loading_ = true; }
    void Loaded();
    bool IsLoading() const { return loading_; }

signals:
    void BeforeOpen(TLanguageController* sender);
    void AfterOpen(TLanguageController* sender);
    void BeforeClose(TLanguageController* sender);
    void AfterClose(TLanguageController* sender);
    void BeforeLoadComponent(QObject* component, const pugi::xml_node& element);
    void AfterLoadComponent(QObject* component, const pugi::xml_node& element);

private:
    std::shared_ptr<const kvx::lang::PackageDocument> package_;
    std::unique_ptr<TLangReader> reader_;
    QStringList exclude_;
    QString fileName_;
    QStringList inlineText_;
    bool loading_ = false;
    bool streamedActive_ = false;

    void Open();
    void Close();
    void DropDocument();
};

class TKvLangController : public TLanguageController {
    Q_OBJECT
    Q_PROPERTY(QString LangPackageName READ LangPackageName WRITE SetLangPackageName)
    Q_PROPERTY(TCodeConverter::TDesignType DesignType READ DesignType WRITE setDesignType)
public:
    // Package files are looked up with the settings kvx::readSettings() gives, or with those handed down.
    explicit TKvLangController(QObject* owner = nullptr);
    TKvLangController(const kvx::Settings& settings, QObject* owner);

    const kvx::Settings& settings() const { return settings_; }
    // New settings re-form the file name of the current package name.
    void SetSettings(const kvx::Settings& settings);

    const QString& LangPackageName() const { return packageName_; }
    // A new name forms the package file name; a different file clears the inline text and deactivates.
    void SetLangPackageName(const QString& name);

    TDesignType DesignType() const { return designType_; }
    // A new design type re-forms the file name of the current package name.
    void setDesignType(TDesignType designType);

private:
    void UpdateFileName();
    QString packageName_;
    TDesignType designType_ = dtClient;
    kvx::Settings settings_;
};

// LangCommon: where language packages live, how they are read, and the message lookup.
//
// A package is one XML file per class, "<ClientPath>MultiLanguage/<code>/<class>.Lng", where the code
// comes from the UI code page ("936" CHS, "950" CHT, "437" ENG). Documents are read in UTF-8/16 by
// their byte-order mark or declaration; documents declared GB2312/GBK/GB18030/Big5 (or undeclared and
// not valid UTF-8, read in the system code page) are decoded before parsing.
#pragma once

#include "CodeConverter.h"

#include <QHash>
#include <QString>
#include <memory>
#include <pugixml.hpp>

// Which configuration a language-aware component reads: the client's or the server's (one enumeration
// for the converter and the language controller).
using TDesignType = TCodeConverter::TDesignType;
inline constexpr TDesignType dtClient = TCodeConverter::dtClient;
inline constexpr TDesignType dtServer = TCodeConverter::dtServer;

namespace kvx::lang {

// The fixed code-page table of the language folders.
inline constexpr const char* kLanguageCodeTable = "936=CHS\r\n950=CHT\r\n437=ENG";

// "CHS", "CHT" or "ENG" for the UI code page; empty when the table has no entry.
QString LanguageCode(const QString& uiCodePage);

// basePath + "MultiLanguage/<code>/" when the code page has an entry and that folder exists; else empty.
QString LanguageDirectoryIn(const QString& basePath, const QString& uiCodePage);
// The language folder of the installation: ClientPath (dtClient) or ServerPath (dtServer) and the UI
// code page of the same side of the settings.
QString LanguageDirectory(const kvx::Settings& settings, TDesignType designType);
// The same on the settings kvx::readSettings() gives.
QString LanguageDirectory(TDesignType designType);
// LanguageDirectory + name + ".Lng" (a relative file name when the folder is unknown).
QString PackageFileName(const kvx::Settings& settings, TDesignType designType, const QString& packageName);
QString PackageFileName(TDesignType designType, const QString& packageName);

// Parses XML bytes into doc. Returns an empty text on success, else the parser's reason.
QString LoadXmlBytes(pugi::xml_document& doc, const QByteArray& bytes);
// Reads and parses a file; a file that cannot be read reports "File was not found" like the parser.
QString LoadXmlFile(pugi::xml_document& doc, const QString& fileName);

// A parsed package, never changed once parsed: readers of the same file share one.
class PackageDocument {
public:
    PackageDocument() = default;
    // Parses bytes as LoadXmlBytes does; error() holds the parser's reason when that failed.
    explicit PackageDocument(const QByteArray& bytes);
    PackageDocument(const PackageDocument&) = delete;
    PackageDocument& operator=(const PackageDocument&) = delete;

    const pugi::xml_document& document() const { return doc_; }
    // Empty when parsed; the parser's reason (or "File was not found") otherwise.
    const QString& error() const { return error_; }
    // What "//name" selects: the first element of that name in document order (the document element
    // included); an empty node when there is none or the name is no XML name.
    pugi::xml_node element(const QString& name) const;

    // A document that failed with the given reason.
    static std::shared_ptr<const PackageDocument> failed(const QString& error);

private:
    pugi::xml_document doc_;
    QString error_;
    QHash<QString, pugi::xml_node> firstByName_;
    void index();
};

// The parsed package file. A file is read and parsed once while it keeps its size, modification time and
// inode; a file changed (or written so recently that a change could hide in the same time stamp) is read
// again. A file that cannot be read gives a document failed with "File was not found".
std::shared_ptr<const PackageDocument> LoadPackageFile(const QString& fileName);

// The first node an XPath query selects below node; an empty node when nothing matches or the query is
// not valid XPath (a component name that is no XML name, for instance).
pugi::xpath_node SelectFirst(const pugi::xml_node& node, const QString& query);

// The class name without its namespace ("kvx::TFDBGrid" -> "TFDBGrid").
QString BareClassName(const QMetaObject* mo);
// Whether obj's class or one of its ancestors has the given name, namespaces ignored.
bool InheritsClass(const QObject* obj, const char* bareName);

// The message of a package: the "Msg" attribute of the first element named key; def when the file is
// missing or unreadable or the attribute is absent. Never raises.
QString GetMessageFromFile(const QString& fileName, const QString& key, const QString& def);

// Whether text holds Chinese characters (CJK ideographs, CJK punctuation or full-width forms): text that an
// English interface cannot show as it is.
bool HasHanCharacters(const QString& text);

// A package's own wording of a text that comes from outside the window (screen settings): the "Msg" of the
// first <ScreenTexts><Text Source="..." Msg="..."/></ScreenTexts> entry whose Source equals text exactly;
// a null text when the file or the entry is missing. Never raises.
QString GetScreenTextFromFile(const QString& fileName, const QString& text);

} // namespace kvx::lang

// The message lookup of the language packages: GetMessageFromFile on the package file of the design type.
QString GetMessage(const kvx::Settings& settings, TDesignType designType, const QString& packageName,
                   const QString& key, const QString& def);
QString GetMessage(TDesignType designType, const QString& packageName, const QString& key,
                   const QString& def);

#include "LangCommon.h"

#include "platform/CodePage.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <mutex>
#include <sys/stat.h>
#include <time.h>

namespace kvx::lang {

QString LanguageCode(const QString& uiCodePage) {
    const QString key = uiCodePage.trimmed();
    if (key.isEmpty()) return {};
    const QStringList lines = QString::fromLatin1(kLanguageCodeTable).split(QStringLiteral("\r\n"));
    for (const QString& line : lines) {
        const qsizetype eq = line.indexOf(u'=');
        if (eq > 0 && line.left(eq).compare(key, Qt::CaseInsensitive) == 0) return line.mid(eq + 1);
    }
    return {};
}

QString LanguageDirectoryIn(const QString& basePath, const QString& uiCodePage) {
    const QString code = LanguageCode(uiCodePage);
    if (code.isEmpty()) return {};
    QString dir = basePath;
    if (!dir.isEmpty() && !dir.endsWith(u'/')) dir += u'/';
    dir += QStringLiteral("MultiLanguage/") + code + u'/';
    return QDir(dir).exists() ? dir : QString();
}

QString LanguageDirectory(const kvx::Settings& settings, TDesignType designType) {
    const bool server = designType == dtServer;
    return LanguageDirectoryIn(settings.basePath(server), kvx::codePageText(settings.codePages(server).ui));
}

QString LanguageDirectory(TDesignType designType) {
    return LanguageDirectory(kvx::readSettings(), designType);
}

QString PackageFileName(const kvx::Settings& settings, TDesignType designType, const QString& packageName) {
    return LanguageDirectory(settings, designType) + packageName + QStringLiteral(".Lng");
}

QString PackageFileName(TDesignType designType, const QString& packageName) {
    return PackageFileName(kvx::readSettings(), designType, packageName);
}

namespace {

// The code page a document must be decoded from before parsing, or 0 when the parser reads it itself.
int codePageToDecode(const QByteArray& bytes) {
    if (bytes.startsWith("\xEF\xBB\xBF") || bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF"))
        return 0;
    static const QRegularExpression decl(QStringLiteral(R"(^\s*<\?xml[^>]*?encoding\s*=\s*["']([^"']+)["'])"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = decl.match(QString::fromLatin1(bytes.left(256)));
    if (m.hasMatch()) {
        const QString enc = m.captured(1).trimmed().toLower();
        if (enc == u"gb2312" || enc == u"gbk" || enc == u"gb18030" || enc == u"cp936" || enc == u"x-gbk" ||
            enc == u"euc-cn")
            return 936;
        if (enc.startsWith(u"big5") || enc == u"cp950" || enc == u"x-big5") return 950;
        return 0; // UTF-8, UTF-16, Latin-1: pugixml's own business
    }
    if (codepage::isValidUtf8(bytes)) return 0;
    return codepage::systemCodePage();
}

} // namespace

QString LoadXmlBytes(pugi::xml_document& doc, const QByteArray& bytes) {
    doc.reset();
    pugi::xml_parse_result result;
    const int cp = codePageToDecode(bytes);
    if (cp != 0) {
        const QByteArray utf8 = codepage::decode(bytes, cp).toUtf8();
        result =
            doc.load_buffer(utf8.constData(), size_t(utf8.size()), pugi::parse_default, pugi::encoding_utf8);
    } else {
        result = doc.load_buffer(bytes.constData(), size_t(bytes.size()));
    }
    if (result) return {};
    doc.reset();
    return QString::fromUtf8(result.description());
}

PackageDocument::PackageDocument(const QByteArray& bytes) {
    error_ = LoadXmlBytes(doc_, bytes);
    if (error_.isEmpty()) index();
}

std::shared_ptr<const PackageDocument> PackageDocument::failed(const QString& error) {
    auto doc = std::make_shared<PackageDocument>();
    doc->error_ = error;
    return doc;
}

void PackageDocument::index() {
    // Document order: an element before its children, children before the following siblings.
    pugi::xml_node n = doc_.document_element();
    while (n) {
        if (n.type() == pugi::node_element) {
            const QString name = QString::fromUtf8(n.name());
            if (!firstByName_.contains(name)) firstByName_.insert(name, n);
        }
        if (pugi::xml_node child = n.first_child()) {
            n = child;
            continue;
        }
        while (n && !n.next_sibling() && n != doc_.document_element())
            n = n.parent();
        if (!n || n == doc_.document_element()) break;
        n = n.next_sibling();
    }
}

pugi::xml_node PackageDocument::element(const QString& name) const {
    if (name.isEmpty()) return {};
    // Plain identifiers (every component name) are looked up in the index; anything else goes through the
    // query, which decides what such a name selects.
    bool plain = !name.front().isDigit();
    for (const QChar c : name) {
        const char16_t u = c.unicode();
        if (!((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '_')) {
            plain = false;
            break;
        }
    }
    if (!plain) return SelectFirst(doc_, QStringLiteral("//") + name).node();
    return firstByName_.value(name);
}

namespace {

QString fileNotFound() {
    pugi::xml_parse_result missing;
    missing.status = pugi::status_file_not_found;
    return QString::fromUtf8(missing.description());
}

struct FileStamp {
    qint64 size = -1;
    qint64 mtimeNs = 0;
    qint64 ctimeNs = 0;
    quint64 inode = 0;
    bool operator==(const FileStamp&) const = default;
};

struct CachedPackage {
    FileStamp stamp;
    std::shared_ptr<const PackageDocument> document;
};

// The parsed packages of the process, by file name.
struct PackageCache {
    std::mutex mutex;
    QHash<QString, CachedPackage> entries;
};

PackageCache& packageCache() {
    static PackageCache cache;
    return cache;
}

constexpr qsizetype kMaxCachedPackages = 64;
// A file changed within this span of its read may change again under the same time stamp.
constexpr qint64 kRacyNs = 2'000'000'000;

qint64 nanoseconds(const timespec& t) {
    return qint64(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

} // namespace

std::shared_ptr<const PackageDocument> LoadPackageFile(const QString& fileName) {
    if (fileName.isEmpty()) return PackageDocument::failed(fileNotFound());
    struct stat st {};
    if (::stat(QFile::encodeName(fileName).constData(), &st) != 0)
        return PackageDocument::failed(fileNotFound());
    const bool regular = S_ISREG(st.st_mode);
    const FileStamp stamp{qint64(st.st_size), nanoseconds(st.st_mtim), nanoseconds(st.st_ctim),
                          quint64(st.st_ino)};
    PackageCache& cache = packageCache();
    if (regular) {
        const std::lock_guard lock(cache.mutex);
        const auto it = cache.entries.constFind(fileName);
        if (it != cache.entries.cend() && it->stamp == stamp) return it->document;
    }
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) return PackageDocument::failed(fileNotFound());
    auto document = std::make_shared<const PackageDocument>(file.readAll());
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    // A write always moves the modification time to the present: a file last written well before this
    // read cannot change again under the same stamp.
    const bool settled = nanoseconds(now) - stamp.mtimeNs >= kRacyNs;
    if (regular && settled) {
        const std::lock_guard lock(cache.mutex);
        if (cache.entries.size() >= kMaxCachedPackages) cache.entries.clear();
        cache.entries.insert(fileName, CachedPackage{stamp, document});
    }
    return document;
}

QString LoadXmlFile(pugi::xml_document& doc, const QString& fileName) {
    QFile file(fileName);
    if (fileName.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        doc.reset();
        pugi::xml_parse_result missing;
        missing.status = pugi::status_file_not_found;
        return QString::fromUtf8(missing.description());
    }
    return LoadXmlBytes(doc, file.readAll());
}

pugi::xpath_node SelectFirst(const pugi::xml_node& node, const QString& query) {
    if (!node) return {};
    try {
        return node.select_node(query.toUtf8().constData());
    } catch (const pugi::xpath_exception&) {
        return {};
    }
}

QString BareClassName(const QMetaObject* mo) {
    const QString name = QString::fromLatin1(mo->className());
    const qsizetype sep = name.lastIndexOf(QStringLiteral("::"));
    return sep < 0 ? name : name.mid(sep + 2);
}

bool InheritsClass(const QObject* obj, const char* bareName) {
    if (!obj) return false;
    const QString wanted = QString::fromLatin1(bareName);
    for (const QMetaObject* mo = obj->metaObject(); mo; mo = mo->superClass())
        if (BareClassName(mo) == wanted) return true;
    return false;
}

QString GetMessageFromFile(const QString& fileName, const QString& key, const QString& def) {
    const std::shared_ptr<const PackageDocument> package = LoadPackageFile(fileName);
    if (!package->error().isEmpty()) return def;
    const pugi::xml_document& doc = package->document();
    // The key is a name, looked up literally (never as a query): the first element of that name, in
    // document order, that carries a message.
    const QByteArray name = key.toUtf8();
    const pugi::xml_node hit = doc.find_node([&](const pugi::xml_node& n) {
        return n.type() == pugi::node_element && name == n.name() && n.attribute("Msg");
    });
    if (!hit) return def;
    return QString::fromUtf8(hit.attribute("Msg").value());
}

bool HasHanCharacters(const QString& text) {
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if ((u >= 0x3000 && u <= 0x303F) || (u >= 0x3400 && u <= 0x4DBF) || (u >= 0x4E00 && u <= 0x9FFF) ||
            (u >= 0xF900 && u <= 0xFAFF) || (u >= 0xFF00 && u <= 0xFFEF) || c.isHighSurrogate())
            return true;
    }
    return false;
}

QString GetScreenTextFromFile(const QString& fileName, const QString& text) {
    if (text.isEmpty()) return {};
    const std::shared_ptr<const PackageDocument> package = LoadPackageFile(fileName);
    if (!package->error().isEmpty()) return {};
    const pugi::xml_document& doc = package->document();
    const QByteArray source = text.toUtf8();
    for (pugi::xml_node list = doc.document_element().child("ScreenTexts"); list;
         list = list.next_sibling("ScreenTexts"))
        for (pugi::xml_node entry = list.child("Text"); entry; entry = entry.next_sibling("Text"))
            if (source == entry.attribute("Source").value() && entry.attribute("Msg"))
                return QString::fromUtf8(entry.attribute("Msg").value());
    return {};
}

} // namespace kvx::lang

QString GetMessage(const kvx::Settings& settings, TDesignType designType, const QString& packageName,
                   const QString& key, const QString& def) {
    return kvx::lang::GetMessageFromFile(kvx::lang::PackageFileName(settings, designType, packageName), key,
                                         def);
}

QString GetMessage(TDesignType designType, const QString& packageName, const QString& key,
                   const QString& def) {
    return kvx::lang::GetMessageFromFile(kvx::lang::PackageFileName(designType, packageName), key, def);
}

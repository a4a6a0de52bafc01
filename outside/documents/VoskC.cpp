// The document-management stand-in "VoskC.VOSKClass1": CheckOut(user, mode, document id, version,
// reserved, out path) finds the document's file in the store (<store>/<id>/<version>/, the first file
// by name) and returns 0 with its path, or -1 when the store has no such file.
#include "DocumentStore.h"

#include "platform/Automation.h"

#include <QDir>

namespace kvxdoc {

using kvx::Variant;
using kvx::VariantList;

class DocumentServer : public kvx::DispatchObject {
public:
    DocumentServer() : DispatchObject(QStringLiteral("VoskC.VOSKClass1")) {
        addMethod(QStringLiteral("CheckOut"), [](VariantList& a) -> Variant {
            while (a.size() < 6)
                a.append(Variant());
            const QString id = a[2].isEmptyOrNull() ? QString() : a[2].toString().trimmed();
            const QString version = a[3].isEmptyOrNull() ? QString() : a[3].toString().trimmed();
            a[5] = QString();
            // Identifiers name folders: nothing that climbs out of the store.
            const auto safe = [](const QString& part) {
                return !part.isEmpty() && !part.contains(QLatin1Char('/')) &&
                       !part.contains(QLatin1Char('\\')) && part != QLatin1String(".") &&
                       part != QLatin1String("..");
            };
            if (!safe(id) || !safe(version)) return -1;
            const QDir folder(QDir(StoreFolder()).filePath(id + QLatin1Char('/') + version));
            const QStringList files = folder.entryList(QDir::Files, QDir::Name);
            if (files.isEmpty()) return -1;
            a[5] = folder.filePath(files.first());
            return 0;
        });
    }
};

} // namespace kvxdoc

extern "C" Q_DECL_EXPORT kvx::Dispatch* CreateVoskDocumentServer(const char*) {
    return new kvxdoc::DocumentServer();
}

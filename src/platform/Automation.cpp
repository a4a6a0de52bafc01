#include "Automation.h"

#include "Registry.h"

#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <QMutex>
#include <dlfcn.h>

namespace kvx {

namespace {
// Directory of this platform library; libraries named without a folder are looked for here first.
QString platformDir() {
    Dl_info info;
    if (dladdr(reinterpret_cast<void*>(&platformDir), &info) && info.dli_fname)
        return QFileInfo(QString::fromLocal8Bit(info.dli_fname)).absolutePath();
    return {};
}

// Loaded libraries by path; never unloaded, since objects they created may outlive any caller.
QLibrary* loadLibrary(const QString& name, QString& error) {
    static QMutex mutex;
    static QHash<QString, QLibrary*> cache;
    QMutexLocker lock(&mutex);
    QString path = name;
    if (!QFileInfo(name).isAbsolute()) {
        const QString beside = platformDir() + QLatin1Char('/') + name;
        if (QFileInfo::exists(beside)) path = beside;
    }
    if (QLibrary* lib = cache.value(path)) return lib;
    auto* lib = new QLibrary(path);
    if (!lib->load()) {
        error = lib->errorString();
        delete lib;
        return nullptr;
    }
    cache.insert(path, lib);
    return lib;
}
} // namespace

std::shared_ptr<Dispatch> CreateOleObject(const QString& progid) {
    Registry reg;
    if (progid.trimmed().isEmpty() || !reg.openKeyReadOnly(QStringLiteral("Classes\\") + progid))
        throw AutomationError(QStringLiteral("Invalid class string: %1").arg(progid).toStdString());
    const QString library = reg.readString(QStringLiteral("Library"));
    const QString factory = reg.readString(QStringLiteral("Factory"));
    if (library.isEmpty() || factory.isEmpty())
        throw AutomationError(
            QStringLiteral("Class %1 is registered without a library or factory").arg(progid).toStdString());
    QString error;
    QLibrary* lib = loadLibrary(library, error);
    if (!lib)
        throw AutomationError(QStringLiteral("Cannot load library %1 for class %2: %3")
                                  .arg(library, progid, error)
                                  .toStdString());
    auto fn = reinterpret_cast<ObjectFactoryFn>(lib->resolve(factory.toLatin1().constData()));
    if (!fn)
        throw AutomationError(QStringLiteral("Library %1 has no factory %2 for class %3")
                                  .arg(library, factory, progid)
                                  .toStdString());
    Dispatch* obj = fn(progid.toUtf8().constData());
    if (!obj)
        throw AutomationError(QStringLiteral("Class %1 could not be created").arg(progid).toStdString());
    return std::shared_ptr<Dispatch>(obj);
}

QFunctionPointer resolveLibraryFunction(const QString& library, const char* function) {
    QString error;
    QLibrary* lib = loadLibrary(library, error);
    if (!lib)
        throw AutomationError(QStringLiteral("Cannot load library %1: %2").arg(library, error).toStdString());
    const QFunctionPointer fn = lib->resolve(function);
    if (!fn)
        throw AutomationError(QStringLiteral("Library %1 has no function %2")
                                  .arg(library, QString::fromLatin1(function))
                                  .toStdString());
    return fn;
}

Variant DispatchObject::invoke(const QString& name, VariantList& args) {
    auto it = methods_.find(name.toLower());
    if (it == methods_.end()) {
        // A property may be read through invoke as well, as late binding allows.
        if (args.isEmpty() && props_.contains(name.toLower())) return getProperty(name);
        throw AutomationError(QStringLiteral("Method '%1' not supported by automation object %2")
                                  .arg(name, className_)
                                  .toStdString());
    }
    return it.value()(args);
}

Variant DispatchObject::getProperty(const QString& name) {
    auto it = props_.find(name.toLower());
    if (it == props_.end())
        throw AutomationError(QStringLiteral("Property '%1' not supported by automation object %2")
                                  .arg(name, className_)
                                  .toStdString());
    return it.value().first();
}

void DispatchObject::setProperty(const QString& name, const Variant& value) {
    auto it = props_.find(name.toLower());
    if (it == props_.end() || !it.value().second)
        throw AutomationError(QStringLiteral("Property '%1' of automation object %2 cannot be written")
                                  .arg(name, className_)
                                  .toStdString());
    it.value().second(value);
}

} // namespace kvx

#include "Translator.h"

#include "UnicodeBridge.h"

#include <QDir>
#include <QFileInfo>
#include <dlfcn.h>

using kvx::lang::convertEncodable;
using kvx::lang::ConverterError;

TTranslator::TTranslator() {
    QStringList candidates;
    for (const QString& folder : moduleFolders())
        candidates << folder + QLatin1Char('/') + QLatin1String(kLibraryName);
    candidates << QLatin1String(kLibraryName); // the library path
    load(candidates);
}

TTranslator::TTranslator(const QString& libraryFile) {
    load({libraryFile});
}

TTranslator::~TTranslator() {
    if (lib_.isLoaded()) lib_.unload();
}

QStringList TTranslator::moduleFolders() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&TTranslator::moduleFolders), &info) || !info.dli_fname) return {};
    const QFileInfo module(QString::fromLocal8Bit(info.dli_fname));
    QStringList folders{module.absolutePath()};
    // A module installed as a link: the folder of the file it points to as well.
    const QString target = module.canonicalFilePath();
    if (!target.isEmpty()) {
        const QString targetFolder = QFileInfo(target).absolutePath();
        if (targetFolder != folders.first()) folders << targetFolder;
    }
    return folders;
}

void TTranslator::load(const QStringList& candidates) {
    bool loaded = false;
    for (const QString& file : candidates) {
        // A bare name goes to the dynamic loader's search; a path must exist.
        if (file.contains(QLatin1Char('/')) && !QFileInfo::exists(file)) continue;
        lib_.setFileName(file);
        if (lib_.load()) {
            loaded = true;
            break;
        }
    }
    if (!loaded)
        throw ConverterError(QStringLiteral("Load Library %1 Error!").arg(QLatin1String(kLibraryName)));
    gbToBig5_ = reinterpret_cast<ConvertFn>(lib_.resolve("GBtoBIG5"));
    big5ToGb_ = reinterpret_cast<ConvertFn>(lib_.resolve("BIG5toGB"));
    getBig5Data_ = reinterpret_cast<TableFn>(lib_.resolve("GetBIG5Data"));
    getGbData_ = reinterpret_cast<TableFn>(lib_.resolve("GetGBData"));
    saveOrder_ = reinterpret_cast<SaveFn>(lib_.resolve("SaveOrder"));
    if (!gbToBig5_ || !big5ToGb_) {
        lib_.unload();
        throw ConverterError(QStringLiteral("Get Library Procedure Address Error!"), -1);
    }
}

QByteArray TTranslator::call(ConvertFn fn, const QByteArray& src) {
    if (!fn || src.isEmpty()) return src;
    QByteArray dst(src.size() * 2 + 16, Qt::Uninitialized);
    int n = fn(src.constData(), int(src.size()), dst.data(), int(dst.size()));
    if (n > dst.size()) {
        dst.resize(n);
        n = fn(src.constData(), int(src.size()), dst.data(), int(dst.size()));
    }
    if (n < 0 || n > dst.size()) return src;
    dst.resize(n);
    return dst;
}

QByteArray TTranslator::Big5ToGB(const QByteArray& big5) const {
    return call(big5ToGb_, big5);
}

QByteArray TTranslator::GBToBig5(const QByteArray& gb) const {
    return call(gbToBig5_, gb);
}

QString TTranslator::Big5ToGB(const QString& text) const {
    return convertEncodable(text, 950, 936, [this](const QByteArray& b) { return Big5ToGB(b); });
}

QString TTranslator::GBToBig5(const QString& text) const {
    return convertEncodable(text, 936, 950, [this](const QByteArray& b) { return GBToBig5(b); });
}

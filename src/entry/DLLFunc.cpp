#include "DLLFunc.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <dlfcn.h>
#include <stdexcept>

TDLLBaseController* GetController() {
    if (!DLLControllerClass)
        throw std::runtime_error("KVX DLL Internal Error :\rNot Assign \"DLLControllerClass\" varible");
    return DLLControllerClass();
}

QString GetModuleFileName() {
    Dl_info info;
    QString name;
    if (dladdr(reinterpret_cast<void*>(&GetModuleFileName), &info) && info.dli_fname)
        name = QFile::decodeName(info.dli_fname);
    // A name that no longer leads to the file (the main program started through PATH): ask the process.
    if (name.isEmpty() || !QFileInfo::exists(name)) return QCoreApplication::applicationFilePath();
    return QFileInfo(name).absoluteFilePath();
}

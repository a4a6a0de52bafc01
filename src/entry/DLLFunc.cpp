#include "DLLFunc.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <dlfcn.h>
#include <stdexcept>

TDLLControllerClass DLLControllerClass = nullptr;
TfrmRadicalClass frmRadicalClass = nullptr;

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
    // The main program has no usable name here; ask the process instead.
    if (name.isEmpty() || !QFileInfo(name).isAbsolute() || !QFileInfo::exists(name))
        return QCoreApplication::applicationFilePath();
    return QFileInfo(name).absoluteFilePath();
}

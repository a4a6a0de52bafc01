// TTranslator: the GB/Big5 conversion library "Kvlanguage.so", loaded at run time by name.
//
// Library contract (C linkage, byte strings in GBK and Big5):
//   int GBtoBIG5(const char* src, int srcLen, char* dst, int dstSize);
//   int BIG5toGB(const char* src, int srcLen, char* dst, int dstSize);
//       convert srcLen bytes, write at most dstSize bytes and return the full length of the result
//       (a caller with a smaller buffer calls again); negative on failure.
//   int GetGBData(unsigned short* table, int size);   GB index -> Big5 code table, returns its length
//   int GetBIG5Data(unsigned short* table, int size); Big5 index -> GB code table, returns its length
//   int SaveOrder(const char* fileName);              writes the mapping file "Language", 0 on success
// Only the first two are used here; the other three are looked up and kept.
#pragma once

#include <QByteArray>
#include <QLibrary>
#include <QString>
#include <QStringList>
#include <memory>
#include <stdexcept>

namespace kvx::lang {

// A failure of the converter's set-up, with the help context of the message.
class ConverterError : public std::runtime_error {
public:
    explicit ConverterError(const QString& message, int helpContext = 0)
        : std::runtime_error(message.toStdString()), helpContext_(helpContext) {}
    int helpContext() const { return helpContext_; }

private:
    int helpContext_;
};

} // namespace kvx::lang

class TTranslator {
public:
    static constexpr const char* kLibraryName = "Kvlanguage.so";

    using ConvertFn = int (*)(const char*, int, char*, int);
    using TableFn = int (*)(unsigned short*, int);
    using SaveFn = int (*)(const char*);

    // Loads the library beside the module (the shared object this code is linked into, and the folder of
    // its resolved file), then through the library path.
    // Raises "Load Library Kvlanguage.so Error!" or "Get Library Procedure Address Error!" (help context -1).
    TTranslator();
    // Loads the given library file (for tests and tools).
    explicit TTranslator(const QString& libraryFile);
    ~TTranslator();
    TTranslator(const TTranslator&) = delete;
    TTranslator& operator=(const TTranslator&) = delete;

    // Byte strings; an absent entry point returns the source unchanged.
    QByteArray Big5ToGB(const QByteArray& big5) const;
    QByteArray GBToBig5(const QByteArray& gb) const;
    // Unicode text: encoded in the source code page, converted, decoded from the target code page.
    // Characters the source code page lacks are kept as they are.
    QString Big5ToGB(const QString& text) const;
    QString GBToBig5(const QString& text) const;

    QString fileName() const { return lib_.fileName(); }
    TableFn getBig5Data() const { return getBig5Data_; }
    TableFn getGbData() const { return getGbData_; }
    SaveFn saveOrder() const { return saveOrder_; }

    // Folder of the shared object (or executable) this code is part of, then the folder of the file it
    // links to when that differs.
    static QStringList moduleFolders();

private:
    QLibrary lib_;
    ConvertFn gbToBig5_ = nullptr;
    ConvertFn big5ToGb_ = nullptr;
    TableFn getBig5Data_ = nullptr;
    TableFn getGbData_ = nullptr;
    SaveFn saveOrder_ = nullptr;

    void load(const QStringList& candidates);
    static QByteArray call(ConvertFn fn, const QByteArray& src);
};

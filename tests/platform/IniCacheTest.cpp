#include "TempTree.h"
#include "platform/CodePage.h"
#include "platform/IniFile.h"

#include <QFile>
#include <chrono>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>

#include <gtest/gtest.h>

using kvx::IniFile;
using kvxtest::TempTree;

namespace {
// Waits until the file's last change is old enough for the parse cache to keep it (at most 2 s).
void waitUntilSettled(const QString& path) {
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    const auto stampNs = [](const timespec& t) { return qint64(t.tv_sec) * 1000000000 + t.tv_nsec; };
    const qint64 last = std::max(stampNs(st.st_mtim), stampNs(st.st_ctim));
    for (int i = 0; i < 200; ++i) {
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        if (stampNs(now) - last > 150000000) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    FAIL() << "the clock did not pass the file's time stamp";
}

// Rewrites a file in place (same inode), keeping its size.
void overwrite(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

QString valueOf(const QString& path) {
    return IniFile(path).readString("A", "Key", "missing");
}
} // namespace

TEST(IniParseCache, AnUnchangedFileIsParsedOnceAndEveryChangeIsSeen) {
    TempTree tree;
    const QString path = tree.writeText("client/c.ini", "[A]\nKey=one\n");
    waitUntilSettled(path);
    EXPECT_EQ(valueOf(path), "one");
    const quint64 parsed = IniFile::parseCount();
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(valueOf(path), "one");
    EXPECT_EQ(IniFile::parseCount(), parsed); // served from the cache

    // The same size, the same inode, right after the last read.
    overwrite(path, "[A]\nKey=two\n");
    EXPECT_EQ(valueOf(path), "two");

    // Same size and the modification time put back: the change time still differs.
    waitUntilSettled(path);
    EXPECT_EQ(valueOf(path), "two");
    EXPECT_EQ(valueOf(path), "two");
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    overwrite(path, "[A]\nKey=six\n");
    const timespec times[2] = {st.st_atim, st.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
    EXPECT_EQ(valueOf(path), "six");

    // Replaced by another file (a new inode), as editors and QSaveFile write.
    waitUntilSettled(path);
    EXPECT_EQ(valueOf(path), "six");
    tree.writeText("client/c.ini", "[A]\nKey=ten\n");
    EXPECT_EQ(valueOf(path), "ten");

    // Written through IniFile.
    waitUntilSettled(path);
    EXPECT_EQ(valueOf(path), "ten");
    IniFile(path).writeString("A", "Key", "new");
    EXPECT_EQ(valueOf(path), "new");
}

TEST(IniParseCache, AFreshlyWrittenFileIsReadAgainAtEachConstruction) {
    TempTree tree;
    const QString path = tree.writeText("client/c.ini", "[A]\nKey=one\n");
    EXPECT_EQ(valueOf(path), "one");
    const quint64 parsed = IniFile::parseCount();
    EXPECT_EQ(valueOf(path), "one");
    EXPECT_EQ(IniFile::parseCount(), parsed + 1); // too new to be kept
    overwrite(path, "[A]\nKey=two\n");
    EXPECT_EQ(valueOf(path), "two");
}

TEST(IniParseCache, ADeletedFileReadsAsMissing) {
    TempTree tree;
    const QString path = tree.writeText("client/c.ini", "[A]\nKey=one\n");
    waitUntilSettled(path);
    EXPECT_EQ(valueOf(path), "one");
    EXPECT_EQ(valueOf(path), "one");
    ASSERT_TRUE(QFile::remove(path));
    IniFile gone(path);
    EXPECT_FALSE(gone.exists());
    EXPECT_EQ(gone.readString("A", "Key", "missing"), "missing");
    EXPECT_TRUE(gone.sections().isEmpty());
    // Back with the same text: read again.
    tree.writeText("client/c.ini", "[A]\nKey=one\n");
    EXPECT_TRUE(IniFile(path).exists());
}

TEST(IniParseCache, ACachedFileDoesNotShareEditsBetweenReaders) {
    TempTree tree;
    const QString path = tree.writeText("client/c.ini", "[A]\nKey=one\n");
    waitUntilSettled(path);
    EXPECT_EQ(valueOf(path), "one");
    IniFile reader(path);
    IniFile writer(path);
    ASSERT_TRUE(writer.writeString("A", "Other", "x"));
    EXPECT_FALSE(reader.valueExists("A", "Other")); // a snapshot of its own construction
    EXPECT_TRUE(IniFile(path).valueExists("A", "Other"));
}

TEST(IniParseCache, AFileInTheSystemCodePageIsReadAgainWhenTheCodePageChanges) {
    TempTree tree;
    const QString text = QStringLiteral("文档传输");
    const QString path =
        tree.writeFile("client/gb.ini", "[A]\nKey=" + kvx::codepage::encode(text, 936) + "\n");
    waitUntilSettled(path);
    {
        kvxtest::ScopedEnv gb("KVX_CODEPAGE", "936");
        EXPECT_EQ(valueOf(path), text);
        EXPECT_EQ(valueOf(path), text);
    }
    kvxtest::ScopedEnv big5("KVX_CODEPAGE", "950");
    EXPECT_EQ(valueOf(path), kvx::codepage::decode(kvx::codepage::encode(text, 936), 950));
    EXPECT_NE(valueOf(path), text);
}

// pellan's start-up: the preloading thread (what it loads, that it never holds the process up, that the
// person running pellan sees the same with and without it) and the opt-in start-up timeline.
#include "MemoryPrefault.h"
#include "PellanProcess.h"
#include "StartupPreloader.h"
#include "TempTree.h"
#include "platform/FontSubstitution.h"

#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QProcess>
#include <QRegularExpression>
#include <cstdint>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

using pellan::StartupPreloader;

namespace {

using kvxtest::buildDir;
using kvxtest::PellanRun;

void registerCounterLibrary(kvxtest::TempTree& tree, const QString& library) {
    tree.setRegistryValue("Library", library, "Classes\\KvxCounter.Class1");
    tree.setRegistryValue("Factory", "CreateCounterServer", "Classes\\KvxCounter.Class1");
}

// Pages of [begin, end) that have no page-table entry in this process (/proc/self/pagemap, bit 63:
// present; bit 62: swapped). -1 when the map cannot be read.
long missingPages(std::uintptr_t begin, std::uintptr_t end) {
    const int fd = open("/proc/self/pagemap", O_RDONLY);
    if (fd < 0) return -1;
    const long page = sysconf(_SC_PAGESIZE);
    long missing = 0;
    for (std::uintptr_t a = begin; a < end; a += page) {
        std::uint64_t entry = 0;
        if (pread(fd, &entry, sizeof entry, off_t(a / page * sizeof entry)) != sizeof entry) {
            close(fd);
            return -1;
        }
        if (!(entry >> 62)) ++missing;
    }
    close(fd);
    return missing;
}

bool isLoaded(const QString& library) {
    void* handle = dlopen(QFile::encodeName(library).constData(), RTLD_LAZY | RTLD_NOLOAD);
    if (handle) dlclose(handle);
    return handle != nullptr;
}

} // namespace

TEST(StartupPreloader, NamesTheCounterLibraryOnlyForServersInThisProcess) {
    kvxtest::TempTree tree;
    EXPECT_TRUE(StartupPreloader::inProcessServerLibrary().isEmpty()); // not registered

    registerCounterLibrary(tree, "/opt/kvx/lib/libkvxappserver.so");
    EXPECT_EQ(StartupPreloader::inProcessServerLibrary(), "/opt/kvx/lib/libkvxappserver.so");
    tree.writeText("client/StaveloC.ini", "[Server Information]\nComputerName=127.0.0.1;10.0.0.9;\n");
    EXPECT_EQ(StartupPreloader::inProcessServerLibrary(), "/opt/kvx/lib/libkvxappserver.so");

    // A bare name is found by the factory's own search, which the preloader does not repeat.
    registerCounterLibrary(tree, "libkvxappserver.so");
    EXPECT_TRUE(StartupPreloader::inProcessServerLibrary().isEmpty());

    // Over the network the library is never loaded.
    registerCounterLibrary(tree, "/opt/kvx/lib/libkvxappserver.so");
    tree.writeText("client/StaveloC.ini", "[Server Information]\nComputerName=10.0.0.9\n");
    EXPECT_TRUE(StartupPreloader::inProcessServerLibrary().isEmpty());
}

TEST(StartupPreloader, LoadsTheServerLibraryOnceTheApplicationIsUpAndNeverHoldsTheProcessUp) {
    kvxtest::TempTree tree;
    // A library this test does not link, registered in place of the server library.
    const QString library = buildDir() + "/lib/Kvlanguage.so";
    ASSERT_TRUE(QFile::exists(library));
    ASSERT_FALSE(isLoaded(library));
    registerCounterLibrary(tree, library);

    // finish() before applicationReady(): the process is ending, so the thread stops waiting for the
    // application and loads nothing more (a fault here hangs the test).
    {
        StartupPreloader preloader;
        preloader.waitForFontConfiguration();
        preloader.finish();
        preloader.waitForFontConfiguration(); // after the end it returns at once
    }
    EXPECT_FALSE(isLoaded(library));

    // The usual course; the destructor alone ends the thread.
    {
        StartupPreloader preloader;
        preloader.applicationReady();
        preloader.waitForFontConfiguration();
    }
    EXPECT_TRUE(isLoaded(library));
}

TEST(StartupPreloader, PreparedFontsDrawTheWindowsNamesInTheCjkFamily) {
    kvxtest::TempTree tree;
    const QString cjk = kvx::fonts::installedCjkFamily();
    if (cjk.isEmpty()) GTEST_SKIP() << "no CJK font family installed";
    StartupPreloader preloader;
    preloader.applicationReady();
    // On the main thread while the other fills the fallback lists: the same answers as without it.
    preloader.prepareFonts();
    for (const char* name : {"宋体", "Tahoma"}) {
        QFont font(QString::fromUtf8(name));
        font.setPixelSize(13);
        EXPECT_EQ(QFontInfo(font).family().toLower(), cjk.toLower()) << name;
    }
    preloader.prepareFonts(); // again, as the shell may: nothing changes
    EXPECT_EQ(QFont::substitutes(QStringLiteral("宋体")).size(), 1);
    preloader.finish();
}

TEST(StartupPreloader, TurnedOffItStartsNoThread) {
    kvxtest::TempTree tree;
    const QString library = buildDir() + "/lib/KvxDocuments.so";
    ASSERT_FALSE(isLoaded(library));
    registerCounterLibrary(tree, library);
    kvxtest::ScopedEnv off("KVX_STARTUP_PRELOAD", "0");
    EXPECT_FALSE(StartupPreloader::enabled());
    StartupPreloader preloader;
    preloader.waitForFontConfiguration(); // no thread: returns at once
    preloader.finish();
    EXPECT_FALSE(isLoaded(library));
}

namespace {

class PellanStartup : public ::testing::Test {
protected:
    kvxtest::TempTree tree;

    void SetUp() override {
        ASSERT_FALSE(buildDir().isEmpty());
        kvxtest::registerBuiltClasses(tree);
    }

    PellanRun pellan(const QStringList& args, const QMap<QString, QString>& env = {}) {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        for (auto it = env.begin(); it != env.end(); ++it)
            e.insert(it.key(), it.value());
        return kvxtest::runPellan(args, e);
    }

    // The same run with the preloading thread and without it: the same output, messages and exit code.
    void expectSameWithAndWithoutPreloading(const QStringList& args) {
        const PellanRun with = pellan(args);
        const PellanRun without = pellan(args, {{"KVX_STARTUP_PRELOAD", "0"}});
        EXPECT_EQ(with.exitCode, without.exitCode) << args.join(' ').toStdString();
        EXPECT_EQ(with.out, without.out) << args.join(' ').toStdString();
        EXPECT_EQ(with.err, without.err) << args.join(' ').toStdString();
    }
};

} // namespace

TEST_F(PellanStartup, PreloadingChangesNothingTheUserSees) {
    const QString testModule = buildDir() + "/lib/QLDI99C.so";
    const QString shot = tree.root() + "/shot.png";
    expectSameWithAndWithoutPreloading({"--module", testModule, "--open-mode", "10", "--screenshot", shot});
    expectSameWithAndWithoutPreloading({"--module", tree.root() + "/missing.so"});
    expectSameWithAndWithoutPreloading({"--module", testModule, "--rights", "all"});
    expectSameWithAndWithoutPreloading({"--help"});

    // The program itself, with its server library missing or not a library at all: the start fails in
    // the same words whether or not the preloading thread tried the library first.
    tree.writeText("client/StaveloC.ini", "[Server Information]\nComputerName=127.0.0.1\n");
    const QStringList program = {"--module", buildDir() + "/lib/QLDI05C.so", "--screenshot", shot};
    registerCounterLibrary(tree, tree.root() + "/missing.so");
    const PellanRun missing = pellan(program);
    EXPECT_NE(missing.exitCode, 0);
    EXPECT_TRUE(missing.err.contains("Cannot load library " + tree.root() + "/missing.so"))
        << missing.err.toStdString();
    expectSameWithAndWithoutPreloading(program);
    registerCounterLibrary(tree, tree.writeText("notalibrary.so", "text"));
    expectSameWithAndWithoutPreloading(program);
}

TEST_F(PellanStartup, TheTimelineListsThePhasesInOrderOnlyWhenAskedFor) {
    tree.writeText("client/StaveloC.ini", "[Server Information]\nComputerName=127.0.0.1\n"
                                          "[CodePage]\nUICodePage=936\nDBCodePage=936\n");
    const QStringList args = {"--module", buildDir() + "/lib/QLDI05C.so", "--first-paint"};
    const PellanRun quiet = pellan(args);
    ASSERT_EQ(quiet.exitCode, 0) << quiet.err.toStdString();
    EXPECT_FALSE(quiet.err.contains("kvx.startup")) << quiet.err.toStdString();
    EXPECT_FALSE(pellan(args, {{"KVX_STARTUP_TRACE", "0"}}).err.contains("kvx.startup"));

    const PellanRun traced = pellan(args, {{"KVX_STARTUP_TRACE", "1"}});
    ASSERT_EQ(traced.exitCode, 0) << traced.err.toStdString();
    EXPECT_EQ(traced.out, quiet.out); // the trace goes to stderr only
    static const QRegularExpression line(
        R"(^kvx\.startup: +([0-9.]+) ms +\(\+ *([0-9.]+), cpu \+ *([0-9.]+), thread +([0-9.]+)\) +(.+)$)",
        QRegularExpression::MultilineOption);
    QStringList mainPhases;
    QStringList preloadPhases;
    double previous = 0;
    for (auto it = line.globalMatch(traced.err); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const double at = m.captured(1).toDouble();
        EXPECT_GE(at, previous) << m.captured(0).toStdString(); // lines come in the order marked
        previous = at;
        const QString phase = m.captured(5);
        (phase.startsWith("preload: ") ? preloadPhases : mainPhases) << phase;
    }
    EXPECT_EQ(mainPhases,
              QStringList({"main", "application", "module loaded", "work center", "window built", "Start",
                           "CreateProgram", "SetVisible", "first paint event", "first paint"}))
        << traced.err.toStdString();
    EXPECT_EQ(preloadPhases, QStringList({"preload: font configuration", "preload: font database",
                                          "preload: font fallbacks", "preload: server library"}));

    // Asked for, the start-up thread populates the memory the main thread is about to touch, last; the
    // program shows the same.
    const PellanRun prefaulted = pellan(args, {{"KVX_STARTUP_TRACE", "1"}, {"KVX_STARTUP_PREFAULT", "1"}});
    ASSERT_EQ(prefaulted.exitCode, 0) << prefaulted.err.toStdString();
    EXPECT_EQ(prefaulted.out, quiet.out);
    static const QRegularExpression prefaultLine(
        R"(prefaulted ([0-9]+) KB of heap, ([0-9]+) KB of code in ([0-9]+) libraries)");
    const QRegularExpressionMatch counts = prefaultLine.match(prefaulted.err);
    ASSERT_TRUE(counts.hasMatch()) << prefaulted.err.toStdString();
#ifndef __SANITIZE_ADDRESS__ // the sanitizer's allocator keeps its own heap, outside the program break
    EXPECT_GE(counts.captured(1).toInt(), 2048) << "the heap's reserve, populated";
#endif
    EXPECT_GT(counts.captured(3).toInt(), 3) << "Qt's three libraries and the installation's own";
    EXPECT_TRUE(prefaulted.err.contains("preload: memory prefaulted"));
}

// The start-up thread maps the main heap's reserve and the libraries' code for the main thread: afterwards
// every page of both has its page-table entry, so the first touch takes no fault on any thread.
TEST(MemoryPrefault, PopulatesTheHeapReserveAndTheNamedLibrariesCode) {
    // A library the process has loaded but runs little of, and that the start-up thread leaves alone.
    const char* const icu[] = {"libicuuc", nullptr};
    const char* const none[] = {"no-such-library-here", nullptr};
    int objects = 0;
    const auto code = pellan::MemoryPrefault::codeSegments(icu, &objects);
    ASSERT_EQ(objects, 1) << "Qt Core loads ICU";
    ASSERT_FALSE(code.empty());
    EXPECT_TRUE(pellan::MemoryPrefault::codeSegments(none, &objects).empty());
    EXPECT_EQ(objects, 0);

    constexpr std::size_t reserve = std::size_t(2) << 20;
    const std::uintptr_t start = pellan::MemoryPrefault::reserveHeap(reserve);
    // Small blocks until the heap grows: the growth brings the reserve with it.
    const auto before = pellan::MemoryPrefault::heapRange(start);
    std::vector<void*> blocks;
    for (int i = 0; i < 64 && pellan::MemoryPrefault::heapRange(start).end == before.end; ++i)
        blocks.push_back(std::malloc(16 * 1024));
    const auto heap = pellan::MemoryPrefault::heapRange(start);
    const bool heapGrew = heap.end > before.end; // not under an allocator of its own (a sanitizer's)

    long codeMissing = 0;
    for (const auto& r : code) {
        const long missing = missingPages(r.begin, r.end);
        if (missing < 0) GTEST_SKIP() << "no page map to check against";
        codeMissing += missing;
    }
    EXPECT_GT(codeMissing, 0) << "most of ICU's code has never run here";

    pellan::PrefaultCounts counts;
    std::thread([&] { counts = pellan::MemoryPrefault::populate(start, icu); }).join();
    EXPECT_EQ(counts.libraries, 1);
    if (!counts.heapSupported) GTEST_SKIP() << "the kernel has no populate advice";
    std::size_t codeBytes = 0;
    for (const auto& r : code) {
        codeBytes += r.end - r.begin;
        EXPECT_EQ(missingPages(r.begin, r.end), 0);
    }
    EXPECT_EQ(counts.codeBytes, codeBytes);
    if (heapGrew) {
        EXPECT_GE(heap.end - heap.begin, reserve);
        EXPECT_GE(counts.heapBytes, heap.end - heap.begin);
        EXPECT_EQ(missingPages(heap.begin, heap.end), 0);
    }
    for (void* b : blocks)
        std::free(b);
}

// StartupPreloader: work the start of a program will need, done ahead on a second thread while the main
// thread builds the application, loads the program library and builds its window.
//
// Only warm-ups that leave nothing for the main thread to pick up run there: the font configuration is
// loaded and Qt's font database populated (fontconfig and QFontDatabase are thread-safe; the main thread
// waits for the configuration before its first text, and on the font database's own lock when it needs
// the database while the thread populates it), and the library of the in-process counter server is
// mapped and relocated with dlopen (the dynamic loader serialises loads; the automation factory later
// finds it loaded). Once the main thread has entered the font substitutions (prepareFonts), the thread
// also fills Qt's process-wide fallback lists of the design faces (kvx::fonts::warmFallbackLists), which
// the window's first texts would otherwise compute on the main thread. A failure there changes nothing: the
// main thread does the same step for real later and reports it as it always has (the thread's exceptions go
// to kvx.shell at info level). KVX_STARTUP_PRELOAD=0 turns the thread off.
#pragma once

#include <QString>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace pellan {

class StartupPreloader {
public:
    // Starts the thread: the font configuration; once the application is there, the font database and
    // the server library; with MemoryPrefault enabled, last, the main heap from `prefaultHeapFrom` (what
    // MemoryPrefault::reserveHeap returned) and the libraries' code.
    explicit StartupPreloader(std::uintptr_t prefaultHeapFrom = 0);
    // Joins; call finish() before the application object goes, since the fonts need it.
    ~StartupPreloader();

    StartupPreloader(const StartupPreloader&) = delete;
    StartupPreloader& operator=(const StartupPreloader&) = delete;

    // The QGuiApplication exists: the font database may be populated.
    void applicationReady();
    // Waits until the font configuration is loaded, so that Qt does not load it a second time beside
    // it; call before anything draws or measures text, and before changing the environment (fontconfig
    // reads it with getenv).
    void waitForFontConfiguration();
    // On the main thread, before the program's window: waits for the font configuration, enters the
    // substitutions of the Windows font families (kvx::fonts::installFontSubstitutions) and lets the
    // thread fill the fallback lists. Without the thread, only the first two.
    void prepareFonts();
    // Joins the thread; without the application it stops waiting for it and loads nothing more.
    void finish();

    static bool enabled();
    // The library registered for the counter server when the servers run in this process and the
    // registration names an absolute path; empty otherwise.
    static QString inProcessServerLibrary();

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool applicationReady_ = false;
    bool fontConfigurationReady_ = false;
    bool fontsSubstituted_ = false;
    bool finishing_ = false;
    std::uintptr_t prefaultHeapFrom_;
    std::thread thread_;

    void run();
    // True when the application is there; false when finish() came before it.
    bool waitForApplication();
    // True when the substitutions are entered; false when finish() came before them.
    bool waitForFontSubstitutions();
};

} // namespace pellan

// Loads a settings file holding any bytes. UserDefaults must either load it (a dictionary) or
// move it aside and start empty; then a change must be written as a readable file.
#include "foundation/UserDefaults.h"

#include <glib.h>

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    namespace fs = std::filesystem;
    // Every corrupt input logs a warning; thousands of them would bury the run's result.
    static const bool quiet = [] {
        g_log_set_writer_func([](GLogLevelFlags, const GLogField*, gsize, gpointer) { return G_LOG_WRITER_HANDLED; },
                              nullptr, nullptr);
        return true;
    }();
    (void)quiet;
    // Every input is a file that is read, maybe moved aside, and written back with fsync. On a
    // disk the syncs set the pace (a few hundred inputs a second); in memory (/dev/shm) they cost
    // nothing, so the target runs there when it can.
    static const fs::path& folder = *[] {
        const char* tmp = std::getenv("TMPDIR");
        std::error_code error;
        const fs::path memory = "/dev/shm";
        const fs::path base = fs::is_directory(memory, error) && access(memory.c_str(), W_OK) == 0
                                  ? memory
                                  : fs::path(tmp && *tmp ? tmp : "/tmp");
        auto* path = new fs::path(base / ("user-defaults-fuzz-" + std::to_string(getpid())));
        fs::create_directories(*path);
        std::atexit([] { std::error_code ignored; fs::remove_all(folder, ignored); });
        return path;
    }();
    for (const auto& entry : fs::directory_iterator(folder)) fs::remove_all(entry.path());
    const fs::path file = folder / "defaults.plist";
    {
        std::ofstream out(file, std::ios::binary);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }

    platform::UserDefaults defaults(file);
    defaults.registerDefaults(platform::PropertyList::Dictionary{{"registered", 1}});
    (void)defaults.boolForKey("flag");
    (void)defaults.integerForKey("count");
    (void)defaults.doubleForKey("alpha");
    (void)defaults.stringForKey("name");
    (void)defaults.urlForKey("url");
    if (defaults.integerForKey("registered") != 1 && !defaults.object("registered")) std::abort();

    defaults.setInteger("fuzz", 1);
    if (!defaults.synchronize()) std::abort();
    if (platform::UserDefaults(file).integerForKey("fuzz") != 1) std::abort();
    return 0;
}

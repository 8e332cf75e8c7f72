// Config.ini loader: any file either loads or raises a clear error; a loaded file survives a
// setter and loads again with the same values.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "data/TSettings.h"

namespace {

std::filesystem::path ScratchFile() {
    return std::filesystem::temp_directory_path() / ("wl-fuzz-config-" + std::to_string(::getpid()) + ".ini");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto file = ScratchFile();
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    try {
        wl::TSettings settings(file);
        settings.SetShowBloks(!settings.ShowBloks());
        wl::TSettings again(file);
        if (again.ShowBloks() != settings.ShowBloks() || again.Key() != settings.Key() ||
            again.HotKeyMain() != settings.HotKeyMain() ||
            again.WppDateToChange() != settings.WppDateToChange() ||
            again.SyncPort() != settings.SyncPort() || again.SyncHost() != settings.SyncHost())
            std::abort();
    } catch (const std::runtime_error&) {
        // Unreadable settings are reported, never crash.
    }
    std::error_code ec;
    std::filesystem::remove(file, ec);
    return 0;
}

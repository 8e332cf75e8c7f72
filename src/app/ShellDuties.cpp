#include "app/ShellDuties.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/AppCommandLine.h"
#include "app/TfmMain.h"
#include "diag/ErrLog.h"
#include "platform/Restarter.h"
#include "platform/WeekleafVersion.h"

namespace wl {
namespace {

constexpr const char* kUpdateService = "https://weekleaf.org/update";
const std::string kProductVersion = std::string("Weekleaf ") + kWeekleafVersion;
constexpr int kRestartMs = 7000000;
constexpr int kRestartQuietMs = 180000;

}  // namespace

void ApplyStartWithOS(bool on, const std::filesystem::path& program, const TXdgAutostart& autostart) {
    if (!on) {
        autostart.Remove();
        return;
    }
    if (program.empty()) return;
    autostart.Add({program.string(), "/reg"});
}

bool CheckUpdate(const std::filesystem::path& folder) {
    return StartDetached(folder / kUpdaterName, {kUpdateService, kProductVersion});
}

bool StartRestarter(const std::filesystem::path& folder, bool hidden) {
    AskProgramsToClose(kUpdaterName);
    std::vector<std::string> args{"restart"};
    if (hidden) args.push_back(kHiddenOption);
    return StartDetached(folder / kRestarterName, args, {{kRestartPidVariable, std::to_string(::getpid())}});
}

int RestartIntervalMs() {
    const char* text = std::getenv("WEEKLEAF_RESTART_MS");
    if (!text || !*text) return kRestartMs;
    char* end = nullptr;
    const long ms = std::strtol(text, &end, 10);
    if (*end != '\0' || ms <= 0 || ms > 0x7fffffffL) return kRestartMs;
    return static_cast<int>(ms);
}

int RestartQuietMs() {
    return std::min(kRestartQuietMs, RestartIntervalMs());
}

void LinkShellDuties(TfmMain& window, std::filesystem::path programFolder) {
    const std::filesystem::path program = programFolder / "weekleaf";
    window.hooks.AddToStartUp = [] { ApplyStartWithOS(true); };
    window.hooks.RemoveFromStartUp = [] { ApplyStartWithOS(false); };
    window.hooks.CheckUpdate = [programFolder] { CheckUpdate(programFolder); };
    window.hooks.Restart = [&window, programFolder] {
        if (!StartRestarter(programFolder, !window.WindowShown())) {
            ErrLog("tRestartTimer: " + (programFolder / kRestarterName).string() +
                   " could not be started; the program goes on");
            return;
        }
        window.tRestart.stop();
        window.tFixHalt.start();
    };
    window.tRestart.setInterval(RestartIntervalMs());
    window.RestartQuietMs = RestartQuietMs();
}

}  // namespace wl

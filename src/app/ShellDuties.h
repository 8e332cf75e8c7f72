#pragma once
// The shell's duties that reach outside the process: the autostart entry, the update check at
// start-up and the periodic restart through the companion restarter. The companions are looked
// for beside the program's own executable: "weekleaf-updater" and "weekleaf-restarter".
#include <filesystem>

#include "platform/Autostart.h"
#include "platform/Programs.h"

namespace wl {

class TfmMain;

constexpr const char* kUpdaterName = "weekleaf-updater";
constexpr const char* kRestarterName = "weekleaf-restarter";

// The autostart entry follows StartWithOS: on, it is (re)written to run `program` with "/reg";
// off, our entry is removed, so unticking the option takes effect. The options page calls this
// when it saves the setting; the start-up calls it with the stored setting.
void ApplyStartWithOS(bool on, const std::filesystem::path& program = OwnExecutable(),
                      const TXdgAutostart& autostart = TXdgAutostart());

// Starts the updater in `folder` when it is there, with the update service's address and
// "Weekleaf 3.0.3"; never waits for it. Returns whether one was started.
bool CheckUpdate(const std::filesystem::path& folder);

// The restart's first half: asks a running updater to close and starts the restarter in `folder`
// with "restart" (it waits for this process to end), and "--hidden" when the new instance is to
// keep the window in the tray. False when the restarter could not be started; the program must
// then go on running.
bool StartRestarter(const std::filesystem::path& folder, bool hidden = false);

// The restart period: WEEKLEAF_RESTART_MS when it is a positive whole number, else 7000000 ms.
int RestartIntervalMs();
// How long no key must have been pressed before the restart goes: three minutes, or the period
// when that is shorter.
int RestartQuietMs();

// Sets the window's hooks for the three duties, the restart period and its quiet spell. After the
// restarter started, tFixHalt ends the process 5 s later the way a newer instance's request does
// (the day editor's text is stored and posted first); the new instance shows the window when this
// one had it shown. When the restarter could not be started, the program keeps running and tries
// again a period later.
void LinkShellDuties(TfmMain& window, std::filesystem::path programFolder = OwnExecutable().parent_path());

}  // namespace wl

#pragma once
// The data folder and its first-run files.
#include <filesystem>
#include <string>

#include "platform/DateText.h"

namespace wl {

// Paths fixed for the process by CheckFiles().
struct DataPaths {
    std::filesystem::path DataPath, WppPath, ConfigPath, ModifiedBmpPath, WallpaperBmpPath, WppOldPath;
    std::filesystem::path DataJsonPath() const { return DataPath / "Data.json"; }
    std::filesystem::path ErrLogPath() const { return DataPath / "ErrLog.txt"; }
    // The days and pages whose text the sync service has not been sent yet (app/UnpostedDays.h).
    std::filesystem::path UnpostedPath() const { return DataPath / "Unposted.json"; }
};

// Creates DataDir()/Wpp, writes the default Data.json and Config.ini where missing (atomically)
// and returns the paths; firstStart becomes true only when Config.ini had to be written.
// Existing files are not examined; temporary files that interrupted saves left in the folder
// and in Wpp are removed (RemoveLeftoverTempFiles). Throws when the folder cannot be created or a file cannot
// be written. Main thread, once at start-up.
DataPaths CheckFiles(bool& firstStart, DateTime now = Now());

// The default file texts, exactly as written on a first run (CR LF line ends included).
std::string DefaultDataJson();
std::string DefaultConfigIni(DateTime now);

}  // namespace wl

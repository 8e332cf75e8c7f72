#include "data/DataFiles.h"

#include <stdexcept>

#include "platform/AtomicFile.h"
#include "platform/DataDir.h"

namespace wl {

namespace {

bool Exists(const std::filesystem::path& p) {
    std::error_code ec;
    const bool exists = std::filesystem::exists(p, ec);
    if (ec) throw std::runtime_error("Cannot check \"" + p.string() + "\": " + ec.message());
    return exists;
}

}  // namespace

std::string DefaultDataJson() {
    return "{\"ver\":\"HTML\", \"note\":\"\",\"template\":\""
           "\\u041d\\u0410 \\u0420\\u0410\\u0411\\u041e\\u0422\\u0415:\\r\\n-\\r\\n\\r\\n"
           "\\u0412 \\u0413\\u041e\\u0420\\u041e\\u0414\\u0415:\\r\\n- \\r\\n\\r\\n"
           "\\u0414\\u041e\\u041c\\u0410:\\r\\n- \\r\\n\\r\\n"
           "\\u0417\\u0410\\u041c\\u0415\\u0422\\u041a\\u0418:\\r\\n-\"}\r\n";
}

std::string DefaultConfigIni(DateTime now) {
    // The first wallpaper rotation is put out of reach until the user picks a period.
    const std::string lines[] = {
        "StartWithOS=true",
        "HideOnStart=-1",
        "ShowBloks=-1",
        "Key=",
        "WppDateToChange=" + DateTimeToStr(AddDays(now, 7200)),
        "WppToChange=4",
        "WppRandom=0",
        "WppCurIndex=0",
        "UseHotKey=-1",
        "HotKeyMain=0",
        "HotKeyNote=9",
        "HotKeyTemplate=8",
        "HotKeyBlock=7",
        "HotKeyEditor=6",
        "Font=Tahoma",
        "FontSize=8",
    };
    std::string text;
    for (const auto& l : lines) text += l + "\r\n";
    return text;
}

DataPaths CheckFiles(bool& firstStart, DateTime now) {
    firstStart = false;
    DataPaths p;
    p.DataPath = DataDir();
    p.WppPath = p.DataPath / "Wpp";
    std::filesystem::create_directories(p.WppPath);  // throws filesystem_error naming the folder
    // Saves cut short by a kill leave their temporary files behind; they would pile up.
    RemoveLeftoverTempFiles(p.DataPath);
    RemoveLeftoverTempFiles(p.WppPath);

    if (!Exists(p.DataJsonPath())) WriteFileAtomic(p.DataJsonPath(), DefaultDataJson());

    p.ConfigPath = p.DataPath / "Config.ini";
    if (!Exists(p.ConfigPath)) {
        WriteFileAtomic(p.ConfigPath, DefaultConfigIni(now));
        firstStart = true;
    }

    p.ModifiedBmpPath = p.DataPath / "Weekleaf-Modifed.bmp";
    p.WallpaperBmpPath = p.DataPath / "Weekleaf-Wallpaper.bmp";
    p.WppOldPath = p.DataPath / "WppOld.bmp";
    return p;
}

}  // namespace wl

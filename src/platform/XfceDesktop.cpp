#include "platform/XfceDesktop.h"

#include <cstdlib>
#include <sstream>
#include <stdexcept>

#include "platform/DesktopFiles.h"
#include "platform/RunCommand.h"
#include "platform/ShownLinks.h"

namespace wl {

namespace fs = std::filesystem;

namespace {

constexpr const char* kQuery = "xfconf-query";
constexpr const char* kChannel = "xfce4-desktop";
constexpr const char* kFreshProperty = "/backdrop/screen0/monitor0/workspace0/last-image";
constexpr const char* kStretched = "3";

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::string TrimLine(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

void SetProperty(const std::string& property, const std::string& type, const std::string& value) {
    const CommandResult r =
        RunCommand({kQuery, "-c", kChannel, "-p", property, "-n", "-t", type, "-s", value});
    if (r.exitCode != 0) throw std::runtime_error("xfconf-query could not set " + property);
}

}  // namespace

XfceDesktop::XfceDesktop() {
    if (!ProgramInPath(kQuery)) throw std::runtime_error("xfconf-query is not installed");
}

std::vector<std::string> XfceDesktop::ImageProperties() {
    std::vector<std::string> found;
    const CommandResult r = RunCommand({kQuery, "-c", kChannel, "-l"});
    std::istringstream lines(r.out);
    std::string line;
    while (std::getline(lines, line))
        if (EndsWith(TrimLine(line), "/last-image")) found.push_back(TrimLine(line));
    return found;
}

std::string XfceDesktop::ShownFile() {
    const std::vector<std::string> properties = ImageProperties();
    if (properties.empty()) return {};
    return TrimLine(RunCommand({kQuery, "-c", kChannel, "-p", properties.front()}).out);
}

std::string XfceDesktop::CurrentWallpaperFile() {
    const std::string shown = ShownFile();
    return shown.empty() ? shown : OriginalOf(shown).string();
}

void XfceDesktop::ShowWallpaper(const std::string& path) {
    std::error_code ec;
    const fs::path file = fs::absolute(path, ec).lexically_normal();
    const fs::path shown = ShownFile();
    const fs::path named = NameToShow(file, shown);
    std::vector<std::string> properties = ImageProperties();
    if (properties.empty()) properties.push_back(kFreshProperty);
    for (const std::string& property : properties) {
        const std::string base = property.substr(0, property.size() - std::string("last-image").size());
        SetProperty(base + "image-style", "int", kStretched);
        SetProperty(property, "string", named.string());
    }
    ForgetOldLinks(named, shown);
}

std::string XfceDesktop::SystemWallpaperCopyName() {
    return ShownPictureName(ShownFile());
}

fs::path XfceDesktop::SaveSystemWallpaperCopy(const fs::path& folder) {
    return CopyShownPicture(ShownFile(), folder);
}

}  // namespace wl

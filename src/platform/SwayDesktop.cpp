#include "platform/SwayDesktop.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include "platform/DesktopFiles.h"
#include "platform/SwayIpc.h"

namespace wl {

namespace fs = std::filesystem;

namespace {

struct Swaybg {
    int pid = 0;
    unsigned long long started = 0;  // clock ticks after boot
    std::vector<std::string> argv;
};

std::string ReadWhole(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> SplitAtNul(const std::string& bytes) {
    std::vector<std::string> parts;
    std::string part;
    for (const char c : bytes) {
        if (c != '\0') {
            part += c;
            continue;
        }
        parts.push_back(part);
        part.clear();
    }
    if (!part.empty()) parts.push_back(part);
    return parts;
}

unsigned long long StartTime(const std::string& stat) {
    // Field 22; the command name (field 2) may hold blanks and parentheses, so count after its end.
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(stat.substr(close + 1));
    std::string field;
    for (int i = 3; i <= 22 && fields >> field; ++i) {
        if (i == 22) return std::stoull(field);
    }
    return 0;
}

// The live swaybg processes of `uid` (the compositor's user), oldest first. A process that ends
// while it is read is passed over.
std::vector<Swaybg> SwaybgProcesses(uid_t uid) {
    std::vector<Swaybg> found;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        struct stat info {};
        if (::stat(entry.path().c_str(), &info) != 0 || info.st_uid != uid) continue;
        if (ReadWhole(entry.path() / "comm") != "swaybg\n") continue;
        Swaybg process{std::stoi(name), 0, SplitAtNul(ReadWhole(entry.path() / "cmdline"))};
        if (process.argv.empty()) continue;  // ended and not yet reaped
        try {
            process.started = StartTime(ReadWhole(entry.path() / "stat"));
        } catch (const std::exception&) {
            continue;
        }
        found.push_back(std::move(process));
    }
    std::sort(found.begin(), found.end(),
              [](const Swaybg& a, const Swaybg& b) { return a.started < b.started; });
    return found;
}

uid_t SocketOwner(const std::string& socketPath) {
    struct stat info {};
    if (::stat(socketPath.c_str(), &info) != 0) return ::getuid();
    return info.st_uid;
}

bool ShowsPicture(const std::vector<std::string>& argv, const std::string& file) {
    for (std::size_t i = 1; i + 1 < argv.size(); ++i) {
        if ((argv[i] == "-i" || argv[i] == "--image") && argv[i + 1] == file) return true;
    }
    return false;
}

// Whether every picture the command line shows is `file`.
bool OnlyPicture(const std::vector<std::string>& argv, const std::string& file) {
    for (std::size_t i = 1; i + 1 < argv.size(); ++i) {
        if ((argv[i] == "-i" || argv[i] == "--image") && argv[i + 1] != file) return false;
    }
    return true;
}

}  // namespace

SwayDesktop::SwayDesktop(std::string socketPath) : FSocket(std::move(socketPath)) {
    SwayRequest(FSocket, SwayMessage::GetVersion, "");
}

std::string SwayDesktop::ShowCommand(const std::string& output, const fs::path& file) {
    return "output " + SwayQuoted(output) + " bg " + SwayQuoted(file.string()) + " stretch";
}

std::string SwayDesktop::PictureOfSwaybg(const std::vector<std::string>& argv, const std::string& output) {
    std::string current, own, everyOutput;
    for (std::size_t i = 1; i + 1 < argv.size(); ++i) {
        const std::string& option = argv[i];
        if (option == "-o" || option == "--output") current = argv[i + 1];
        if (option != "-i" && option != "--image") continue;
        if (current == output && own.empty()) own = argv[i + 1];
        if (current == "*" && everyOutput.empty()) everyOutput = argv[i + 1];
    }
    return own.empty() ? everyOutput : own;
}

std::string SwayDesktop::Primary() {
    return PrimaryOutput(SwayRequest(FSocket, SwayMessage::GetOutputs, "")).name;
}

std::string SwayDesktop::ShownPicture() {
    const std::vector<Swaybg> running = SwaybgProcesses(SocketOwner(FSocket));
    if (running.empty()) return "";
    return PictureOfSwaybg(running.back().argv, Primary());
}

std::string SwayDesktop::CurrentWallpaperFile() {
    const std::string shown = ShownPicture();
    std::lock_guard lock(FLock);
    if (!FShown.empty() && shown == FShown) return FShown;
    return shown;
}

void SwayDesktop::ShowWallpaper(const std::string& path) {
    // sway answers success for a file it cannot read and keeps the old picture: say so instead.
    std::error_code error;
    if (!fs::is_regular_file(path, error)) throw std::runtime_error("no picture file \"" + path + "\"");
    const std::string output = Primary();
    if (output.empty()) throw std::runtime_error("sway names no active output");
    std::lock_guard lock(FLock);
    SwayRunCommand(FSocket, ShowCommand(output, path));
    FShown = path;
}

std::string SwayDesktop::SystemWallpaperCopyName() {
    return ShownPictureName(ShownPicture());
}

fs::path SwayDesktop::SaveSystemWallpaperCopy(const fs::path& folder) {
    const std::string shown = ShownPicture();
    std::error_code error;
    if (shown.empty() || !fs::is_regular_file(shown, error))
        throw std::runtime_error("swaybg shows no picture file (\"" + shown + "\")");
    return CopyShownPicture(shown, folder);
}

void SwayDesktop::ClearWallpaper() {
    std::lock_guard lock(FLock);
    if (FShown.empty()) return;
    for (const Swaybg& process : SwaybgProcesses(SocketOwner(FSocket))) {
        if (!ShowsPicture(process.argv, FShown)) continue;
        if (OnlyPicture(process.argv, FShown)) {
            ::kill(process.pid, SIGTERM);
            continue;
        }
        // The same swaybg draws other outputs' pictures: ours gets a plain colour instead.
        SwayRunCommand(FSocket, "output " + SwayQuoted(Primary()) + " bg #000000 solid_color");
    }
    FShown.clear();
}

ScreenSize SwayDesktop::Screen() {
    try {
        const SwayOutput output = PrimaryOutput(SwayRequest(FSocket, SwayMessage::GetOutputs, ""));
        if (output.width > 0 && output.height > 0) return {output.width, output.height, output.scale};
    } catch (const std::exception&) {
    }
    return kDefaultScreen;
}

std::string SwayDesktop::OutputName() {
    try {
        return Primary();
    } catch (const std::exception&) {
        return "";
    }
}

}  // namespace wl

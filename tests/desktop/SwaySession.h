#pragma once
// A private headless sway for one test: its own runtime folder, no Xwayland (so it never takes a
// display number another test's X server wants), one output of the given size, and optionally a
// picture of the "user's" on every output and lines of the user's own configuration. sway refuses
// to run as root, so a root caller runs it as the unprivileged user 65534; root can still reach
// its sockets, and its swaybg can read the test's files as long as they are readable by everyone.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace wl::test {

// A grim screenshot: 0xRRGGBB per pixel, top row first.
struct ScreenShot {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

class SwaySession {
  public:
    // `extraConfig` is added to the configuration as it stands (the user's own lines).
    SwaySession(const std::filesystem::path& root, int width, int height, const std::string& picture = {},
                const std::string& extraConfig = {})
        : FRoot(root) {
        if (!Installed()) return;
        namespace fs = std::filesystem;
        fs::remove_all(FRoot);
        fs::create_directories(FRoot / "run");
        fs::permissions(FRoot, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                   fs::perms::others_read | fs::perms::others_exec);
        const bool root_user = ::geteuid() == 0;
        if (root_user && ::chown((FRoot / "run").c_str(), kUser, kUser) != 0) return;
        fs::permissions(FRoot / "run", fs::perms::owner_all);
        {
            std::ofstream config(FRoot / "config");
            config << "xwayland disable\n"
                   << "output HEADLESS-1 mode " << width << "x" << height << "\n";
            if (!picture.empty()) config << "output * bg \"" << picture << "\" stretch\n";
            config << extraConfig;
        }
        std::vector<std::string> args;
        if (root_user) {
            const std::string id = std::to_string(kUser);
            args = {"setpriv", "--reuid=" + id, "--regid=" + id, "--clear-groups"};
        }
        args.insert(args.end(), {"sway", "-c", (FRoot / "config").string()});
        FPid = Spawn(args, Environment(), FRoot / "sway.log");
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        while (FSocket.empty() && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            FindSockets();
        }
        // swaybg draws a moment after the compositor answers.
        if (!picture.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    ~SwaySession() {
        if (FPid <= 0) return;
        ::kill(-FPid, SIGTERM);
        int status = 0;
        ::waitpid(FPid, &status, 0);
        std::error_code error;
        std::filesystem::remove_all(FRoot, error);
    }
    SwaySession(const SwaySession&) = delete;
    SwaySession& operator=(const SwaySession&) = delete;

    static bool Installed() {
        return std::system(
                   "command -v sway >/dev/null 2>&1 && command -v swaybg >/dev/null 2>&1 && "
                   "command -v grim >/dev/null 2>&1") == 0;
    }
    bool Running() const { return !FSocket.empty(); }
    const std::string& Socket() const { return FSocket; }                  // SWAYSOCK
    const std::string& WaylandDisplay() const { return FWaylandDisplay; }  // WAYLAND_DISPLAY
    std::filesystem::path RuntimeDir() const { return FRoot / "run"; }     // XDG_RUNTIME_DIR
    std::filesystem::path Log() const { return FRoot / "sway.log"; }

    // What the outputs show now (one output's part alone when named); empty when grim fails.
    ScreenShot Shot(const std::string& output = {}) const {
        const std::filesystem::path file = FRoot / "shot.ppm";
        const std::string only = output.empty() ? "" : " -o " + output;
        const std::string command = "WAYLAND_DISPLAY=" + FWaylandDisplay +
                                    " XDG_RUNTIME_DIR=" + RuntimeDir().string() + " grim -t ppm" + only +
                                    " " + file.string() + " 2>/dev/null";
        if (std::system(command.c_str()) != 0) return {};
        return ReadPpm(file);
    }

    // Waits until `pred(Shot())` holds or `limit` passes; true when it held.
    template <class Pred>
    bool WaitForShot(Pred pred, std::chrono::milliseconds limit, const std::string& output = {}) const {
        const auto end = std::chrono::steady_clock::now() + limit;
        do {
            const ScreenShot shot = Shot(output);
            if (shot.width > 0 && pred(shot)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        } while (std::chrono::steady_clock::now() < end);
        return false;
    }

  private:
    static constexpr uid_t kUser = 65534;

    std::vector<std::string> Environment() const {
        return {
            "PATH=/usr/bin:/bin",    "HOME=" + FRoot.string(),    "XDG_RUNTIME_DIR=" + RuntimeDir().string(),
            "WLR_BACKENDS=headless", "WLR_LIBINPUT_NO_DEVICES=1", "WLR_RENDERER=pixman"};
    }

    static pid_t Spawn(std::vector<std::string> args, std::vector<std::string> env,
                       const std::filesystem::path& log) {
        std::vector<char*> argv, envp;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, 0);
        pid_t pid = 0;
        if (posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), envp.data()) != 0) pid = 0;
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
        return pid;
    }

    void FindSockets() {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(RuntimeDir(), error)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("sway-ipc.", 0) == 0) FSocket = entry.path().string();
            if (name.rfind("wayland-", 0) == 0 && name.find('.') == std::string::npos) FWaylandDisplay = name;
        }
        if (FWaylandDisplay.empty()) FSocket.clear();
    }

    static ScreenShot ReadPpm(const std::filesystem::path& file) {
        std::ifstream in(file, std::ios::binary);
        std::string magic;
        int maxValue = 0;
        ScreenShot shot;
        in >> magic >> shot.width >> shot.height >> maxValue;
        in.get();
        if (magic != "P6" || maxValue != 255 || shot.width <= 0 || shot.height <= 0) return {};
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (bytes.size() < static_cast<std::size_t>(shot.width) * shot.height * 3) return {};
        shot.pixels.resize(static_cast<std::size_t>(shot.width) * shot.height);
        for (std::size_t i = 0; i < shot.pixels.size(); ++i) {
            const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + 3 * i);
            shot.pixels[i] = (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
        }
        return shot;
    }

    std::filesystem::path FRoot;
    pid_t FPid = 0;
    std::string FSocket;
    std::string FWaylandDisplay;
};

}  // namespace wl::test

#include "platform/Autostart.h"

#include <cstdlib>
#include <exception>
#include <string_view>
#include <system_error>

#include "platform/AtomicFile.h"

namespace wl {
namespace {

constexpr const char* kOurMark = "X-Weekleaf-Autostart=true";

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

// Characters that make an argument need quotes.
bool NeedsQuotes(std::string_view arg) {
    return arg.empty() || arg.find_first_of(" \t\n\"'\\><~|&;$*?#()`") != std::string_view::npos;
}

// One argument as the Exec key's quoting rule wants it ("%" doubled for the field codes).
std::string QuoteArgument(std::string_view arg) {
    std::string out;
    const bool quoted = NeedsQuotes(arg);
    if (quoted) out += '"';
    for (const char c : arg) {
        if (c == '%') {
            out += "%%";
            continue;
        }
        if (quoted && (c == '"' || c == '`' || c == '$' || c == '\\')) out += '\\';
        out += c;
    }
    if (quoted) out += '"';
    return out;
}

// The string escapes every value of a desktop entry goes through (after the quoting above).
std::string EscapeValue(std::string_view value) {
    std::string out;
    for (const char c : value) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    return out;
}

}  // namespace

TXdgAutostart::TXdgAutostart(std::filesystem::path folder) : FFolder(std::move(folder)) {}

std::filesystem::path TXdgAutostart::DefaultFolder() {
    const std::string config = Env("XDG_CONFIG_HOME");
    if (!config.empty() && config.front() == '/') return std::filesystem::path(config) / "autostart";
    return std::filesystem::path(Env("HOME")) / ".config" / "autostart";
}

std::string TXdgAutostart::ExecValue(const std::vector<std::string>& command) {
    std::string exec;
    for (const std::string& arg : command) {
        if (!exec.empty()) exec += ' ';
        exec += QuoteArgument(arg);
    }
    return EscapeValue(exec);
}

bool TXdgAutostart::Add(const std::vector<std::string>& command) const {
    const std::string entry = std::string("[Desktop Entry]\n") +
                              "Type=Application\n"
                              "Name=Weekleaf\n"
                              "Comment=Weekly planner on the desktop wallpaper\n"
                              "Comment[ru]=Ежедневник на обоях рабочего стола\n"
                              "Exec=" +
                              ExecValue(command) +
                              "\n"
                              "Terminal=false\n"
                              "X-GNOME-Autostart-enabled=true\n" +
                              kOurMark + "\n";
    try {
        std::filesystem::create_directories(FFolder);
        WriteFileAtomic(EntryFile(), entry);
        return true;
    } catch (const std::exception&) {
        return false;  // an autostart folder that cannot be written is skipped
    }
}

bool TXdgAutostart::Remove() const {
    try {
        const std::string text = ReadWholeFile(EntryFile(), 1 << 20);
        if (text.find(std::string("\n") + kOurMark + "\n") == std::string::npos) return false;
        std::error_code ec;
        return std::filesystem::remove(EntryFile(), ec);
    } catch (const std::exception&) {
        return false;  // no entry, or none that can be read
    }
}

}  // namespace wl

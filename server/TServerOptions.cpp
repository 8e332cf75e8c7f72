#include "TServerOptions.h"

#include <charconv>
#include <optional>
#include <string_view>

namespace wl {

namespace {

std::optional<unsigned long long> ParseUnsigned(std::string_view text, unsigned long long max) {
    unsigned long long value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value > max) return std::nullopt;
    return value;
}

// "HOST:PORT" with an IPv4 address or a name; the port may be 0.
bool ParseListen(std::string_view text, TServerOptions& options) {
    const auto colon = text.rfind(':');
    if (colon == std::string_view::npos || colon == 0) return false;
    const auto port = ParseUnsigned(text.substr(colon + 1), 65535);
    if (!port) return false;
    options.Host = std::string(text.substr(0, colon));
    options.Port = static_cast<std::uint16_t>(*port);
    return true;
}

// Applies one "--name value" pair; returns an error text or "".
std::string ApplyOption(std::string_view name, std::string_view value, TServerOptions& options) {
    constexpr unsigned long long kMaxBytes = 1ull << 30;
    if (name == "--listen")
        return ParseListen(value, options) ? ""
                                           : "--listen expects HOST:PORT, got \"" + std::string(value) + "\"";
    if (name == "--db") {
        if (value.empty()) return "--db expects a file path";
        options.DbPath = std::string(value);
        return "";
    }
    if (name == "--sync") {
        if (value != "full" && value != "normal") return "--sync expects full or normal";
        options.Durability =
            value == "full" ? TSyncStore::TDurability::Full : TSyncStore::TDurability::Normal;
        return "";
    }
    const bool isCount = name == "--max-message" || name == "--max-queue" || name == "--idle-timeout" ||
                         name == "--max-connections";
    if (!isCount) return "unknown option " + std::string(name);
    const auto number = ParseUnsigned(value, kMaxBytes);
    if (!number || *number == 0)
        return std::string(name) + " expects a positive number, got \"" + std::string(value) + "\"";
    if (name == "--max-message") options.MaxMessageBytes = *number;
    if (name == "--max-queue") options.MaxQueueBytes = *number;
    if (name == "--idle-timeout") options.IdleTimeout = std::chrono::seconds(*number);
    if (name == "--max-connections") options.MaxConnections = *number;
    return "";
}

}  // namespace

TOptionsParse ParseServerOptions(const std::vector<std::string>& args) {
    TOptionsParse result;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (arg == "--help" || arg == "-h") {
            result.Help = true;
            return result;
        }
        std::string_view name = arg, value;
        if (const auto eq = arg.find('='); arg.starts_with("--") && eq != std::string_view::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            result.Error = arg.starts_with("--") ? std::string(arg) + " needs a value"
                                                 : "unexpected argument " + std::string(arg);
            return result;
        }
        if (!name.starts_with("--")) {
            result.Error = "unexpected argument " + std::string(name);
            return result;
        }
        result.Error = ApplyOption(name, value, result.Options);
        if (!result.Error.empty()) return result;
    }
    if (result.Options.MaxQueueBytes < result.Options.MaxMessageBytes)
        result.Error = "--max-queue must be at least --max-message";
    return result;
}

std::string ServerUsage() {
    const TServerOptions d;
    const auto n = [](auto value) { return std::to_string(value); };
    std::string text;
    text += "Usage: weekleaf-sync [options]\n";
    text += "The Weekleaf sync service: keeps each account's notes page, template and days and pushes\n";
    text += "every change to the account's other connected devices (WebSocket over plain TCP).\n\n";
    text += "  --listen HOST:PORT       address to listen on (default " + d.Host + ":" + n(d.Port) + ";\n";
    text += "                           port 0 picks a free one, printed at start)\n";
    text +=
        "  --db PATH                SQLite database file (default " + d.DbPath + ", created when missing)\n";
    text += "  --sync full|normal       full (default): a change is on the disk before it is answered or\n";
    text += "                           pushed; normal: it is in the database file, which survives the\n";
    text += "                           service being killed but not a power loss, and commits cost less\n";
    text += "  --max-message BYTES      largest accepted message (default " + n(d.MaxMessageBytes) + ")\n";
    text += "  --max-queue BYTES        unsent bytes per connection (default " + n(d.MaxQueueBytes) +
            "): past half of it the\n";
    text += "                           client's requests wait unread until it reads; pushes of other\n";
    text += "                           devices' changes that take it past all of it drop the connection\n";
    text += "  --idle-timeout SECONDS   silence, or requests left waiting unread, after which a connection\n";
    text += "                           is closed (default " + n(d.IdleTimeout.count()) + ")\n";
    text += "  --max-connections N      connections served at once (default " + n(d.MaxConnections) + ")\n";
    text += "  --help                   this text\n\n";
    text += "SIGTERM or SIGINT stops the service cleanly: every change already answered or pushed is kept.\n";
    return text;
}

}  // namespace wl

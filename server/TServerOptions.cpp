#include "TServerOptions.h"

#include <charconv>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string_view>

#include "TPostgresStore.h"

namespace wl {

namespace {

// One option as given: its name without dashes, its value, and for the error texts how it was
// written ("--name" on the command line, "name" in a config file) and where ("FILE:LINE: ").
struct TSetting {
    std::string Name, Value, Shown, Where;
};

std::optional<unsigned long long> ParseUnsigned(std::string_view text, unsigned long long max) {
    unsigned long long value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value > max) return std::nullopt;
    return value;
}

// "HOST:PORT" with an IPv4 address or a name; the port may be 0.
bool ParseAddress(std::string_view text, std::string& host, std::uint16_t& port) {
    const auto colon = text.rfind(':');
    if (colon == std::string_view::npos || colon == 0) return false;
    const auto number = ParseUnsigned(text.substr(colon + 1), 65535);
    if (!number) return false;
    host = std::string(text.substr(0, colon));
    port = static_cast<std::uint16_t>(*number);
    return true;
}

// A positive count up to 1 GiB into `out`; the expected form when `text` is not one.
const char* ParseCount(std::string_view text, std::size_t& out) {
    constexpr unsigned long long kMax = 1ull << 30;
    const auto number = ParseUnsigned(text, kMax);
    if (!number || *number == 0) return "a positive number";
    out = *number;
    return "";
}

// The password is the first line of the file, without its line end.
const char* ReadPasswordFile(std::string_view path, TServerOptions& options) {
    std::ifstream file{std::string(path), std::ios::binary};
    std::string line;
    if (!file || !std::getline(file, line)) return "a readable file holding the database password";
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) return "a readable file holding the database password";
    options.DbPassword = std::move(line);
    return "";
}

// One option: its name without dashes and how its value is applied. The rule returns "" or what
// the value should have been.
struct TOptionRule {
    std::string_view Name;
    const char* (*Apply)(std::string_view value, TServerOptions& options);
};

constexpr TOptionRule kRules[] = {
    {"listen", [](std::string_view v,
                  TServerOptions& o) { return ParseAddress(v, o.Host, o.Port) ? "" : "HOST:PORT"; }},
    {"health",
     [](std::string_view v, TServerOptions& o) {
         return ParseAddress(v, o.HealthHost, o.HealthPort) ? "" : "HOST:PORT";
     }},
    {"db",
     [](std::string_view v, TServerOptions& o) {
         if (v.empty()) return "a file path or a postgresql:// URI";
         o.DbPath = std::string(v);
         return "";
     }},
    {"db-password-file", ReadPasswordFile},
    {"sync",
     [](std::string_view v, TServerOptions& o) {
         if (v != "full" && v != "normal") return "full or normal";
         o.Durability = v == "full" ? TSyncStore::TDurability::Full : TSyncStore::TDurability::Normal;
         return "";
     }},
    {"log-level",
     [](std::string_view v, TServerOptions& o) {
         return ParseLogLevel(v, o.LogLevel) ? "" : "error, warning, info or debug";
     }},
    {"tls-cert",
     [](std::string_view v, TServerOptions& o) {
         o.TlsCert = std::string(v);
         return v.empty() ? "a file path" : "";
     }},
    {"tls-key",
     [](std::string_view v, TServerOptions& o) {
         o.TlsKey = std::string(v);
         return v.empty() ? "a file path" : "";
     }},
    {"max-message", [](std::string_view v, TServerOptions& o) { return ParseCount(v, o.MaxMessageBytes); }},
    {"max-queue", [](std::string_view v, TServerOptions& o) { return ParseCount(v, o.MaxQueueBytes); }},
    {"max-connections",
     [](std::string_view v, TServerOptions& o) { return ParseCount(v, o.MaxConnections); }},
    {"idle-timeout",
     [](std::string_view v, TServerOptions& o) {
         std::size_t seconds = 0;
         const char* expected = ParseCount(v, seconds);
         if (!*expected) o.IdleTimeout = std::chrono::seconds(seconds);
         return expected;
     }},
};

const TOptionRule* FindRule(std::string_view name) {
    for (const TOptionRule& rule : kRules)
        if (rule.Name == name) return &rule;
    return nullptr;
}

// Applies one setting; returns an error text (without its place) or "".
std::string ApplyOption(const TSetting& s, TServerOptions& options) {
    const TOptionRule* rule = FindRule(s.Name);
    if (rule == nullptr) return "unknown option '" + s.Shown + "'";
    const std::string expected = rule->Apply(s.Value, options);
    if (expected.empty()) return "";
    return s.Shown + " expects " + expected + ", got \"" + s.Value + "\"";
}

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::string ReadConfigFile(const std::string& file, std::string& text) {
    std::error_code ec;
    std::ifstream in(file, std::ios::binary);
    if (!in || std::filesystem::is_directory(file, ec)) return "cannot read config file " + file;
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad()) return "cannot read config file " + file;
    text = content.str();
    return "";
}

std::string ApplySettings(const std::vector<TSetting>& settings, TServerOptions& options) {
    for (const TSetting& setting : settings) {
        const std::string error = ApplyOption(setting, options);
        if (!error.empty()) return setting.Where + error;
    }
    return "";
}

}  // namespace

std::string ApplyServerConfigText(const std::string& text, const std::string& file, TServerOptions& options) {
    std::vector<TSetting> settings;
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        const std::string_view content = Trim(line);
        if (content.empty() || content.front() == '#') continue;
        const std::string where = file + ":" + std::to_string(number) + ": ";
        const auto eq = content.find('=');
        if (eq == std::string_view::npos) return where + "expected \"name = value\"";
        const std::string name(Trim(content.substr(0, eq)));
        if (name == "config") return where + "a config file cannot name another one";
        settings.push_back({name, std::string(Trim(content.substr(eq + 1))), name, where});
    }
    return ApplySettings(settings, options);
}

TOptionsParse ParseServerOptions(const std::vector<std::string>& args) {
    TOptionsParse result;
    std::vector<TSetting> fromCommandLine;
    std::optional<std::string> configFile;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (arg == "--help" || arg == "-h") {
            result.Help = true;
            return result;
        }
        if (arg == "--version") {
            result.Version = true;
            return result;
        }
        if (!arg.starts_with("--")) {
            result.Error = "unexpected argument '" + std::string(arg) + "'";
            return result;
        }
        std::string_view name = arg, value;
        const auto eq = arg.find('=');
        if (eq != std::string_view::npos) name = arg.substr(0, eq);
        if (name != "--config" && FindRule(name.substr(2)) == nullptr) {
            result.Error = "unknown option '" + std::string(name) + "'";
            return result;
        }
        if (eq != std::string_view::npos) {
            value = arg.substr(eq + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            result.Error = std::string(arg) + " needs a value";
            return result;
        }
        if (name == "--config")
            configFile = value;
        else
            fromCommandLine.push_back(
                {std::string(name.substr(2)), std::string(value), std::string(name), ""});
    }
    if (configFile) {
        std::string text;
        result.Error = ReadConfigFile(*configFile, text);
        if (result.Error.empty()) result.Error = ApplyServerConfigText(text, *configFile, result.Options);
    }
    // The command line's settings come after the file's, so they win.
    if (result.Error.empty()) result.Error = ApplySettings(fromCommandLine, result.Options);
    if (!result.Error.empty()) return result;
    if (result.Options.MaxQueueBytes < result.Options.MaxMessageBytes)
        result.Error = "--max-queue must be at least --max-message";
    if (result.Error.empty() && TPostgresStore::IsUri(result.Options.DbPath))
        result.Error = TPostgresStore::CheckUri(result.Options.DbPath);
    if (result.Options.TlsCert.empty() != result.Options.TlsKey.empty())
        result.Error = "--tls-cert and --tls-key go together";
    return result;
}

std::string ServerUsage() {
    const TServerOptions d;
    const auto n = [](auto value) { return std::to_string(value); };
    std::string text;
    text += "Usage: weekleaf-sync [options]\n";
    text += "The Weekleaf sync service: keeps each account's notes page, template and days and pushes\n";
    text += "every change to the account's other connected devices (WebSocket over TCP, or over TLS\n";
    text += "with --tls-cert and --tls-key).\n\n";
    text += "  --listen HOST:PORT       address to listen on (default " + d.Host + ":" + n(d.Port) + ";\n";
    text += "                           port 0 picks a free one, printed at start)\n";
    text +=
        "  --db PATH                SQLite database file (default " + d.DbPath + ", created when missing)\n";
    text += "  --db postgresql://USER@HOST:PORT/DATABASE\n";
    text += "                           PostgreSQL database shared by several instances (tables created\n";
    text += "                           when missing); the URI must not hold the password\n";
    text += "  --db-password-file FILE  the database password (first line); without it libpq reads\n";
    text += "                           PGPASSWORD or the file PGPASSFILE (default ~/.pgpass)\n";
    text += "  --sync full|normal       full (default): a change is on the disk before it is answered or\n";
    text += "                           pushed; normal: it is in the database file, which survives the\n";
    text += "                           service being killed but not a power loss, and commits cost less\n";
    text +=
        "  --health HOST:PORT       answer a load balancer's GET /health there: 200 while this instance\n";
    text += "                           accepts connections and reaches its database, 503 otherwise\n";
    text += "  --max-message BYTES      largest accepted message (default " + n(d.MaxMessageBytes) + ")\n";
    text += "  --max-queue BYTES        unsent bytes per connection (default " + n(d.MaxQueueBytes) +
            "): past half of it the\n";
    text += "                           client's requests wait unread until it reads; pushes of other\n";
    text += "                           devices' changes that take it past all of it drop the connection\n";
    text += "  --idle-timeout SECONDS   silence, or requests left waiting unread, after which a connection\n";
    text += "                           is closed (default " + n(d.IdleTimeout.count()) + ")\n";
    text += "  --max-connections N      connections served at once (default " + n(d.MaxConnections) + ")\n";
    text += "  --tls-cert FILE          PEM certificate (chain) of the service; with --tls-key the service\n";
    text +=
        "                           speaks TLS (wss://) only; a file that cannot be used stops the start\n";
    text += "  --tls-key FILE           PEM private key of that certificate\n";
    text += "  --log-level LEVEL        error, warning, info (default) or debug (every connection)\n";
    text += "  --config FILE            read options from FILE first: one \"name = value\" per line, the\n";
    text += "                           names of the options above without dashes, \"#\" for comments;\n";
    text += "                           options on the command line win\n";
    text += "  --help                   this text\n";
    text += "  --version                the service's version\n\n";
    text += "SIGTERM or SIGINT stops the service cleanly: every change already answered or pushed is kept.\n";
    text += "Log lines go to standard error; under systemd they carry their level into the journal.\n";
    return text;
}

}  // namespace wl

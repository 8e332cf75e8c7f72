#include "data/TSettings.h"

#include <charconv>
#include <stdexcept>

#include "platform/DataDir.h"
#include "platform/HostName.h"
#include "platform/Utf8.h"

namespace wl {

namespace {

// A settings file this large was not written by us.
constexpr std::size_t kMaxConfigBytes = 1u << 20;
constexpr char kDefaultSyncHost[] = "127.0.0.1";
constexpr uint16_t kDefaultSyncPort = 3000;

// Blanks are spaces and every control character.
bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// A plain decimal number: [+-] digits [(.|,) digits] [e [+-] digits], at least one digit before
// the exponent. Returns whether it is non-zero.
std::optional<bool> NumberIsNonZero(std::string_view s) {
    std::size_t i = 0, digits = 0;
    bool nonZero = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    for (; i < s.size() && IsDigit(s[i]); ++i, ++digits) nonZero |= s[i] != '0';
    if (i < s.size() && (s[i] == '.' || s[i] == ',')) {
        for (++i; i < s.size() && IsDigit(s[i]); ++i, ++digits) nonZero |= s[i] != '0';
    }
    if (digits == 0) return std::nullopt;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        std::size_t expDigits = 0;
        for (; i < s.size() && IsDigit(s[i]); ++i) ++expDigits;
        if (expDigits == 0) return std::nullopt;
    }
    if (i != s.size()) return std::nullopt;
    return nonZero;
}

std::optional<bool> ParseBool(std::string_view value) {
    const std::string_view s = Trim(value);
    if (auto n = NumberIsNonZero(s)) return n;
    if (EqualsNoCase(s, "true")) return true;
    if (EqualsNoCase(s, "false")) return false;
    return std::nullopt;
}

std::optional<int32_t> ParseInt(std::string_view value) {
    std::string_view s = Trim(value);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    if (s.empty() || s.front() == '+') return std::nullopt;
    int32_t n = 0;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), n);
    if (r.ec != std::errc() || r.ptr != s.data() + s.size()) return std::nullopt;
    return n;
}

// The first character of UTF-8 text; nullopt when the text is empty or does not start with a
// well-formed character.
std::optional<char32_t> FirstChar(std::string_view s) {
    if (s.empty()) return std::nullopt;
    const auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char c = b(0);
    if (c < 0x80) return c;
    const std::size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
    if (len == 0 || len > s.size()) return std::nullopt;
    char32_t cp = c & (0x7F >> len);
    for (std::size_t i = 1; i < len; ++i) {
        if ((b(i) & 0xC0) != 0x80) return std::nullopt;
        cp = (cp << 6) | (b(i) & 0x3F);
    }
    static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
    return cp;
}

std::string CharText(char32_t cp) {
    std::string out;
    AppendUtf8(out, cp);
    return out;
}

bool IsIPv4(std::string_view s) {
    int parts = 0;
    while (true) {
        std::size_t n = 0;
        int value = 0;
        while (n < s.size() && n < 4 && IsDigit(s[n])) value = value * 10 + (s[n++] - '0');
        if (n == 0 || n > 3 || value > 255) return false;
        s.remove_prefix(n);
        if (++parts == 4) return s.empty();
        if (s.empty() || s.front() != '.') return false;
        s.remove_prefix(1);
    }
}

bool HasLineBreak(std::string_view s) {
    return s.find_first_of("\r\n") != std::string_view::npos;
}

std::string_view NameOf(std::string_view line) {
    const std::size_t eq = line.find('=');
    return eq == std::string_view::npos ? std::string_view() : line.substr(0, eq);
}

}  // namespace

TSettings::TSettings() : TSettings(DataDir() / "Config.ini") {}

TSettings::TSettings(std::filesystem::path file) : FFile_Name(std::move(file)) {
    FSL.LoadFromFile(FFile_Name, kMaxConfigBytes);
    Load();
}

void TSettings::Load() {
    FStartWithOS = ReadBool("StartWithOS");
    FHideOnStart = ReadBool("HideOnStart");
    FShowBloks = ReadBool("ShowBloks");
    FCheckUpdate = ReadBool("CheckUpdate", true);
    FKey = std::string(Trim(Value("Key")));
    const std::string due = Value("WppDateToChange");
    const auto parsedDue = StrToDateTime(due);
    if (!parsedDue) Fail("WppDateToChange", "'" + due + "' is not a valid date and time");
    FWppDateToChange = *parsedDue;
    FWppToChange = ReadInt("WppToChange");
    FWppRandom = ReadBool("WppRandom");
    FWppCurIndex = ReadInt("WppCurIndex");
    FUseHotKey = ReadBool("UseHotKey", true);
    FHotKeyMain = ReadChar("HotKeyMain");
    FHotKeyNote = ReadChar("HotKeyNote");
    FHotKeyTemplate = ReadChar("HotKeyTemplate");
    FHotKeyBlock = ReadChar("HotKeyBlock", U'I');
    FHotKeyEditor = ReadChar("HotKeyEditor", U'E');
    FFont = Value("Font");
    FFontSize = ReadInt("FontSize");
    FHotKeyBold = ReadChar("HotKeyBold", U'B');
    FHotKeyItalic = ReadChar("HotKeyItalic", U'I');
    FHotKeyStriceOut = ReadChar("HotKeyStrikeOut", U'R');
    const auto alpha = ParseInt(Value("ALPHABLEND_VALUE"));
    FALPHABLEND_VALUE = (alpha && *alpha >= 0 && *alpha <= 255) ? *alpha : 125;
    const std::string host(Trim(Value("SyncHost")));
    FSyncHost = IsIPv4(host) || IsHostName(host) ? host : kDefaultSyncHost;
    const auto port = ParseInt(Value("SyncPort"));
    FSyncPort = (port && *port >= 1 && *port <= 65535) ? static_cast<uint16_t>(*port) : kDefaultSyncPort;
    FSyncTls = ReadBool("SyncTls", false);
}

std::string TSettings::Value(std::string_view key) const {
    for (const auto& line : FSL.lines)
        if (EqualsNoCase(NameOf(line), key)) return line.substr(key.size() + 1);
    return {};
}

void TSettings::Fail(std::string_view key, const std::string& what) const {
    throw std::runtime_error("Cannot load the settings from \"" + FFile_Name.string() + "\" (" +
                             std::string(key) + "): " + what);
}

bool TSettings::ReadBool(std::string_view key) const {
    const std::string v = Value(key);
    const auto b = ParseBool(v);
    if (!b) Fail(key, "'" + v + "' is not a valid boolean value");
    return *b;
}

bool TSettings::ReadBool(std::string_view key, bool fallback) const {
    return ParseBool(Value(key)).value_or(fallback);
}

int32_t TSettings::ReadInt(std::string_view key) const {
    const std::string v = Value(key);
    const auto n = ParseInt(v);
    if (!n) Fail(key, "'" + v + "' is not a valid integer value");
    return *n;
}

char32_t TSettings::ReadChar(std::string_view key) const {
    const std::string v = Value(key);
    if (v.empty()) Fail(key, "the key has no value");
    const auto c = FirstChar(v);
    if (!c) Fail(key, "'" + v + "' does not start with a valid character");
    return *c;
}

char32_t TSettings::ReadChar(std::string_view key, char32_t fallback) const {
    return FirstChar(Value(key)).value_or(fallback);
}

void TSettings::Store(std::string_view key, const std::string& text) {
    auto& lines = FSL.lines;
    auto it = lines.begin();
    while (it != lines.end() && !EqualsNoCase(NameOf(*it), key)) ++it;
    if (text.empty()) {
        if (it != lines.end()) lines.erase(it);
    } else if (it != lines.end()) {
        *it = std::string(key) + "=" + text;
    } else {
        lines.push_back(std::string(key) + "=" + text);
    }
    FSL.SaveToFile(FFile_Name);
}

namespace {

std::string BoolText(bool v) {
    return v ? "-1" : "0";
}

void CheckText(const std::string& v) {
    if (HasLineBreak(v)) throw std::invalid_argument("a setting cannot hold a line break");
}

void CheckChar(char32_t v) {
    // No character at all would remove the line and leave the next start without a key.
    if (v == 0 || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF) || v == U'\r' || v == U'\n')
        throw std::invalid_argument("not a usable key character");
}

}  // namespace

void TSettings::SetBool(bool& field, std::string_view key, bool v) {
    field = v;
    Store(key, BoolText(v));
}

void TSettings::SetChar(char32_t& field, std::string_view key, char32_t v) {
    CheckChar(v);
    field = v;
    Store(key, CharText(v));
}

void TSettings::SetStartWithOS(bool v) {
    SetBool(FStartWithOS, "StartWithOS", v);
}
void TSettings::SetHideOnStart(bool v) {
    SetBool(FHideOnStart, "HideOnStart", v);
}
void TSettings::SetShowBloks(bool v) {
    SetBool(FShowBloks, "ShowBloks", v);
}
void TSettings::SetCheckUpdate(bool v) {
    SetBool(FCheckUpdate, "CheckUpdate", v);
}
void TSettings::SetKey(const std::string& v) {
    CheckText(v);
    FKey = v;
    Store("Key", v);
}
void TSettings::SetWppToChange(int32_t v) {
    FWppToChange = v;
    Store("WppToChange", std::to_string(v));
}
void TSettings::SetWppDateToChange(DateTime v) {
    FWppDateToChange = v;
    Store("WppDateToChange", DateTimeToStr(v));
}
void TSettings::SetWppRandom(bool v) {
    SetBool(FWppRandom, "WppRandom", v);
}
void TSettings::SetWppCurIndex(int32_t v) {
    FWppCurIndex = v;
    Store("WppCurIndex", std::to_string(v));
}
void TSettings::SetUseHotKey(bool v) {
    SetBool(FUseHotKey, "UseHotKey", v);
}
void TSettings::SetHotKeyMain(char32_t v) {
    SetChar(FHotKeyMain, "HotKeyMain", v);
}
void TSettings::SetHotKeyNote(char32_t v) {
    SetChar(FHotKeyNote, "HotKeyNote", v);
}
void TSettings::SetHotKeyTemplate(char32_t v) {
    SetChar(FHotKeyTemplate, "HotKeyTemplate", v);
}
void TSettings::SetHotKeyBlock(char32_t v) {
    SetChar(FHotKeyBlock, "HotKeyBlock", v);
}
void TSettings::SetHotKeyEditor(char32_t v) {
    SetChar(FHotKeyEditor, "HotKeyEditor", v);
}
void TSettings::SetFont(const std::string& v) {
    CheckText(v);
    FFont = v;
    Store("Font", v);
}
void TSettings::SetFontSize(int32_t v) {
    FFontSize = v;
    Store("FontSize", std::to_string(v));
}
void TSettings::SetHotKeyBold(char32_t v) {
    SetChar(FHotKeyBold, "HotKeyBold", v);
}
void TSettings::SetHotKeyItalic(char32_t v) {
    SetChar(FHotKeyItalic, "HotKeyItalic", v);
}
void TSettings::SetHotKeyStriceOut(char32_t v) {
    SetChar(FHotKeyStriceOut, "HotKeyStrikeOut", v);
}
void TSettings::SetALPHABLEND_VALUE(int32_t v) {
    if (v < 0 || v > 255) throw std::invalid_argument("the opacity must lie between 0 and 255");
    FALPHABLEND_VALUE = v;
    Store("ALPHABLEND_VALUE", std::to_string(v));
}
void TSettings::SetSyncHost(const std::string& v) {
    if (!IsIPv4(v) && !IsHostName(v))
        throw std::invalid_argument("'" + v + "' is neither an IPv4 address nor a host name");
    FSyncHost = v;
    Store("SyncHost", v);
}
void TSettings::SetSyncPort(uint16_t v) {
    if (v == 0) throw std::invalid_argument("the port must not be 0");
    FSyncPort = v;
    Store("SyncPort", std::to_string(v));
}
void TSettings::SetSyncTls(bool v) {
    SetBool(FSyncTls, "SyncTls", v);
}

}  // namespace wl

#include "data/Json.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace wl {

namespace {

const std::string kEmpty;
const std::vector<JsonValue> kNoItems;
const std::vector<std::pair<std::string, JsonValue>> kNoMembers;

// 0..15 for a hex digit, -1 otherwise.
constexpr int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Appends a code point as UTF-8; surrogates (lone ones only reach here) become their
// three-byte generalised form, so they can be written back as the same \u escape.
void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool IsCont(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// Decodes one UTF-8 sequence at s[0..n) (surrogates accepted, see AppendUtf8).
// Returns its length, or 0 when the bytes are not a well-formed sequence.
std::size_t DecodeUtf8(const unsigned char* s, std::size_t n, uint32_t& cp) {
    const unsigned char c = s[0];
    if (c >= 0xC2 && c <= 0xDF) {
        if (n < 2 || !IsCont(s[1])) return 0;
        cp = ((c & 0x1Fu) << 6) | (s[1] & 0x3Fu);
        return 2;
    }
    if (c >= 0xE0 && c <= 0xEF) {
        if (n < 3 || !IsCont(s[1]) || !IsCont(s[2])) return 0;
        if (c == 0xE0 && s[1] < 0xA0) return 0;  // overlong
        cp = ((c & 0x0Fu) << 12) | ((s[1] & 0x3Fu) << 6) | (s[2] & 0x3Fu);
        return 3;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        if (n < 4 || !IsCont(s[1]) || !IsCont(s[2]) || !IsCont(s[3])) return 0;
        if ((c == 0xF0 && s[1] < 0x90) || (c == 0xF4 && s[1] > 0x8F)) return 0;  // overlong / too big
        cp = ((c & 0x07u) << 18) | ((s[1] & 0x3Fu) << 12) | ((s[2] & 0x3Fu) << 6) | (s[3] & 0x3Fu);
        return 4;
    }
    return 0;
}

constexpr char kHex[] = "0123456789abcdef";

char* WriteU(char* o, uint32_t unit) {
    o[0] = '\\';
    o[1] = 'u';
    o[2] = kHex[(unit >> 12) & 0xF];
    o[3] = kHex[(unit >> 8) & 0xF];
    o[4] = kHex[(unit >> 4) & 0xF];
    o[5] = kHex[unit & 0xF];
    return o + 6;
}

// Escapes into a buffer with room for 6 bytes per input byte (the worst case: a lone
// invalid byte becomes \ufffd). Returns the end of what was written.
char* EscapeInto(std::string_view in, char* o) {
    const auto* s = reinterpret_cast<const unsigned char*>(in.data());
    const std::size_t n = in.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char c = s[i];
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
            *o++ = static_cast<char>(c);
            ++i;
            continue;
        }
        if (c < 0x80) {
            const char* shortEsc = nullptr;
            switch (c) {
                case '"':
                    shortEsc = "\\\"";
                    break;
                case '\\':
                    shortEsc = "\\\\";
                    break;
                case '\b':
                    shortEsc = "\\b";
                    break;
                case '\t':
                    shortEsc = "\\t";
                    break;
                case '\n':
                    shortEsc = "\\n";
                    break;
                case '\f':
                    shortEsc = "\\f";
                    break;
                case '\r':
                    shortEsc = "\\r";
                    break;
            }
            if (shortEsc) {
                *o++ = shortEsc[0];
                *o++ = shortEsc[1];
            } else {
                o = WriteU(o, c);
            }
            ++i;
            continue;
        }
        uint32_t cp = 0;
        const std::size_t len = DecodeUtf8(s + i, n - i, cp);
        if (len == 0) {
            o = WriteU(o, 0xFFFD);
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            o = WriteU(o, 0xD800 + (cp >> 10));
            o = WriteU(o, 0xDC00 + (cp & 0x3FF));
        } else {
            o = WriteU(o, cp);
        }
        i += len;
    }
    return o;
}

void AppendEscaped(std::string& out, std::string_view in) {
    const std::size_t at = out.size();
    const std::size_t room = at + in.size() * 6 + 2;
    if (room > out.capacity()) out.reserve(std::max(room, out.capacity() * 2));
    out.resize(room);
    char* o = out.data() + at;
    *o++ = '"';
    o = EscapeInto(in, o);
    *o++ = '"';
    out.resize(static_cast<std::size_t>(o - out.data()));
}

void AppendNumber(std::string& out, double n) {
    if (!std::isfinite(n)) {
        out += "null";  // JSON has no such numbers
        return;
    }
    char buf[64];
    std::to_chars_result r;
    if (std::trunc(n) == n && std::fabs(n) < 9007199254740992.0)
        r = std::to_chars(buf, buf + sizeof buf, static_cast<long long>(n));
    else
        r = std::to_chars(buf, buf + sizeof buf, n);
    out.append(buf, r.ptr);
}

void Serialize(std::string& out, const JsonValue& v) {
    switch (v.kind()) {
        case JsonValue::Kind::Null:
            out += "null";
            return;
        case JsonValue::Kind::Bool:
            out += v.AsBool() ? "true" : "false";
            return;
        case JsonValue::Kind::Number:
            AppendNumber(out, v.AsNumber());
            return;
        case JsonValue::Kind::String:
            AppendEscaped(out, v.AsString());
            return;
        case JsonValue::Kind::Array: {
            out += '[';
            bool first = true;
            for (const auto& item : v.Items()) {
                if (!first) out += ',';
                first = false;
                Serialize(out, item);
            }
            out += ']';
            return;
        }
        case JsonValue::Kind::Object: {
            out += '{';
            bool first = true;
            for (const auto& [key, value] : v.Members()) {
                if (!first) out += ',';
                first = false;
                AppendEscaped(out, key);
                out += ':';
                Serialize(out, value);
            }
            out += '}';
            return;
        }
    }
}

// Rough output size, so the result is allocated about once.
std::size_t EstimateSize(const JsonValue& v) {
    switch (v.kind()) {
        case JsonValue::Kind::String:
            return v.AsString().size() * 3 + 2;
        case JsonValue::Kind::Array: {
            std::size_t n = 2;
            for (const auto& item : v.Items()) n += EstimateSize(item) + 1;
            return n;
        }
        case JsonValue::Kind::Object: {
            std::size_t n = 2;
            for (const auto& [key, value] : v.Members()) n += key.size() + 4 + EstimateSize(value);
            return n;
        }
        default:
            return 8;
    }
}

}  // namespace

// ---- JsonValue ------------------------------------------------------------------------------

JsonValue::JsonValue(std::string s) : kind_(Kind::String), string_(std::move(s)) {}
JsonValue::JsonValue(const char* s) : kind_(Kind::String), string_(s ? s : "") {}
JsonValue::JsonValue(bool b) : kind_(Kind::Bool), bool_(b) {}
JsonValue::JsonValue(double n) : kind_(Kind::Number), number_(n) {}

JsonValue JsonValue::MakeObject() {
    JsonValue v;
    v.kind_ = Kind::Object;
    return v;
}

JsonValue JsonValue::MakeArray() {
    JsonValue v;
    v.kind_ = Kind::Array;
    return v;
}

const std::string& JsonValue::AsString() const {
    return kind_ == Kind::String ? string_ : kEmpty;
}
double JsonValue::AsNumber() const {
    return kind_ == Kind::Number ? number_ : 0;
}
bool JsonValue::AsBool() const {
    return kind_ == Kind::Bool && bool_;
}

long long JsonValue::AsInt() const {
    if (kind_ != Kind::Number || std::isnan(number_)) return 0;
    constexpr double kMax = 9223372036854775807.0;  // rounds to 2^63
    if (number_ >= kMax) return std::numeric_limits<long long>::max();
    if (number_ <= -kMax) return std::numeric_limits<long long>::min();
    return static_cast<long long>(number_);
}

std::size_t JsonValue::FindPos(std::string_view key) const {
    if (!index_.empty()) {
        auto it = index_.find(key);
        return it == index_.end() ? members_.size() : it->second;
    }
    for (std::size_t i = 0; i < members_.size(); ++i)
        if (members_[i].first == key) return i;
    return members_.size();
}

const JsonValue* JsonValue::Find(std::string_view key) const {
    if (kind_ != Kind::Object) return nullptr;
    const std::size_t pos = FindPos(key);
    return pos < members_.size() ? &members_[pos].second : nullptr;
}

JsonValue* JsonValue::Find(std::string_view key) {
    return const_cast<JsonValue*>(static_cast<const JsonValue*>(this)->Find(key));
}

const std::string& JsonValue::GetString(std::string_view key) const {
    const JsonValue* v = Find(key);
    return v ? v->AsString() : kEmpty;
}

void JsonValue::Append(std::string key, JsonValue value) {
    members_.emplace_back(std::move(key), std::move(value));
    if (!index_.empty())
        index_.emplace(members_.back().first, members_.size() - 1);
    else if (members_.size() > kIndexFrom)
        RebuildIndex();
}

void JsonValue::RebuildIndex() {
    index_.clear();
    if (members_.size() <= kIndexFrom) return;
    index_.reserve(members_.size());
    for (std::size_t i = 0; i < members_.size(); ++i) index_.emplace(members_[i].first, i);
}

void JsonValue::Set(std::string_view key, JsonValue value) {
    if (kind_ == Kind::Null) kind_ = Kind::Object;
    if (kind_ != Kind::Object) throw std::logic_error("JSON: a member can only be set on an object");
    const std::size_t pos = FindPos(key);
    if (pos < members_.size()) {
        members_[pos].second = std::move(value);
        return;
    }
    Append(std::string(key), std::move(value));
}

bool JsonValue::Remove(std::string_view key) {
    if (kind_ != Kind::Object) return false;
    const std::size_t pos = FindPos(key);
    if (pos >= members_.size()) return false;
    members_.erase(members_.begin() + static_cast<std::ptrdiff_t>(pos));
    RebuildIndex();
    return true;
}

std::size_t JsonValue::size() const {
    if (kind_ == Kind::Object) return members_.size();
    if (kind_ == Kind::Array) return items_.size();
    return 0;
}

const std::vector<std::pair<std::string, JsonValue>>& JsonValue::Members() const {
    return kind_ == Kind::Object ? members_ : kNoMembers;
}

const std::vector<JsonValue>& JsonValue::Items() const {
    return kind_ == Kind::Array ? items_ : kNoItems;
}

std::vector<JsonValue>& JsonValue::Items() {
    if (kind_ == Kind::Null) kind_ = Kind::Array;
    if (kind_ != Kind::Array) throw std::logic_error("JSON: not an array");
    return items_;
}

void JsonValue::Push(JsonValue value) {
    Items().push_back(std::move(value));
}

bool operator==(const JsonValue& a, const JsonValue& b) {
    if (a.kind_ != b.kind_) return false;
    switch (a.kind_) {
        case JsonValue::Kind::Null:
            return true;
        case JsonValue::Kind::Bool:
            return a.bool_ == b.bool_;
        case JsonValue::Kind::Number:
            return a.number_ == b.number_;
        case JsonValue::Kind::String:
            return a.string_ == b.string_;
        case JsonValue::Kind::Array:
            return a.items_ == b.items_;
        case JsonValue::Kind::Object:
            return a.members_ == b.members_;
    }
    return false;
}

// ---- Parser ---------------------------------------------------------------------------------

class JsonParser {
  public:
    JsonParser(std::string_view text, int maxDepth)
        : begin_(text.data()), p_(text.data()), end_(text.data() + text.size()), maxDepth_(maxDepth) {}

    JsonValue ParseDocument() {
        if (end_ - p_ >= 3 && std::memcmp(p_, "\xEF\xBB\xBF", 3) == 0) p_ += 3;
        SkipBlanks();
        if (p_ == end_) return JsonValue::MakeObject();
        JsonValue v = ParseValue(0);
        SkipBlanks();
        if (p_ != end_) Fail("unexpected text after the end of the document");
        return v;
    }

  private:
    [[noreturn]] void Fail(const std::string& what) const { FailAt(what, p_); }

    [[noreturn]] void FailAt(const std::string& what, const char* at) const {
        int line = 1, column = 1;
        for (const char* q = begin_; q < at; ++q) {
            const auto c = static_cast<unsigned char>(*q);
            if (c == '\n' || (c == '\r' && (q + 1 == end_ || q[1] != '\n'))) {
                ++line;
                column = 1;
            } else if (!IsCont(c) && c != '\r') {
                ++column;
            }
        }
        throw JsonError(what + " at line " + std::to_string(line) + ", column " + std::to_string(column),
                        static_cast<std::size_t>(at - begin_), line, column);
    }

    std::string Describe() const {
        if (p_ == end_) return "unexpected end of text";
        const auto c = static_cast<unsigned char>(*p_);
        if (c >= 0x20 && c < 0x7F) return std::string("unexpected character '") + *p_ + "'";
        char buf[40];
        std::snprintf(buf, sizeof buf, "unexpected byte 0x%02x", c);
        return buf;
    }

    void SkipBlanks() {
        while (p_ < end_ && (*p_ == ' ' || *p_ == '\t' || *p_ == '\n' || *p_ == '\r')) ++p_;
    }

    void Expect(char c) {
        SkipBlanks();
        if (p_ == end_ || *p_ != c) Fail(Describe() + ", expected '" + c + "'");
        ++p_;
    }

    JsonValue ParseValue(int depth) {
        SkipBlanks();
        if (p_ == end_) Fail("unexpected end of text, expected a value");
        switch (*p_) {
            case '{':
                return ParseObject(depth + 1);
            case '[':
                return ParseArray(depth + 1);
            case '"':
                return JsonValue(ParseString());
            case 't':
                return ParseLiteral("true", JsonValue(true));
            case 'f':
                return ParseLiteral("false", JsonValue(false));
            case 'n':
                return ParseLiteral("null", JsonValue());
            default:
                if (*p_ == '-' || (*p_ >= '0' && *p_ <= '9')) return ParseNumber();
                Fail(Describe() + ", expected a value");
        }
    }

    void CheckDepth(int depth) const {
        if (depth > maxDepth_) Fail("nesting deeper than " + std::to_string(maxDepth_) + " levels");
    }

    JsonValue ParseObject(int depth) {
        CheckDepth(depth);
        ++p_;  // '{'
        JsonValue obj = JsonValue::MakeObject();
        SkipBlanks();
        if (p_ < end_ && *p_ == '}') {
            ++p_;
            return obj;
        }
        for (;;) {
            SkipBlanks();
            if (p_ == end_ || *p_ != '"') Fail(Describe() + ", expected a member name");
            std::string key = ParseString();
            Expect(':');
            JsonValue value = ParseValue(depth);
            const std::size_t pos = obj.FindPos(key);
            if (pos < obj.members_.size())
                obj.members_[pos].second = std::move(value);
            else
                obj.Append(std::move(key), std::move(value));
            SkipBlanks();
            if (p_ < end_ && *p_ == ',') {
                ++p_;
                continue;
            }
            if (p_ < end_ && *p_ == '}') {
                ++p_;
                return obj;
            }
            Fail(Describe() + ", expected ',' or '}'");
        }
    }

    JsonValue ParseArray(int depth) {
        CheckDepth(depth);
        ++p_;  // '['
        JsonValue arr = JsonValue::MakeArray();
        SkipBlanks();
        if (p_ < end_ && *p_ == ']') {
            ++p_;
            return arr;
        }
        for (;;) {
            arr.items_.push_back(ParseValue(depth));
            SkipBlanks();
            if (p_ < end_ && *p_ == ',') {
                ++p_;
                continue;
            }
            if (p_ < end_ && *p_ == ']') {
                ++p_;
                return arr;
            }
            Fail(Describe() + ", expected ',' or ']'");
        }
    }

    JsonValue ParseLiteral(std::string_view word, JsonValue value) {
        if (static_cast<std::size_t>(end_ - p_) < word.size() || std::string_view(p_, word.size()) != word)
            Fail(Describe() + ", expected a value");
        p_ += word.size();
        return value;
    }

    JsonValue ParseNumber() {
        const char* start = p_;
        auto digits = [&] {
            const char* d = p_;
            while (p_ < end_ && *p_ >= '0' && *p_ <= '9') ++p_;
            return p_ - d;
        };
        if (*p_ == '-') ++p_;
        if (p_ < end_ && *p_ == '0')
            ++p_;
        else if (digits() == 0)
            FailAt("invalid number", start);
        bool negativeExponent = false;
        if (p_ < end_ && *p_ == '.') {
            ++p_;
            if (digits() == 0) FailAt("invalid number", start);
        }
        if (p_ < end_ && (*p_ == 'e' || *p_ == 'E')) {
            ++p_;
            if (p_ < end_ && (*p_ == '+' || *p_ == '-')) negativeExponent = *p_++ == '-';
            if (digits() == 0) FailAt("invalid number", start);
        }
        double value = 0;
        const auto r = std::from_chars(start, p_, value);
        if (r.ec == std::errc::result_out_of_range) {
            if (!negativeExponent) FailAt("number too large", start);
            value = 0;  // too small to tell from zero
        } else if (r.ec != std::errc() || r.ptr != p_) {
            FailAt("invalid number", start);
        }
        return JsonValue(value);
    }

    uint32_t ParseHex4() {
        if (end_ - p_ < 4) FailAt("incomplete \\u escape", p_ - 2);
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            const int h = HexValue(p_[i]);
            if (h < 0) FailAt("invalid \\u escape", p_ - 2);
            v = (v << 4) | static_cast<uint32_t>(h);
        }
        p_ += 4;
        return v;
    }

    void ParseUnicodeEscape(std::string& out) {
        uint32_t cp = ParseHex4();
        // A high surrogate directly followed by a low one is one character beyond the BMP.
        if (cp >= 0xD800 && cp <= 0xDBFF && end_ - p_ >= 6 && p_[0] == '\\' && p_[1] == 'u') {
            const char* save = p_;
            p_ += 2;
            const uint32_t low = ParseHex4();
            if (low >= 0xDC00 && low <= 0xDFFF)
                cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
            else
                p_ = save;  // keep the lone high surrogate; the next escape is read on its own
        }
        AppendUtf8(out, cp);
    }

    std::string ParseString() {
        const char* open = p_;
        ++p_;  // '"'
        std::string out;
        for (;;) {
            const char* run = p_;
            while (p_ < end_ && *p_ != '"' && *p_ != '\\' && static_cast<unsigned char>(*p_) >= 0x20) ++p_;
            out.append(run, p_);
            if (p_ == end_) FailAt("unterminated string", open);
            const char c = *p_;
            if (c == '"') {
                ++p_;
                return out;
            }
            if (c != '\\') Fail("control character inside a string");
            if (end_ - p_ < 2) FailAt("unterminated string", open);
            const char e = p_[1];
            p_ += 2;
            switch (e) {
                case '"':
                    out += '"';
                    break;
                case '\\':
                    out += '\\';
                    break;
                case '/':
                    out += '/';
                    break;
                case 'b':
                    out += '\b';
                    break;
                case 'f':
                    out += '\f';
                    break;
                case 'n':
                    out += '\n';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'u':
                    ParseUnicodeEscape(out);
                    break;
                default:
                    FailAt("invalid escape", p_ - 2);
            }
        }
    }

    const char* begin_;
    const char* p_;
    const char* end_;
    int maxDepth_;
};

JsonValue ParseJson(std::string_view text, int maxDepth) {
    return JsonParser(text, maxDepth).ParseDocument();
}

std::string SerializeJson(const JsonValue& value) {
    std::string out;
    out.reserve(EstimateSize(value));
    Serialize(out, value);
    return out;
}

std::string EscapeJsonString(std::string_view utf8) {
    std::string out(utf8.size() * 6, '\0');
    char* end = EscapeInto(utf8, out.data());
    out.resize(static_cast<std::size_t>(end - out.data()));
    return out;
}

}  // namespace wl

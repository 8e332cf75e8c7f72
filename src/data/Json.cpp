#include "data/Json.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>

namespace wl {

namespace {

const std::string kEmpty;
const std::vector<JsonValue> kNoItems;
const std::vector<std::pair<std::string, JsonValue>> kNoMembers;

// 0..15 for a hex digit, -1 otherwise.
constexpr auto kHexValue = [] {
    std::array<int8_t, 256> t{};
    for (auto& v : t) v = -1;
    for (int c = '0'; c <= '9'; ++c) t[static_cast<std::size_t>(c)] = static_cast<int8_t>(c - '0');
    for (int c = 'a'; c <= 'f'; ++c) t[static_cast<std::size_t>(c)] = static_cast<int8_t>(c - 'a' + 10);
    for (int c = 'A'; c <= 'F'; ++c) t[static_cast<std::size_t>(c)] = static_cast<int8_t>(c - 'A' + 10);
    return t;
}();

// Writes a code point as UTF-8 and returns the end; surrogates (lone ones only reach here) take
// their three-byte generalised form, so they can be written back as the same \u escape.
char* PutUtf8(char* o, uint32_t cp) {
    if (cp < 0x80) {
        *o++ = static_cast<char>(cp);
    } else if (cp < 0x800) {
        *o++ = static_cast<char>(0xC0 | (cp >> 6));
        *o++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        *o++ = static_cast<char>(0xE0 | (cp >> 12));
        *o++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *o++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        *o++ = static_cast<char>(0xF0 | (cp >> 18));
        *o++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        *o++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *o++ = static_cast<char>(0x80 | (cp & 0x3F));
    }
    return o;
}

bool IsCont(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// Decodes one UTF-8 sequence at s[0..n) (surrogates accepted only when asked, see PutUtf8).
// Returns its length, or 0 when the bytes are not a well-formed sequence.
std::size_t DecodeUtf8(const unsigned char* s, std::size_t n, uint32_t& cp, bool allowSurrogates = true) {
    const unsigned char c = s[0];
    if (c >= 0xC2 && c <= 0xDF) {
        if (n < 2 || !IsCont(s[1])) return 0;
        cp = ((c & 0x1Fu) << 6) | (s[1] & 0x3Fu);
        return 2;
    }
    if (c >= 0xE0 && c <= 0xEF) {
        if (n < 3 || !IsCont(s[1]) || !IsCont(s[2])) return 0;
        if (c == 0xE0 && s[1] < 0xA0) return 0;                       // overlong
        if (c == 0xED && s[1] >= 0xA0 && !allowSurrogates) return 0;  // a surrogate
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

// Copies raw text, replacing each byte that does not start a well-formed UTF-8 character with
// U+FFFD; needs room for 3 bytes per input byte. Surrogates count as malformed here: the
// generalised form only ever comes from \u escapes, so one character has one spelling.
char* CopyUtf8(char* o, const char* s, std::size_t n) {
    const auto* u = reinterpret_cast<const unsigned char*>(s);
    std::size_t i = 0;
    while (i < n) {
        if (u[i] < 0x80) {
            *o++ = s[i++];
            continue;
        }
        uint32_t cp = 0;
        const std::size_t len = DecodeUtf8(u + i, n - i, cp, false);
        if (len == 0) {
            o = PutUtf8(o, 0xFFFD);
            ++i;
            continue;
        }
        std::memcpy(o, s + i, len);
        o += len;
        i += len;
    }
    return o;
}

// "000102...ff": two hex digits per byte value.
constexpr auto kHexPairs = [] {
    std::array<char, 512> t{};
    constexpr char hex[] = "0123456789abcdef";
    for (int i = 0; i < 256; ++i) {
        t[static_cast<std::size_t>(i) * 2] = hex[i >> 4];
        t[static_cast<std::size_t>(i) * 2 + 1] = hex[i & 0xF];
    }
    return t;
}();

// Bytes written as they are: printable ASCII except the quotation mark and the backslash.
constexpr auto kPlain = [] {
    std::array<bool, 256> t{};
    for (int c = 0x20; c < 0x7F; ++c) t[static_cast<std::size_t>(c)] = c != '"' && c != '\\';
    return t;
}();

char* WriteU(char* o, uint32_t unit) {
    o[0] = '\\';
    o[1] = 'u';
    std::memcpy(o + 2, &kHexPairs[((unit >> 8) & 0xFF) * 2], 2);
    std::memcpy(o + 4, &kHexPairs[(unit & 0xFF) * 2], 2);
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
        if (kPlain[c]) {
            *o++ = static_cast<char>(c);
            ++i;
            continue;
        }
        if (c >= 0xC2 && c <= 0xDF && i + 1 < n && IsCont(s[i + 1])) {  // Cyrillic and its neighbours
            o = WriteU(o, ((c & 0x1Fu) << 6) | (s[i + 1] & 0x3Fu));
            i += 2;
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

// Writes compact JSON into `out`. Strings are escaped into a reused scratch buffer (room for the
// worst case, 6 bytes per input byte) and appended once, so no output byte is written twice.
class Writer {
  public:
    explicit Writer(std::string& out) : out_(out) {}

    void Value(const JsonValue& v) {
        switch (v.kind()) {
            case JsonValue::Kind::Null:
                out_ += "null";
                return;
            case JsonValue::Kind::Bool:
                out_ += v.AsBool() ? "true" : "false";
                return;
            case JsonValue::Kind::Number:
                Number(v.AsNumber());
                return;
            case JsonValue::Kind::String:
                String(v.AsString());
                return;
            case JsonValue::Kind::Array: {
                out_ += '[';
                bool first = true;
                for (const auto& item : v.Items()) {
                    if (!first) out_ += ',';
                    first = false;
                    Value(item);
                }
                out_ += ']';
                return;
            }
            case JsonValue::Kind::Object: {
                out_ += '{';
                bool first = true;
                for (const auto& [key, value] : v.Members()) {
                    if (!first) out_ += ',';
                    first = false;
                    String(key);
                    out_ += ':';
                    Value(value);
                }
                out_ += '}';
                return;
            }
        }
    }

    void String(std::string_view in) {
        const std::size_t room = in.size() * 6 + 2;
        if (room > scratchSize_) {
            scratchSize_ = std::max(room, scratchSize_ * 2);
            scratch_ = std::make_unique<char[]>(scratchSize_);
        }
        char* o = scratch_.get();
        *o++ = '"';
        o = EscapeInto(in, o);
        *o++ = '"';
        out_.append(scratch_.get(), o);
    }

  private:
    void Number(double n) {
        if (!std::isfinite(n)) {
            out_ += "null";  // JSON has no such numbers
            return;
        }
        char buf[64];
        std::to_chars_result r;
        if (std::trunc(n) == n && std::fabs(n) < 9007199254740992.0)
            r = std::to_chars(buf, buf + sizeof buf, static_cast<long long>(n));
        else
            r = std::to_chars(buf, buf + sizeof buf, n);
        out_.append(buf, r.ptr);
    }

    std::string& out_;
    std::unique_ptr<char[]> scratch_;
    std::size_t scratchSize_ = 0;
};

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

    // Four hex digits at `at` (the escape's backslash is at at - 2).
    uint32_t Hex4(const char* at, const char* limit) const {
        if (limit - at < 4) FailAt("incomplete \\u escape", at - 2);
        const int a = kHexValue[static_cast<unsigned char>(at[0])],
                  b = kHexValue[static_cast<unsigned char>(at[1])],
                  c = kHexValue[static_cast<unsigned char>(at[2])],
                  d = kHexValue[static_cast<unsigned char>(at[3])];
        if ((a | b | c | d) < 0) FailAt("invalid \\u escape", at - 2);
        return static_cast<uint32_t>((a << 12) | (b << 8) | (c << 4) | d);
    }

    // Decodes the escape at p_ (a backslash, with at least one byte after it) into o, which has room
    // for 4 bytes; no escape reads beyond `close`.
    char* Unescape(char* o, const char* close) {
        const char e = p_[1];
        p_ += 2;
        switch (e) {
            case '"':
                *o++ = '"';
                return o;
            case '\\':
                *o++ = '\\';
                return o;
            case '/':
                *o++ = '/';
                return o;
            case 'b':
                *o++ = '\b';
                return o;
            case 'f':
                *o++ = '\f';
                return o;
            case 'n':
                *o++ = '\n';
                return o;
            case 'r':
                *o++ = '\r';
                return o;
            case 't':
                *o++ = '\t';
                return o;
            case 'u':
                break;
            default:
                FailAt("invalid escape", p_ - 2);
        }
        uint32_t cp = Hex4(p_, close);
        p_ += 4;
        // A high surrogate directly followed by a low one is one character beyond the BMP;
        // anything else leaves a lone surrogate, kept as it is.
        if (cp >= 0xD800 && cp <= 0xDBFF && close - p_ >= 6 && p_[0] == '\\' && p_[1] == 'u') {
            const uint32_t low = Hex4(p_ + 2, close);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                p_ += 6;
            }
        }
        return PutUtf8(o, cp);
    }

    // Makes room for `n` more bytes at o in the scratch buffer; returns the (moved) write position.
    char* Room(char* o, std::size_t n) {
        const std::size_t used = static_cast<std::size_t>(o - scratch_.data());
        if (used + n > scratch_.size()) scratch_.resize(std::max(used + n, scratch_.size() * 2));
        return scratch_.data() + used;
    }

    // Decodes a run of \uXXXX escapes of characters outside the surrogate range, the bulk of a
    // stored Cyrillic entry, and stops at anything else (which the general path then reads).
    char* UnescapeBmpRun(char* o) {
        while (end_ - p_ >= 6 && p_[0] == '\\' && p_[1] == 'u') {
            const auto* u = reinterpret_cast<const unsigned char*>(p_ + 2);
            const int a = kHexValue[u[0]], b = kHexValue[u[1]], c = kHexValue[u[2]], d = kHexValue[u[3]];
            if ((a | b | c | d) < 0) break;
            const auto cp = static_cast<uint32_t>((a << 12) | (b << 8) | (c << 4) | d);
            if (cp >= 0xD800 && cp <= 0xDFFF) break;
            o = PutUtf8(Room(o, 3), cp);
            p_ += 6;
        }
        return o;
    }

    // Decodes in one pass into a scratch buffer that is reused for every string of the document.
    std::string ParseString() {
        const char* open = p_++;
        char* o = scratch_.data();
        for (;;) {
            const char* run = p_;
            unsigned char high = 0;
            while (p_ < end_ && *p_ != '"' && *p_ != '\\' && static_cast<unsigned char>(*p_) >= 0x20)
                high |= static_cast<unsigned char>(*p_++);
            const auto len = static_cast<std::size_t>(p_ - run);
            if (high & 0x80) {
                o = CopyUtf8(Room(o, len * 3 + 4), run, len);
            } else {
                o = Room(o, len + 4);  // + the longest character an escape gives
                std::memcpy(o, run, len);
                o += len;
            }
            if (p_ == end_) FailAt("unterminated string", open);
            if (*p_ == '"') break;
            if (*p_ != '\\') Fail("control character inside a string");
            o = UnescapeBmpRun(o);
            if (p_ == end_ || *p_ != '\\') continue;
            if (end_ - p_ < 2) FailAt("unterminated string", open);
            o = Unescape(Room(o, 4), end_);
        }
        ++p_;
        return std::string(scratch_.data(), o);
    }

    const char* begin_;
    std::vector<char> scratch_ = std::vector<char>(256);
    const char* p_;
    const char* end_;
    int maxDepth_;
};

JsonValue ParseJson(std::string_view text, int maxDepth) {
    return JsonParser(text, maxDepth).ParseDocument();
}

std::string SerializeJson(const JsonValue& value) {
    std::string out;
    SerializeJsonTo(value, out);
    return out;
}

void SerializeJsonTo(const JsonValue& value, std::string& out) {
    out.reserve(out.size() + EstimateSize(value));
    Writer(out).Value(value);
}

std::string EscapeJsonString(std::string_view utf8) {
    std::string out(utf8.size() * 6, '\0');
    char* end = EscapeInto(utf8, out.data());
    out.resize(static_cast<std::size_t>(end - out.data()));
    return out;
}

}  // namespace wl

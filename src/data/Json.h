#pragma once
// The JSON document used for Data.json and the sync messages.
//  - objects keep member order and also index members by key (lookup does not scan once an
//    object holds more than a handful of members); a repeated key in parsed text keeps the first
//    position and the last value;
//  - strings are held as UTF-8; \u escapes of lone surrogates survive a round trip (kept as WTF-8);
//  - parsed text that is not UTF-8 has each offending byte replaced by U+FFFD (so is a raw
//    surrogate); text set by callers is checked the same way when written, an escape must name a
//    real character: each byte that starts no well-formed character is written as \ufffd;
//  - Serialize() is compact: \" \\ \b \t \n \f \r, every other byte below 32 and every character
//    above 126 as lower-case \uXXXX (UTF-16 surrogate pairs beyond the BMP), so the output is ASCII.
//
// A value is a plain value type with no locking: whoever owns it (see TWeekleaf) keeps it on one thread.
#include <cstddef>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace wl {

class JsonError : public std::runtime_error {
  public:
    JsonError(const std::string& what, std::size_t offset, int line, int column)
        : std::runtime_error(what), offset(offset), line(line), column(column) {}
    std::size_t offset;  // byte offset of the fault
    int line, column;    // 1-based
};

class JsonValue {
  public:
    enum class Kind { Null, Bool, Number, String, Array, Object };

    JsonValue() = default;  // null
    JsonValue(std::string s);
    JsonValue(const char* s);
    JsonValue(bool b);
    JsonValue(double n);
    JsonValue(int n) : JsonValue(static_cast<double>(n)) {}
    JsonValue(unsigned n) : JsonValue(static_cast<double>(n)) {}
    JsonValue(long n) : JsonValue(static_cast<double>(n)) {}
    JsonValue(unsigned long n) : JsonValue(static_cast<double>(n)) {}
    JsonValue(long long n) : JsonValue(static_cast<double>(n)) {}
    JsonValue(unsigned long long n) : JsonValue(static_cast<double>(n)) {}
    static JsonValue MakeObject();
    static JsonValue MakeArray();

    Kind kind() const { return kind_; }
    bool IsObject() const { return kind_ == Kind::Object; }
    bool IsArray() const { return kind_ == Kind::Array; }
    bool IsString() const { return kind_ == Kind::String; }
    bool IsNumber() const { return kind_ == Kind::Number; }
    bool IsBool() const { return kind_ == Kind::Bool; }
    bool IsNull() const { return kind_ == Kind::Null; }

    // Scalars.
    const std::string& AsString() const;  // empty text for anything but a string
    double AsNumber() const;              // 0 for anything but a number
    // The number rounded toward zero and clamped to the range of long long; 0 for a non-number.
    long long AsInt() const;
    bool AsBool() const;  // false for anything but a boolean

    // Objects. Reading a missing member gives empty text / nullptr and never creates it.
    const std::string& GetString(std::string_view key) const;  // "" when missing or not a string
    const JsonValue* Find(std::string_view key) const;
    JsonValue* Find(std::string_view key);
    bool Has(std::string_view key) const { return Find(key) != nullptr; }
    // Replaces in place or appends. A null value becomes an empty object first; setting a member
    // of an array, string, number or boolean throws std::logic_error.
    void Set(std::string_view key, JsonValue value);
    bool Remove(std::string_view key);
    std::size_t size() const;                                               // members or elements
    const std::vector<std::pair<std::string, JsonValue>>& Members() const;  // in order

    // Arrays.
    const std::vector<JsonValue>& Items() const;
    std::vector<JsonValue>& Items();
    // A null value becomes an empty array first; pushing onto any other non-array throws std::logic_error.
    void Push(JsonValue value);

    friend bool operator==(const JsonValue& a, const JsonValue& b);

  private:
    friend class JsonParser;
    struct KeyHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    // Objects up to this size are searched in order; larger ones keep index_.
    static constexpr std::size_t kIndexFrom = 8;

    std::size_t FindPos(std::string_view key) const;  // members_.size() when missing
    void Append(std::string key, JsonValue value);
    void RebuildIndex();

    Kind kind_ = Kind::Null;
    bool bool_ = false;
    double number_ = 0;
    std::string string_;
    std::vector<JsonValue> items_;
    std::vector<std::pair<std::string, JsonValue>> members_;
    std::unordered_map<std::string, std::size_t, KeyHash, std::equal_to<>> index_;  // key -> position
};

// Parses text into a value; throws JsonError with the position of the first fault.
// Empty or all-blank text parses as an empty object. A leading UTF-8 BOM is skipped.
// The message names the fault and ends with " at line L, column C" (columns count characters).
// Nesting deeper than maxDepth is refused (no stack exhaustion on hostile input).
JsonValue ParseJson(std::string_view text, int maxDepth = 256);

std::string SerializeJson(const JsonValue& value);
// Appends the serialised value to `out`; reusing one buffer spares a large store fresh memory.
void SerializeJsonTo(const JsonValue& value, std::string& out);

// The string escaping alone (without quotes), as Serialize writes it.
std::string EscapeJsonString(std::string_view utf8);

}  // namespace wl

#pragma once
// The JSON document used for Data.json and the sync messages.
//  - objects keep member order and also index members by key (lookup does not scan);
//  - strings are held as UTF-8; \u escapes of lone surrogates survive a round trip (kept as WTF-8);
//  - Serialize() is compact: \" \\ \b \t \n \f \r, every other byte below 32 and every character
//    above 126 as lower-case \uXXXX (UTF-16 surrogate pairs beyond the BMP), so the output is ASCII.
#include <cstddef>
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
    JsonValue(long long n) : JsonValue(static_cast<double>(n)) {}
    static JsonValue MakeObject();
    static JsonValue MakeArray();

    Kind kind() const { return kind_; }
    bool IsObject() const { return kind_ == Kind::Object; }
    bool IsArray() const { return kind_ == Kind::Array; }
    bool IsString() const { return kind_ == Kind::String; }
    bool IsNumber() const { return kind_ == Kind::Number; }

    // Scalars.
    const std::string& AsString() const;  // empty text for anything but a string
    double AsNumber() const;               // 0 for anything but a number
    bool AsBool() const;

    // Objects. Reading a missing member gives empty text / nullptr and never creates it.
    const std::string& GetString(std::string_view key) const;  // "" when missing or not a string
    const JsonValue* Find(std::string_view key) const;
    JsonValue* Find(std::string_view key);
    bool Has(std::string_view key) const { return Find(key) != nullptr; }
    void Set(std::string_view key, JsonValue value);  // replaces in place or appends
    bool Remove(std::string_view key);
    std::size_t size() const;  // members or elements
    const std::vector<std::pair<std::string, JsonValue>>& Members() const;  // in order

    // Arrays.
    const std::vector<JsonValue>& Items() const;
    void Push(JsonValue value);

private:
    Kind kind_ = Kind::Null;
    bool bool_ = false;
    double number_ = 0;
    std::string string_;
    std::vector<JsonValue> items_;
    std::vector<std::pair<std::string, JsonValue>> members_;
    std::unordered_map<std::string, std::size_t> index_;  // key -> position in members_
};

// Parses text into a value; throws JsonError with the position of the first fault.
// Empty or all-blank text parses as an empty object. A leading UTF-8 BOM is skipped.
// Nesting deeper than maxDepth is refused (no stack exhaustion on hostile input).
JsonValue ParseJson(std::string_view text, int maxDepth = 256);

std::string SerializeJson(const JsonValue& value);

// The string escaping alone (without quotes), as Serialize writes it.
std::string EscapeJsonString(std::string_view utf8);

}  // namespace wl

#pragma once
// Writes one sync message as compact JSON, the way the client's own writer does: no blanks, strings
// escaped by wl::EscapeJsonString (pure ASCII on the wire), integers as plain decimal digits.
#include <cstdint>
#include <string>
#include <string_view>

namespace wl {

class TMessageWriter {
  public:
    TMessageWriter& Open();                       // "{"
    TMessageWriter& Close();                      // "}"
    TMessageWriter& Name(std::string_view name);  // member name and ":" (a "," before it when needed)
    TMessageWriter& String(std::string_view utf8);
    TMessageWriter& Integer(std::int64_t value);

    TMessageWriter& Member(std::string_view name, std::string_view utf8) { return Name(name).String(utf8); }
    TMessageWriter& IntegerMember(std::string_view name, std::int64_t value) {
        return Name(name).Integer(value);
    }

    std::string Take() { return std::move(out_); }

  private:
    std::string out_;
    bool needComma_ = false;
};

}  // namespace wl

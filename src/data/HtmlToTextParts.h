#pragma once
// The two ways HtmlToText gets its text, exposed so that tests and the fuzz target can check
// that they agree. Callers use HtmlToText.
#include <optional>
#include <string>
#include <string_view>

namespace wl {

// Single pass over well-nested fragments of common tags and entities (what the editor writes);
// no value when the fragment holds anything whose text only a full parse can give.
std::optional<std::string> HtmlToTextFast(std::string_view html);

// Full HTML parse; handles every input.
std::string HtmlToTextFull(std::string_view html);

}  // namespace wl

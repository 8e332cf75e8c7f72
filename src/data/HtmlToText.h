#pragma once
// Plain text of a stored entry, as a browser's text range over the rendered fragment gives it:
// block elements and <br> break lines with CR LF, entities decoded, script and style dropped,
// white space collapsed. Thread-safe; no browser involved.
#include <string>
#include <string_view>

namespace wl {

std::string HtmlToText(std::string_view html);

// HTML that shows the plain text as it is: "&", "<" and ">" escaped, every line break (CR LF, CR
// or LF) as <br>, and a space the browser would fold away (at a line's start or after another)
// as &nbsp;.
std::string TextToHtml(std::string_view text);

}  // namespace wl

#pragma once
// Plain text of an RTF document, as the entries of stores written by older versions hold them.
//
// Read: groups, control words and symbols, the text of the body. Skipped: the font, colour and
// style tables, document info, pictures, objects, field instructions, list and numbering texts
// and every group marked "\*". Paragraph and line breaks (\par, \line, \sect, \page, \row)
// become CR LF, \tab and \cell a tab. \'hh bytes are decoded with the code page of the current
// font's \fcharset, else the document's \ansicpg, else Windows-1251; \uN (with \ucN fallback
// characters skipped) gives Unicode directly; \bin data is skipped.
//
// Untrusted input: never throws and never reads past the end. A malformed document (unbalanced
// braces, truncated, binary) yields the text read up to the fault. Thread-safe.
#include <string>
#include <string_view>

namespace wl {

// UTF-8 text with CR LF line breaks.
std::string RtfToText(std::string_view rtf);

// True when the text is an RTF document: it begins with "{\rtf" (case-sensitive).
bool IsRtf(std::string_view text);

}  // namespace wl
